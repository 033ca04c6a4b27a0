// The byte-stream driver over one HID board device: the stream is packed into
// 65-byte output reports (61 payload bytes each) and read back from input
// reports; log packets the board sends land in a ring of 256 entries.
#ifndef BOARD_LINK_HID_COM_DRIVER_H
#define BOARD_LINK_HID_COM_DRIVER_H

#include "chid_device.h"
#include "kesto_com_driver.h"

#include <KXx0EVALOComm.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace board_link {

inline constexpr int kReportSize = 65;
inline constexpr int kPayloadSize = 61;
inline constexpr int kReportTries = 20;
inline constexpr std::uint8_t kLogPacketMark = 0x6A;
inline constexpr std::uint8_t kPingAnswer = 0xDE;

// What the two board libraries build differently: the product ids their driver
// tries, whether the wait for an answer's first report sets log packets aside,
// and a few details of the board operations.
struct BoardVariant {
    const std::uint16_t* productIds;
    std::uint16_t productIdCount;
    bool logPacketsBeforeAnswer;
    const char* messagePrefix;   // the board class's name in its messages
    bool pidDiagnostic;          // whether an answer-pid mismatch writes a debug line
    std::uint8_t bitrateCommand; // the board command that sets the bit rates
    bool attribMasked;           // ATTRIB parameter 2 keeps dri and fsdi to their fields
    bool typeBDeselectStatus;    // the ISO 14443-B deselect returns the status (else 0)
};

inline constexpr std::uint16_t kKx10ProductIds[] = {KX10_PRODUCT_ID};
inline constexpr std::uint16_t kKx20ProductIds[] = {KX20_PRODUCT_ID};
inline constexpr BoardVariant kKx10Board{
    kKx10ProductIds, 1, false, "KX10Communication::", false, 0x19, false, false};
inline constexpr BoardVariant kKx20Board{
    kKx20ProductIds, 1, true, "KX20Com_UsbHid::", true, 0x45, true, true};

class HidComDriver : public KestoComDriver {
  public:
    HidComDriver(const std::uint16_t* productIds, std::uint16_t count, std::uint16_t vendorId,
                 bool logPacketsBeforeAnswer);
    ~HidComDriver() override;

    bool open(const char* path) override;
    bool open() override;
    bool close() override;
    int flush() override;
    int write(const std::uint8_t* data, int length) override;
    int read(std::uint8_t* buffer, int length) override;
    bool ping(bool sendFallback) override;
    void clearLog() override;
    int pollLog() override;
    int logCount() override;
    bool readLog(KestoComLogDataSet* entries, std::uint16_t& count) override;
    void onErrorCleared() override;
    void onStatusCleared() override;
    // The rest of the current input report.
    int unreadBytes() const override { return rxCount_; }
    // The log packets among the reports dropped land in the ring.
    void discardInput() override;

    // Stores both time-outs (ms) and hands them to the device when there is one.
    void setTimeouts(int readTimeout, int writeTimeout);

  private:
    bool acceptDevice();
    void sendReport();
    // Waits for a report of the stream: up to kReportTries reads. `firstOfAnswer`
    // sets log packets aside when the variant asks for it.
    void waitReport(bool firstOfAnswer);
    void takeReport(std::size_t received);
    void storeLogPacket(const std::uint8_t* report, std::size_t received);
    void fillPadding();

    std::unique_ptr<CHIDDevice> device_;
    std::uint16_t vendorId_;
    std::vector<std::uint16_t> productIds_;
    bool logPacketsBeforeAnswer_;
    std::uint8_t outReport_[kReportSize] = {};
    int txFill_ = 0;
    std::uint8_t inReport_[kReportSize] = {};
    int rxCount_ = 0;
    std::uint8_t sequence_ = 0;
    int readTimeout_ = 1000;
    int writeTimeout_ = 1000;
    KestoComLogDataSet log_[256];
    std::uint8_t writeIndex_ = 0;
    std::uint8_t readIndex_ = 0;
};

// The driver class the board libraries construct.
class KXx0HidComDriver : public HidComDriver {
  public:
    KXx0HidComDriver(const BoardVariant& board, std::uint16_t vendorId)
        : HidComDriver(board.productIds, board.productIdCount, vendorId, board.logPacketsBeforeAnswer) {}
};

} // namespace board_link

#endif
