// The QM30 dongle as its firmware sees the HID reports: a controller (report 2)
// in front of the QM30 transceiver (report 1). Plug it into the simulated
// hidapi with plugQm30(); it answers each output report with one 64-byte input
// report (report id in byte 0) before hid_write returns.
//
// Written from the device's side: it shares no code with the library that
// drives the dongle, and keeps the ids and the manufacturer text by value.
#ifndef QM30SIM_QM30_MODEL_H
#define QM30SIM_QM30_MODEL_H

#include <hidsim/hidsim.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qm30sim {

inline constexpr std::uint16_t kVendorId = 0x4B45;
inline constexpr std::uint16_t kProductId = 0xD0D0;
inline constexpr wchar_t kManufacturer[] = L"Kesto";

// Transceiver commands (report 1) and controller commands (report 2).
inline constexpr std::uint8_t kEcho = 0x55, kIdentify = 0x01, kProtocolSelect = 0x02, kSendReceive = 0x04,
                              kRegisterWrite = 0x09;
inline constexpr std::uint8_t kChunk = 0xA6, kAnswerPart = 0xA7, kAfterSelect = 0xA8, kRevision = 0xBC;

// What the transceiver answers to a frame: its result code and the bytes after
// the length byte.
struct FrameAnswer {
    std::uint8_t code = 0x87;
    std::vector<std::uint8_t> payload;
};
using FrameHandler = std::function<FrameAnswer(const std::vector<std::uint8_t>& frame)>;

class Qm30Model : public hidsim::Model {
  public:
    Qm30Model();

    std::vector<hidsim::Report> output(std::span<const std::uint8_t> report, std::size_t unread) override;

    // Settings.
    void setFrameHandler(FrameHandler handler); // default: every frame 0x87 (no tag)
    void setIdentification(const std::string& text);
    void setRevision(std::vector<std::uint8_t> bytes); // 0xBC data; default 03 06 05
    // Data of the controller's simple commands 0xB2, 0xB8, 0xB9, 0xBA, 0xBD.
    void setControllerData(std::uint8_t command, std::vector<std::uint8_t> data);
    // The next protocol select answers `code` (0x82, 0x83) and stores nothing.
    void failNextSelect(std::uint8_t code);

    // Faults, one-shot unless said otherwise.
    void nextResultCode(std::uint8_t code);        // byte 1 of the next answer report
    void nextLengthByte(std::uint8_t length);      // byte 2 of the next answer report
    void ackLastChunk();                           // the last chunk answered 0xA6 (no answer follows)
    void foreignPart(int part, std::uint8_t code); // the part-th 0xA7 part (1-based) replaced by {2, code, 0}
    void endlessParts(bool on);                    // persistent: every answer part says more follow

    // Record.
    std::vector<std::uint8_t> selectedProtocol() const;
    std::vector<std::vector<std::uint8_t>> registerWrites() const;
    std::vector<std::vector<std::uint8_t>> frames() const; // every frame run, single-report or chunked
    std::vector<std::string> violations() const;           // chunking rules the host broke
    int partsServed() const;

  private:
    using Report = hidsim::Report;
    Report answer(std::uint8_t id, std::uint8_t code, const std::vector<std::uint8_t>& data);
    Report transceiver(std::span<const std::uint8_t> report);
    Report controller(std::span<const std::uint8_t> report);
    Report chunk(std::span<const std::uint8_t> report);
    Report nextPart();
    Report chunkViolation(const std::string& what);

    mutable std::mutex mutex_; // guards everything below; taken by every public member
    FrameHandler handler_;
    std::string identification_ = "QM30 simulated 1.0";
    std::vector<std::uint8_t> revision_{0x03, 0x06, 0x05};
    std::map<std::uint8_t, std::vector<std::uint8_t>> controllerData_;
    int failSelect_ = -1;
    int nextCode_ = -1;
    int nextLength_ = -1;
    bool ackLast_ = false;
    int foreignPart_ = 0;
    std::uint8_t foreignCode_ = 0;
    bool endless_ = false;

    // Chunk collection.
    bool collecting_ = false;
    std::size_t total_ = 0;
    std::vector<std::uint8_t> frame_;
    // Answer parts not fetched yet.
    std::vector<std::uint8_t> pending_;
    std::size_t pendingAt_ = 0;
    bool serving_ = false;
    int partNumber_ = 0;
    int partsServed_ = 0;

    std::vector<std::uint8_t> selected_;
    std::vector<std::vector<std::uint8_t>> registerWrites_;
    std::vector<std::vector<std::uint8_t>> frames_;
    std::vector<std::string> violations_;
};

// The dongle's enumeration entry: numbered reports, the ids and manufacturer above.
hidsim::DeviceProfile qm30Profile();
// Plugs a dongle in; returns its hidsim device id.
int plugQm30(const std::shared_ptr<Qm30Model>& model);

} // namespace qm30sim

#endif
