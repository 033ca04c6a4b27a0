#include "chid_device.h"

#include <vkplatform/hid_services.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace board_link {

namespace hid = vkplatform::hid;

int getDevicePath(int index, char* path) {
    if (path == nullptr || index < 0 || index >= kMaxDeviceIndex) return 0;
    const std::vector<hid::Interface> interfaces = hid::enumerate(static_cast<std::size_t>(index) + 1);
    if (static_cast<std::size_t>(index) >= interfaces.size()) return 0;
    const std::string& found = interfaces[static_cast<std::size_t>(index)].path;
    if (found.empty() || found.size() >= kDevicePathSize) return 0;
    std::memcpy(path, found.c_str(), found.size() + 1);
    return 1;
}

namespace {

// The paths of the matching interfaces, in enumeration order. An interface whose
// path does not fit a device-path buffer cannot be named and is passed over.
std::vector<std::string> matchingPaths(std::uint16_t vendorId, std::uint16_t productId) {
    std::vector<std::string> paths;
    for (const hid::Interface& entry : hid::enumerate(hid::kMaxInterfaces)) {
        if (entry.path.empty() || entry.path.size() >= kDevicePathSize) continue;
        if (entry.vendorId == vendorId && entry.productId == productId) paths.push_back(entry.path);
    }
    return paths;
}

} // namespace

int countDevices(std::uint16_t vendorId, std::uint16_t productId) {
    return static_cast<int>(matchingPaths(vendorId, productId).size());
}

bool acceptReportLengths(std::uint16_t inputLength, std::uint16_t outputLength) {
    auto fits = [](std::uint16_t length) { return length >= 64 && length <= hid::kReportLength; };
    return fits(inputLength) && fits(outputLength);
}

CHIDDevice::CHIDDevice() {
    reset();
}

CHIDDevice::~CHIDDevice() {
    if (handle_ != nullptr) hid::close(handle_);
}

void CHIDDevice::reset() {
    handle_ = nullptr;
    opened_ = false;
    inputReportLength_ = 0;
    outputReportLength_ = 0;
    featureReportLength_ = 0;
    inputBufferCount_ = 0;
}

std::uint8_t CHIDDevice::takeOpened(hid::Device* device, std::uint16_t wantedBuffers) {
    handle_ = device;
    opened_ = true;
    const hid::ReportLengths lengths = hid::reportLengths(device);
    if (lengths.input != 0) inputReportLength_ = lengths.input;
    if (lengths.output != 0) outputReportLength_ = lengths.output;
    if (lengths.feature != 0) featureReportLength_ = lengths.feature;
    if (inputBufferCount_ != 0 && wantedBuffers != 0) {
        inputBufferCount_ = std::max(inputBufferCount_, wantedBuffers);
        hid::setInputBuffers(device, wantedBuffers);
    } else {
        inputBufferCount_ = hid::inputBuffers(device);
    }
    return kHidOk;
}

std::uint8_t CHIDDevice::openByIndex(int index, std::uint16_t vendorId, std::uint16_t productId,
                                     std::uint16_t wantedBuffers) {
    if (opened_) return kHidAlreadyOpen;
    const std::vector<std::string> paths = matchingPaths(vendorId, productId);
    if (index < 0 || static_cast<std::size_t>(index) >= paths.size()) return kHidNoDevice;
    hid::Device* device = hid::open(paths[static_cast<std::size_t>(index)].c_str());
    if (device == nullptr) return kHidNoDevice;
    return takeOpened(device, wantedBuffers);
}

std::uint8_t CHIDDevice::openByPath(const char* path, std::uint16_t vendorId, std::uint16_t productId,
                                    std::uint16_t wantedBuffers) {
    if (opened_) return kHidAlreadyOpen;
    if (path == nullptr) return kHidNoDevice;
    const std::vector<std::string> paths = matchingPaths(vendorId, productId);
    if (std::find(paths.begin(), paths.end(), path) == paths.end()) return kHidNoDevice;
    hid::Device* device = hid::open(path);
    if (device == nullptr) return kHidNoDevice;
    return takeOpened(device, wantedBuffers);
}

std::uint8_t CHIDDevice::close() {
    if (!opened_) return kHidNotOpen;
    if (handle_ == nullptr) {
        reset();
        return kHidInvalidHandle;
    }
    hid::close(handle_);
    reset();
    return kHidOk;
}

bool CHIDDevice::isOpen() {
    if (!opened_) return false;
    if (handle_ == nullptr) {
        reset();
        return false;
    }
    return true;
}

std::uint8_t CHIDDevice::readReports(std::uint8_t* buffer, std::size_t length, std::size_t count,
                                     std::size_t& bytes) {
    bytes = 0;
    if (buffer == nullptr || length < count * inputReportLength_ || count > inputBufferCount_)
        return kHidBadLength;
    std::memset(buffer, 0, length);
    if (!isOpen()) return kHidNotOpen;
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t received = 0;
        switch (hid::readReport(handle_, buffer + i * inputReportLength_, inputReportLength_, readTimeout_,
                                received)) {
        case hid::Transfer::Done: total += received; break;
        case hid::Transfer::TimedOut: return kHidTimeout;
        case hid::Transfer::Failed: return kHidIoFailure;
        }
    }
    bytes = total;
    return kHidOk;
}

std::uint8_t CHIDDevice::writeReport(const std::uint8_t* data, std::size_t length) {
    if (length > outputReportLength_) return kHidBadLength;
    if (!isOpen()) return kHidNotOpen;
    if (data == nullptr && length != 0) return kHidBadLength;
    std::vector<std::uint8_t> report(outputReportLength_, 0);
    if (length != 0) std::memcpy(report.data(), data, length);
    switch (hid::writeReport(handle_, report.data(), report.size(), writeTimeout_)) {
    case hid::Transfer::Done: return kHidOk;
    case hid::Transfer::TimedOut: return kHidTimeout;
    case hid::Transfer::Failed: break;
    }
    return kHidIoFailure;
}

void CHIDDevice::getTimeouts(std::uint32_t& read, std::uint32_t& write) const {
    read = readTimeout_;
    write = writeTimeout_;
}

void CHIDDevice::setTimeouts(std::uint32_t read, std::uint32_t write) {
    readTimeout_ = read;
    writeTimeout_ = write;
}

} // namespace board_link
