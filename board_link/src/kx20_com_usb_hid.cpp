#include "kx20_com_usb_hid.h"

#include "status_names.h"

#include <QDebug>

namespace board_link {

namespace {

constexpr int kConnectionError = -1;
constexpr int kReadError = -2;
constexpr int kWriteError = -3;
constexpr int kVerifyError = -4;
constexpr int kNoPingAnswer = -7;
constexpr int kAlreadyConnected = -8;

uchar merged(uchar mask, uchar value, uchar current) {
    return static_cast<uchar>((mask & value) | (~mask & current));
}

} // namespace

// --- KestoCommunication ---

int KestoCommunication::finishConnect(int result) {
    connected_ = result == 0;
    emit connectionChanged(result == 0);
    if (result == 0) afterConnect();
    return result;
}

int KestoCommunication::connect() {
    if (connected_) return kAlreadyConnected;
    return finishConnect(openDevice());
}

int KestoCommunication::connect(const char* path) {
    if (connected_) return kAlreadyConnected;
    return finishConnect(openDevice(path));
}

void KestoCommunication::disconnect() {
    emit beforeDisconnect();
    closeDevice();
    emit connectionChanged(false);
    connected_ = false;
}

void KestoCommunication::deviceNodeChanged() {
    if (connected_)
        connect();
    else
        disconnect();
}

QString KestoCommunication::errorText() const {
    switch (lastError_.load()) {
    case 0: return QStringLiteral("OK");
    case kConnectionError: return QStringLiteral("Connection Error");
    case kReadError: return QStringLiteral("Read Error");
    case kWriteError: return QStringLiteral("Write Error");
    case kVerifyError: return QStringLiteral("Verify Error");
    default: return QStringLiteral("Unknown Error");
    }
}

void KestoCommunication::notifySubRegisterChanged(uchar reg, uchar subreg, uchar value) {
    emit dataChanged(reg, subreg, true, value);
}

void KestoCommunication::notifyRegisterChanged(uchar reg, uchar value) {
    emit dataChanged(reg, 0, false, value);
}

int KestoCommunication::readRegister(uchar reg, uchar& value, bool notify) {
    lastError_ = 0;
    int result = connected_ ? 0 : connect();
    if (result == 0) {
        std::lock_guard<std::mutex> guard(registerMutex_);
        result = readRegisterLow(reg, value);
    }
    lastError_ = result;
    if (notify && result == 0) notifyRegisterChanged(reg, value);
    return result;
}

int KestoCommunication::writeRegister(uchar reg, uchar value, bool verify, bool notify) {
    lastError_ = 0;
    int result = connected_ ? 0 : connect();
    if (result == 0) {
        std::lock_guard<std::mutex> guard(registerMutex_);
        result = writeRegisterLow(reg, value);
        if (result == 0 && verify) {
            uchar back = 0;
            result = readRegisterLow(reg, back);
            if (result == 0 && back != value) result = kVerifyError;
        }
    }
    lastError_ = result;
    if (notify && result == 0) notifyRegisterChanged(reg, value);
    return result;
}

int KestoCommunication::modifyRegister(uchar reg, uchar mask, uchar value, bool verify, bool notify) {
    lastError_ = 0;
    int result = connected_ ? 0 : connect();
    uchar next = 0;
    if (result == 0) {
        std::lock_guard<std::mutex> guard(registerMutex_);
        uchar current = 0;
        result = readRegisterLow(reg, current);
        next = merged(mask, value, current);
        if (result == 0) result = writeRegisterLow(reg, next);
        if (result == 0 && verify) {
            uchar back = 0;
            if (readRegisterLow(reg, back) != 0 || back != next) result = kVerifyError;
        }
    }
    lastError_ = result;
    if (notify && result == 0) notifyRegisterChanged(reg, next);
    return result;
}

int KestoCommunication::selectPage(uchar subreg, uchar& page) {
    int result = readRegisterLow(static_cast<uchar>(pageRegister_), page);
    page = merged(pageMask_, subreg, page);
    if (result == 0) result = writeRegisterLow(static_cast<uchar>(pageRegister_), page);
    return result;
}

int KestoCommunication::readSubRegister(uchar reg, uchar& value, uchar subreg, bool notify) {
    int result = connected_ ? 0 : connect();
    if (result == 0) {
        std::lock_guard<std::mutex> guard(registerMutex_);
        uchar page = 0;
        result = selectPage(subreg, page);
        if (result == 0) result = readRegisterLow(reg, value);
    }
    if (notify && result == 0) notifySubRegisterChanged(reg, subreg, value);
    emit dataChanged(reg, subreg, true, 0, value, kAccessRead, result, QString());
    return result;
}

int KestoCommunication::writeSubRegister(uchar reg, uchar value, uchar subreg, bool verify, bool notify) {
    int result = connected_ ? 0 : connect();
    if (result == 0) {
        std::lock_guard<std::mutex> guard(registerMutex_);
        uchar page = 0;
        result = selectPage(subreg, page);
        if (result == 0) result = writeRegisterLow(reg, value);
        if (result == 0 && verify) {
            uchar back = 0;
            if (writeRegisterLow(static_cast<uchar>(pageRegister_), page) != 0 ||
                readRegisterLow(reg, back) != 0 || back != value)
                result = kVerifyError;
        }
    }
    if (notify && result == 0) notifySubRegisterChanged(reg, subreg, value);
    emit dataChanged(reg, subreg, true, 0, value, kAccessWrite, result, QString());
    return result;
}

int KestoCommunication::modifySubRegister(uchar reg, uchar mask, uchar value, uchar subreg, bool verify,
                                          bool notify) {
    int result = connected_ ? 0 : connect();
    uchar next = 0;
    if (result == 0) {
        std::lock_guard<std::mutex> guard(registerMutex_);
        uchar page = 0;
        uchar current = 0;
        result = selectPage(subreg, page);
        if (result == 0) result = readRegisterLow(reg, current);
        if (result == 0) result = writeRegisterLow(static_cast<uchar>(pageRegister_), page);
        next = merged(mask, value, current);
        if (result == 0) result = writeRegisterLow(reg, next);
        if (result == 0) result = writeRegisterLow(static_cast<uchar>(pageRegister_), page);
        if (result == 0 && verify) {
            uchar back = 0;
            if (readRegisterLow(reg, back) != 0 || back != next) result = kVerifyError;
        }
    }
    if (notify && result == 0) notifySubRegisterChanged(reg, subreg, next);
    emit dataChanged(reg, subreg, true, mask, value, kAccessModify, result, QString());
    return result;
}

void KestoCommunication::setPageRegister(std::uint16_t reg, uchar mask) {
    {
        std::lock_guard<std::mutex> guard(registerMutex_);
        pageRegister_ = reg;
        pageMask_ = mask;
    }
    emit dataChanged(static_cast<uchar>(reg), 0, false, mask, 0, kAccessPage, 0, QString());
}

int KestoCommunication::command(const QString& text) {
    int result = connected_ ? 0 : connect();
    if (result == 0) {
        std::lock_guard<std::mutex> guard(registerMutex_);
        result = commandLow(text);
    }
    emit dataChanged(0, 0, false, 0, 0, kAccessCommand, result, text);
    return result;
}

// --- KX20Com_UsbHid ---

KX20Com_UsbHid::KX20Com_UsbHid(const BoardVariant& variant, std::uint16_t vendorId)
    : variant_(variant), driver_(variant, vendorId), channel_(&driver_, &immediateFlushPolicy()) {
    if (variant_.pidDiagnostic)
        channel_.setDebugSink([](const std::string& line) { qDebug("%s", line.c_str()); });
}

KX20Com_UsbHid::~KX20Com_UsbHid() = default;

QString KX20Com_UsbHid::message(const char* operation) const {
    return QStringLiteral("%1 : received packet too short")
        .arg(QString::fromLatin1(variant_.messagePrefix) + QString::fromLatin1(operation));
}

void KX20Com_UsbHid::reportShortAnswer(const char* operation, const char* text) {
    emit communicationErrorMessage(QStringLiteral("%1%2 : %3")
                                       .arg(QString::fromLatin1(variant_.messagePrefix),
                                            QString::fromLatin1(operation), QString::fromLatin1(text)));
}

void KX20Com_UsbHid::reportMessage(const QString& text) {
    emit communicationErrorMessage(text);
}

QString KX20Com_UsbHid::firmwareText() const {
    std::lock_guard<std::mutex> guard(textMutex_);
    return firmwareText_;
}

QString KX20Com_UsbHid::statusName(int code) const {
    const QString name = QString::fromLatin1(statusNameText(code));
    if (code == 39 || (code >= 0 && code <= 47)) return name;
    return name + QLatin1Char(' ') + QString::number(code);
}

void KX20Com_UsbHid::getBoardInfo() {
    FirmwareNumberObject number(1);
    GetFirmwareInfoObject info(1);
    {
        std::lock_guard<std::mutex> guard(textMutex_);
        firmwareText_ = QStringLiteral("err 43.43.43");
    }
    channel_.queue(&number);
    channel_.queue(&info);
    if (info.text()[0] != 0) {
        {
            std::lock_guard<std::mutex> guard(textMutex_);
            firmwareText_ = firmwareNumberToText(number.number());
        }
        uchar value = 0;
        readRegister(0, value, true);
        readRegister(1, value, true);
    } else {
        emit communicationErrorMessage(message("getBoardInfo"));
    }
}

int KX20Com_UsbHid::getObvsMode(int& first, int& second) {
    std::vector<std::uint8_t> answer;
    const std::uint8_t status = sendBoardCommand(0x23, {}, 3, answer);
    if (status == 0) {
        if (answer.size() >= 2) {
            first = static_cast<std::int8_t>(answer[0]);
            second = static_cast<std::int8_t>(answer[1]);
        } else {
            emit communicationErrorMessage(message("getObvsMode"));
        }
    }
    return status;
}

int KX20Com_UsbHid::takeLinkErrors() {
    return channel_.takeLinkErrors();
}

std::uint8_t KX20Com_UsbHid::sendBoardCommand(std::uint8_t command,
                                              const std::vector<std::uint8_t>& parameters,
                                              int expectedAnswerLength, std::vector<std::uint8_t>& answer) {
    KXx0CommandObject telegram(command, expectedAnswerLength, 0xFFFFFFFFu);
    if (!parameters.empty()) telegram.setData(parameters);
    channel_.queue(&telegram);
    // An answer the channel did not take whole is no answer.
    if (telegram.answered())
        answer = telegram.responseData();
    else
        answer.clear();
    return telegram.result();
}

int KX20Com_UsbHid::readRegisterLow(uchar reg, uchar& value) {
    KXx0RegisterObject telegram(1, 1, reg);
    channel_.queue(&telegram);
    channel_.flush();
    // Only a value the board sent is stored.
    if (channel_.takeLinkErrors() != 0 || !telegram.answered()) return kReadError;
    value = static_cast<uchar>(telegram.value());
    return 0;
}

int KX20Com_UsbHid::writeRegisterLow(uchar reg, uchar value) {
    KXx0RegisterObject telegram(1, 1, reg, value);
    channel_.write(&telegram);
    channel_.flush();
    return channel_.takeLinkErrors() != 0 ? kWriteError : 0;
}

int KX20Com_UsbHid::commandLow(const QString&) {
    return kWriteError;
}

int KX20Com_UsbHid::pingBoard() {
    if (driver_.ping(false)) return 0;
    // The connect reports the unanswered ping as -7; the read error it left
    // must not fail the next connect, which pings again on the open driver.
    channel_.takeLinkErrors();
    return kNoPingAnswer;
}

int KX20Com_UsbHid::openDevice() {
    if (!channel_.open()) return kConnectionError;
    return pingBoard();
}

int KX20Com_UsbHid::openDevice(const char* path) {
    if (!channel_.open(path)) return kConnectionError;
    return pingBoard();
}

bool KX20Com_UsbHid::closeDevice() {
    return channel_.close();
}

bool KX20Com_UsbHid::isBoardAlive() {
    GetFirmwareInfoObject info(1);
    channel_.queue(&info);
    return info.text()[0] != 0;
}

} // namespace board_link
