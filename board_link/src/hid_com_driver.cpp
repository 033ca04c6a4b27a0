#include "hid_com_driver.h"

#include <algorithm>
#include <cstring>

namespace board_link {

namespace {

constexpr std::uint8_t kPadding = 0xCB;
constexpr std::uint8_t kPingReport[6] = {0x07, 0x04, 0x03, 0x01, 0x04, 0x04};
constexpr std::uint8_t kFallbackReport[6] = {0x08, 0x04, 0x03, 0x01, 0x00, 0xEB};

// Input report layout (byte 0 is the report id).
constexpr int kLengthByte = 2;
constexpr int kStatusByte = 3;
constexpr int kPayloadStart = 4;
// Log packet: mark at byte 4, then ring index, flag, length and data.
constexpr int kLogIndexByte = 5;
constexpr int kLogFlagByte = 6;
constexpr int kLogLengthByte = 7;
constexpr int kLogDataStart = 8;

} // namespace

HidComDriver::HidComDriver(const std::uint16_t* productIds, std::uint16_t count, std::uint16_t vendorId,
                           bool logPacketsBeforeAnswer)
    : vendorId_(vendorId), logPacketsBeforeAnswer_(logPacketsBeforeAnswer) {
    if (productIds != nullptr) productIds_.assign(productIds, productIds + count);
    fillPadding();
}

HidComDriver::~HidComDriver() {
    if (device_) close();
}

void HidComDriver::fillPadding() {
    std::memset(outReport_ + 1, kPadding, kReportSize - 1);
}

bool HidComDriver::acceptDevice() {
    if (device_ && device_->isOpen() &&
        acceptReportLengths(device_->inputReportLength(), device_->outputReportLength())) {
        isOpen_ = true;
        takeError();
        takeStatus();
        device_->setTimeouts(static_cast<std::uint32_t>(readTimeout_),
                             static_cast<std::uint32_t>(writeTimeout_));
        return true;
    }
    device_.reset();
    isOpen_ = false;
    return false;
}

bool HidComDriver::open() {
    if (device_) {
        isOpen_ = true;
        return true;
    }
    takeError();
    takeStatus();
    for (std::uint16_t productId : productIds_) {
        if (countDevices(vendorId_, productId) <= 0) continue;
        auto device = std::make_unique<CHIDDevice>();
        if (device->openByIndex(0, vendorId_, productId, 0) == kHidOk) {
            device_ = std::move(device);
            break;
        }
    }
    return acceptDevice();
}

bool HidComDriver::open(const char* path) {
    if (device_) {
        isOpen_ = true;
        return true;
    }
    takeError();
    takeStatus();
    if (!productIds_.empty()) {
        auto device = std::make_unique<CHIDDevice>();
        if (device->openByPath(path, vendorId_, productIds_.front(), 0) == kHidOk)
            device_ = std::move(device);
    }
    return acceptDevice();
}

bool HidComDriver::close() {
    if (!device_) return true;
    if (device_->isOpen()) device_->close();
    isOpen_ = false;
    device_.reset();
    // Bytes of the closed session go with it: no stale answer byte is read,
    // and no pending request byte is sent, after the next open.
    rxCount_ = 0;
    txFill_ = 0;
    fillPadding();
    if (error_ != kDriverOk) takeError();
    if (status_ != 0) takeStatus();
    return true;
}

void HidComDriver::sendReport() {
    if (!isOpen_) {
        error_ = kDriverNotOpen;
        return;
    }
    outReport_[1] = ++sequence_;
    outReport_[2] = static_cast<std::uint8_t>(txFill_);
    outReport_[3] = 0;
    txFill_ = 0;
    const std::uint8_t result = device_->writeReport(outReport_, device_->outputReportLength());
    error_ = result == kHidOk ? kDriverOk : kDriverWriteFailed;
    fillPadding();
}

int HidComDriver::flush() {
    if (!isOpen_) {
        error_ = kDriverNotOpen;
        return error_;
    }
    if (error_ == kDriverOk && txFill_ > 0) sendReport();
    return error_;
}

int HidComDriver::write(const std::uint8_t* data, int length) {
    if (!isOpen_) {
        error_ = kDriverNotOpen;
        return error_;
    }
    if (error_ != kDriverOk) return error_;
    if (data == nullptr) length = 0;
    while (length > 0 && error_ == kDriverOk) {
        const int take = std::min(length, kPayloadSize - txFill_);
        std::memcpy(outReport_ + kPayloadStart + txFill_, data, static_cast<std::size_t>(take));
        txFill_ += take;
        data += take;
        length -= take;
        if (txFill_ == kPayloadSize) sendReport();
    }
    return error_;
}

void HidComDriver::takeReport(std::size_t received) {
    // The length byte is the board's word; the report holds what was received.
    const int held = received > kPayloadStart ? static_cast<int>(received) - kPayloadStart : 0;
    rxCount_ = std::min({static_cast<int>(inReport_[kLengthByte]), held, kPayloadSize});
    if (inReport_[kStatusByte] != 0) status_ = inReport_[kStatusByte];
    error_ = kDriverOk;
}

void HidComDriver::storeLogPacket(const std::uint8_t* report, std::size_t received) {
    KestoComLogDataSet& entry = log_[report[kLogIndexByte]];
    const std::size_t held = received > kLogDataStart ? received - kLogDataStart : 0;
    const std::size_t length = std::min<std::size_t>(report[kLogLengthByte], held);
    entry.flag = report[kLogFlagByte];
    std::memcpy(entry.data, report + kLogDataStart, length);
    entry.length = static_cast<std::uint8_t>(length);
    writeIndex_ = report[kLogIndexByte];
}

void HidComDriver::waitReport(bool firstOfAnswer) {
    if (!isOpen_) {
        error_ = kDriverNotOpen;
        return;
    }
    const bool setLogAside = firstOfAnswer && logPacketsBeforeAnswer_;
    for (int tries = 0; tries < kReportTries; ++tries) {
        std::size_t received = 0;
        if (device_->readReports(inReport_, sizeof inReport_, 1, received) != kHidOk) {
            error_ = kDriverReadFailed;
            return;
        }
        if (received == 0) continue;
        if (setLogAside && inReport_[kPayloadStart] == kLogPacketMark) {
            storeLogPacket(inReport_, received);
            continue;
        }
        takeReport(received);
        return;
    }
}

int HidComDriver::read(std::uint8_t* buffer, int length) {
    if (error_ != kDriverOk) return error_;
    if (buffer == nullptr) length = 0;
    if (rxCount_ == 0 && length > 0) waitReport(true);
    while (error_ == kDriverOk) {
        const int take = std::min(length, rxCount_);
        if (take <= 0) break;
        std::memcpy(buffer, inReport_ + kPayloadStart, static_cast<std::size_t>(take));
        buffer += take;
        length -= take;
        rxCount_ -= take;
        if (rxCount_ > 0)
            std::memmove(inReport_ + kPayloadStart, inReport_ + kPayloadStart + take,
                         static_cast<std::size_t>(rxCount_));
        else if (length > 0)
            waitReport(false);
    }
    // Fewer bytes than asked: the caller has no byte count, so this is a failed
    // read, not a short success.
    if (error_ == kDriverOk && length > 0) error_ = kDriverReadFailed;
    return error_;
}

bool HidComDriver::ping(bool sendFallback) {
    const bool wasOpen = isOpen_;
    if (!wasOpen && !open()) {
        error_ = kDriverNotOpen;
        return false;
    }
    bool answered = false;
    std::memcpy(outReport_ + 1, kPingReport, sizeof kPingReport);
    if (device_->writeReport(outReport_, device_->outputReportLength()) != kHidOk) {
        error_ = kDriverWriteFailed;
    } else {
        std::uint8_t answer[kReportSize];
        std::size_t received = 0;
        if (device_->readReports(answer, sizeof answer, 1, received) != kHidOk || received == 0) {
            error_ = kDriverReadFailed;
        } else if (answer[1] == kPingAnswer) {
            answered = true;
        } else if (sendFallback) {
            std::memcpy(outReport_ + 1, kFallbackReport, sizeof kFallbackReport);
            if (device_->writeReport(outReport_, device_->outputReportLength()) != kHidOk)
                error_ = kDriverWriteFailed;
        }
    }
    if (!wasOpen) close();
    return answered;
}

void HidComDriver::clearLog() {
    writeIndex_ = 0;
    readIndex_ = 0;
    for (KestoComLogDataSet& entry : log_)
        entry.length = 0;
}

int HidComDriver::pollLog() {
    if (!isOpen_ || !device_) return 0;
    std::uint32_t savedRead = 0;
    std::uint32_t savedWrite = 0;
    device_->getTimeouts(savedRead, savedWrite);
    device_->setTimeouts(0, 0);
    int reports = 0;
    // A buffer of its own: pending answer bytes in inReport_ stay intact.
    std::uint8_t report[kReportSize];
    while (reports < kReportTries) {
        std::size_t received = 0;
        if (device_->readReports(report, sizeof report, 1, received) != kHidOk || received == 0) break;
        ++reports;
        if (report[kPayloadStart] == kLogPacketMark) storeLogPacket(report, received);
    }
    device_->setTimeouts(savedRead, savedWrite);
    return reports;
}

int HidComDriver::logCount() {
    return static_cast<std::uint8_t>(writeIndex_ - readIndex_);
}

bool HidComDriver::readLog(KestoComLogDataSet* entries, std::uint16_t& count) {
    count = 0;
    if (entries == nullptr || readIndex_ == writeIndex_) return false;
    while (readIndex_ != writeIndex_) {
        ++readIndex_;
        const KestoComLogDataSet& entry = log_[readIndex_];
        KestoComLogDataSet& copy = entries[count];
        copy.flag = entry.flag;
        copy.length = entry.length;
        std::memcpy(copy.data, entry.data, entry.length);
        ++count;
    }
    return true;
}

void HidComDriver::onErrorCleared() {
    rxCount_ = 0;
    txFill_ = 0;
}

void HidComDriver::onStatusCleared() {}

void HidComDriver::discardInput() {
    rxCount_ = 0;
    pollLog();
}

void HidComDriver::setTimeouts(int readTimeout, int writeTimeout) {
    readTimeout_ = readTimeout;
    writeTimeout_ = writeTimeout;
    if (device_)
        device_->setTimeouts(static_cast<std::uint32_t>(readTimeout),
                             static_cast<std::uint32_t>(writeTimeout));
}

} // namespace board_link
