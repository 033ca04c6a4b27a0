#include "kesto_com_object.h"

#include <algorithm>
#include <cstring>

namespace board_link {

namespace {

bool validWidth(int width) {
    return width == 1 || width == 2 || width == 4;
}

void putBigEndian(std::uint8_t* out, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
}

std::uint32_t getBigEndian(const std::uint8_t* in, int width) {
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | in[i];
    return value;
}

} // namespace

KestoComObject::KestoComObject(std::uint8_t pid, int writeLength, int requestLength, int responseLength,
                               std::uint32_t traceId)
    : traceId_(traceId), pid_(pid), writeLength_(writeLength), requestLength_(requestLength),
      responseLength_(responseLength) {}

void KestoComObject::beginXml(QXmlStreamWriter& xml, const char* direction) const {
    xml.writeStartElement(QStringLiteral("telegram"));
    xml.writeAttribute(QStringLiteral("pid"), QString::number(pid_, 16));
    xml.writeAttribute(QStringLiteral("direction"), QString::fromLatin1(direction));
    xml.writeAttribute(QStringLiteral("trace"), QString::number(traceId_, 16));
}

bool KestoComObject::serializeWrite(std::uint8_t*, int, QXmlStreamWriter&) {
    return false;
}
bool KestoComObject::serializeRequest(std::uint8_t*, int, QXmlStreamWriter&) {
    return false;
}
bool KestoComObject::parseResponse(const std::uint8_t*, int, QXmlStreamWriter&) {
    return false;
}
bool KestoComObject::readXml(QXmlStreamReader&) {
    return false;
}

KXx0CommandObject::KXx0CommandObject(std::uint8_t command, int expectedAnswerLength, std::uint32_t traceId)
    : KestoComObject(kPidCommand, 1, 1, expectedAnswerLength, traceId), command_(command) {}

bool KXx0CommandObject::serializeWrite(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml) {
    beginXml(xml, "write");
    xml.writeEndElement();
    return writePayload(buffer, capacity);
}

bool KXx0CommandObject::writePayload(std::uint8_t* buffer, int capacity) const {
    if (buffer == nullptr || capacity < writeLength_ ||
        writeLength_ != static_cast<int>(parameters_.size()) + 1)
        return false;
    buffer[0] = command_;
    std::copy(parameters_.begin(), parameters_.end(), buffer + 1);
    return true;
}

bool KXx0CommandObject::serializeRequest(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml) {
    beginXml(xml, "read");
    xml.writeEndElement();
    return writePayload(buffer, capacity);
}

bool KXx0CommandObject::parseResponse(const std::uint8_t* payload, int length, QXmlStreamWriter& xml) {
    beginXml(xml, "result");
    xml.writeEndElement();
    if (payload == nullptr) length = 0;
    answer_.assign(payload, payload + std::max(length, 0));
    return true;
}

int KXx0CommandObject::setData(const std::vector<std::uint8_t>& parameters) {
    parameters_ = parameters;
    writeLength_ = requestLength_ = static_cast<int>(parameters_.size()) + 1;
    return writeLength_;
}

KXx0RegisterObject::KXx0RegisterObject(int addressWidth, int valueWidth, std::uint32_t address,
                                       std::uint32_t value, std::uint32_t traceId)
    : KestoComObject(kPidRegisterRead, addressWidth + valueWidth, addressWidth, valueWidth, traceId),
      addressWidth_(addressWidth), valueWidth_(valueWidth), address_(address), value_(value) {}

bool KXx0RegisterObject::serializeWrite(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml) {
    pid_ = kPidRegisterWrite;
    beginXml(xml, "write");
    xml.writeEndElement();
    if (buffer == nullptr || !validWidth(addressWidth_) || !validWidth(valueWidth_) ||
        capacity < writeLength_)
        return false;
    putBigEndian(buffer, address_, addressWidth_);
    putBigEndian(buffer + addressWidth_, value_, valueWidth_);
    return true;
}

bool KXx0RegisterObject::serializeRequest(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml) {
    pid_ = kPidRegisterRead;
    beginXml(xml, "read");
    xml.writeEndElement();
    if (buffer == nullptr || !validWidth(addressWidth_) || !validWidth(valueWidth_) ||
        capacity < requestLength_)
        return false;
    putBigEndian(buffer, address_, addressWidth_);
    return true;
}

bool KXx0RegisterObject::parseResponse(const std::uint8_t* payload, int length, QXmlStreamWriter& xml) {
    beginXml(xml, "result");
    xml.writeEndElement();
    if (payload == nullptr || !validWidth(valueWidth_) || length < responseLength_) return false;
    value_ = getBigEndian(payload, valueWidth_);
    return true;
}

FirmwareNumberObject::FirmwareNumberObject(std::uint32_t traceId)
    : KestoComObject(kPidFirmwareNumber, 0, 0, 3, traceId) {}

bool FirmwareNumberObject::serializeRequest(std::uint8_t*, int capacity, QXmlStreamWriter& xml) {
    beginXml(xml, "read");
    xml.writeEndElement();
    return capacity >= requestLength_;
}

bool FirmwareNumberObject::parseResponse(const std::uint8_t* payload, int length, QXmlStreamWriter& xml) {
    if (payload == nullptr || length < 3) return false;
    number_ = static_cast<std::uint32_t>(payload[0]) << 16 | static_cast<std::uint32_t>(payload[1]) << 8 |
              payload[2];
    beginXml(xml, "result");
    xml.writeStartElement(QStringLiteral("firmwarenumber"));
    xml.writeTextElement(QStringLiteral("major"), QString::number(payload[0], 16));
    xml.writeTextElement(QStringLiteral("minor"), QString::number(payload[1], 16));
    xml.writeTextElement(QStringLiteral("marker"), QString::number(payload[2], 16));
    xml.writeEndElement();
    xml.writeEndElement();
    return true;
}

bool FirmwareNumberObject::readXml(QXmlStreamReader& xml) {
    std::uint32_t parts[3] = {(number_ >> 16) & 0xFF, (number_ >> 8) & 0xFF, number_ & 0xFF};
    const QLatin1String names[3] = {QLatin1String("major"), QLatin1String("minor"), QLatin1String("marker")};
    bool ok = true;
    while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::Invalid) {
        if (!xml.isStartElement()) continue;
        for (int i = 0; i < 3; ++i)
            if (xml.name() == names[i]) {
                bool read = false;
                parts[i] = xml.readElementText().toUInt(&read, 16) & 0xFF;
                ok = ok && read;
            }
    }
    number_ = parts[0] << 16 | parts[1] << 8 | parts[2];
    return ok && !xml.hasError();
}

GetFirmwareInfoObject::GetFirmwareInfoObject(std::uint32_t traceId)
    : KestoComObject(kPidFirmwareInfo, 0, 0, 64, traceId) {}

bool GetFirmwareInfoObject::serializeRequest(std::uint8_t*, int capacity, QXmlStreamWriter& xml) {
    beginXml(xml, "read");
    xml.writeEndElement();
    return capacity >= requestLength_;
}

bool GetFirmwareInfoObject::parseResponse(const std::uint8_t* payload, int length, QXmlStreamWriter& xml) {
    if (payload != nullptr && length > 0)
        std::memcpy(text_, payload, static_cast<std::size_t>(std::min(length, 64)));
    text_[63] = 0;
    beginXml(xml, "result");
    xml.writeStartElement(QStringLiteral("firmwareinformation"));
    xml.writeTextElement(QStringLiteral("data"), QString::fromLatin1(text_));
    xml.writeEndElement();
    xml.writeEndElement();
    return true;
}

bool GetFirmwareInfoObject::readXml(QXmlStreamReader& xml) {
    while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::Invalid) {
        if (xml.isStartElement() && xml.name() == QLatin1String("data")) {
            const QByteArray text = xml.readElementText().toLatin1();
            std::memset(text_, 0, sizeof text_);
            std::memcpy(text_, text.constData(), static_cast<std::size_t>(std::min<int>(text.size(), 63)));
        }
    }
    return !xml.hasError();
}

bool KestoFlushObject::readXml(QXmlStreamReader& xml) {
    xml.skipCurrentElement();
    return true;
}

KestoFlushObject::KestoFlushObject() : KestoComObject(kPidFlush, 0, 0, 0, 0x80000000u) {}

ImmediateFlushPolicy& immediateFlushPolicy() {
    static ImmediateFlushPolicy policy;
    return policy;
}

LateFlushPolicy& lateFlushPolicy() {
    static LateFlushPolicy policy;
    return policy;
}

KestoFlushObject& flushObject() {
    static KestoFlushObject object;
    return object;
}

} // namespace board_link
