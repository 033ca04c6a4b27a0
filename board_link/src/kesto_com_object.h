// Telegrams: what the board libraries say to the board. Each telegram knows its
// protocol id (pid), its three payload lengths, how to write its payload and
// how to take its answer. The command channel links telegrams into its queue;
// it never owns them.
#ifndef BOARD_LINK_KESTO_COM_OBJECT_H
#define BOARD_LINK_KESTO_COM_OBJECT_H

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cstdint>
#include <vector>

namespace board_link {

inline constexpr std::uint8_t kPidCommand = 0x44;
inline constexpr std::uint8_t kPidRegisterRead = 0x69;
inline constexpr std::uint8_t kPidRegisterWrite = 0x68;
inline constexpr std::uint8_t kPidFirmwareNumber = 0x67;
inline constexpr std::uint8_t kPidFirmwareInfo = 0x66;
inline constexpr std::uint8_t kPidFlush = 0x7F;

// Telegram results besides the board's status byte.
inline constexpr std::uint8_t kResultTransferFailed = 1;
inline constexpr std::uint8_t kResultOtherPid = 2;

class CommandChannel;

class KestoComObject {
  public:
    KestoComObject(std::uint8_t pid, int writeLength, int requestLength, int responseLength,
                   std::uint32_t traceId);
    virtual ~KestoComObject() = default;
    KestoComObject(const KestoComObject&) = delete;
    KestoComObject& operator=(const KestoComObject&) = delete;

    virtual int writeLength() const { return writeLength_; }
    virtual int requestLength() const { return requestLength_; }
    virtual int responseLength() const { return responseLength_; }
    // Each of the next three also describes the telegram on `xml`: an element
    // "telegram" with attributes "pid" and "trace" (hex) and "direction"
    // ("write", "read" for a request, "result" for an answer).
    // Payload of the write form; false when it does not fit or there is none.
    virtual bool serializeWrite(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml);
    // Payload of the request form.
    virtual bool serializeRequest(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml);
    // Takes the answer payload.
    virtual bool parseResponse(const std::uint8_t* payload, int length, QXmlStreamWriter& xml);
    // Reads the telegram back from its description (reader inside "telegram").
    virtual bool readXml(QXmlStreamReader& xml);

    std::uint8_t pid() const { return pid_; }
    std::uint8_t result() const { return result_; }
    bool answered() const { return answered_ != 0; }
    std::uint32_t traceId() const { return traceId_; }

  protected:
    void beginXml(QXmlStreamWriter& xml, const char* direction) const;

    std::uint32_t traceId_;
    std::uint8_t pid_;
    std::uint8_t result_ = 0;
    std::uint8_t answered_ = 1;
    int writeLength_;
    int requestLength_;
    int responseLength_;

  private:
    friend class CommandChannel;
    KestoComObject* next_ = nullptr;
};

// A board command: [command byte][parameter bytes]; the request form is the
// write form, the answer is kept whole.
class KXx0CommandObject : public KestoComObject {
  public:
    KXx0CommandObject(std::uint8_t command, int expectedAnswerLength, std::uint32_t traceId = 0);

    bool serializeWrite(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml) override;
    bool serializeRequest(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml) override;
    bool parseResponse(const std::uint8_t* payload, int length, QXmlStreamWriter& xml) override;
    virtual const std::vector<std::uint8_t>& responseData() const { return answer_; }
    // Sets the parameter bytes; returns the new payload length.
    virtual int setData(const std::vector<std::uint8_t>& parameters);

    std::uint8_t command() const { return command_; }

  private:
    bool writePayload(std::uint8_t* buffer, int capacity) const;

    std::uint8_t command_;
    std::vector<std::uint8_t> parameters_;
    std::vector<std::uint8_t> answer_;
};

// A register read (pid 0x69) or write (pid 0x68). Widths 1, 2 or 4 bytes, most
// significant byte first; any other width fails serialisation and parsing.
class KXx0RegisterObject : public KestoComObject {
  public:
    KXx0RegisterObject(int addressWidth, int valueWidth, std::uint32_t address, std::uint32_t value = 0,
                       std::uint32_t traceId = 0);

    bool serializeWrite(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml) override;
    bool serializeRequest(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml) override;
    bool parseResponse(const std::uint8_t* payload, int length, QXmlStreamWriter& xml) override;

    std::uint32_t address() const { return address_; }
    std::uint32_t value() const { return value_; }

  private:
    int addressWidth_;
    int valueWidth_;
    std::uint32_t address_;
    std::uint32_t value_;
};

// Firmware number: answer [major][minor][marker].
class FirmwareNumberObject : public KestoComObject {
  public:
    explicit FirmwareNumberObject(std::uint32_t traceId = 0);
    bool serializeRequest(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml) override;
    bool parseResponse(const std::uint8_t* payload, int length, QXmlStreamWriter& xml) override;
    bool readXml(QXmlStreamReader& xml) override;
    // major << 16 | minor << 8 | marker; 0 before an answer.
    std::uint32_t number() const { return number_; }

  private:
    std::uint32_t number_ = 0;
};

// Firmware information text: up to 64 bytes, the last one always 0.
class GetFirmwareInfoObject : public KestoComObject {
  public:
    explicit GetFirmwareInfoObject(std::uint32_t traceId = 0);
    bool serializeRequest(std::uint8_t* buffer, int capacity, QXmlStreamWriter& xml) override;
    bool parseResponse(const std::uint8_t* payload, int length, QXmlStreamWriter& xml) override;
    bool readXml(QXmlStreamReader& xml) override;
    const char* text() const { return text_; }

  private:
    char text_[64] = {};
};

// The flush marker: handed to the channel's write, it flushes.
class KestoFlushObject : public KestoComObject {
  public:
    KestoFlushObject();
    bool serializeWrite(std::uint8_t*, int, QXmlStreamWriter&) override { return false; }
    bool serializeRequest(std::uint8_t*, int, QXmlStreamWriter&) override { return false; }
    bool parseResponse(const std::uint8_t*, int, QXmlStreamWriter&) override { return false; }
    bool readXml(QXmlStreamReader& xml) override;
};

class KestoComPolicy {
  public:
    virtual ~KestoComPolicy() = default;
    virtual bool mustFlush() const = 0;
};

class ImmediateFlushPolicy : public KestoComPolicy {
  public:
    bool mustFlush() const override { return true; }
};

class LateFlushPolicy : public KestoComPolicy {
  public:
    bool mustFlush() const override { return false; }
};

// The process-wide policies and flush object.
ImmediateFlushPolicy& immediateFlushPolicy();
LateFlushPolicy& lateFlushPolicy();
KestoFlushObject& flushObject();

} // namespace board_link

#endif
