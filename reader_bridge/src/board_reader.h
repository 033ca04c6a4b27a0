// What the two evaluation-board readers share: every operation, carried by the
// board library's operations through the process-wide entry table (kxx0_dll),
// with the board's fixed timing values. The readers differ in their library,
// name, firmware check, ISO 15693 set-up and ISO 15693 inventory.
#ifndef KESTOREADER_BOARD_READER_H
#define KESTOREADER_BOARD_READER_H

#include "kxx0_dll.h"
#include "rf_reader_base.h"

namespace vemlasdknative {

// The board's bit-rate code for each rate byte of the reader mode array.
inline constexpr int kBoardRates[7] = {0, 1, 2, 3, 4, 5, 6};

class BoardReader : public RfReaderBase {
  public:
    static constexpr std::int32_t kMaxTransmit = 268;
    static constexpr std::int32_t kMaxReceive = 260;
    // SetMode's results: set up, not set up, board gone.
    static constexpr byte_t kModeSet = 0;
    static constexpr byte_t kModeFailed = 3;
    static constexpr byte_t kModeBoardGone = 6;
    // Tags the ISO 14443-A and ISO 15693 inventories report at most.
    static constexpr int kMaxInventoryTags = 20;

    bool Connect() override;
    bool IsConnected() override { return boardHandle() != nullptr; }
    void Disconnect() override;
    bool GetFirmwareVersion(char* text) override;
    byte_t SetMode(byte_t* mode) override;
    int selectTag(byte_t* uid, byte_t length) override;
    int deselectTag(byte_t* uid) override;
    ReaderStatus SendReqA(Buffer* rx) override;
    ReaderStatus SendWupA(Buffer* rx) override;
    ReaderStatus SendHltA(Buffer* rx) override;
    ReaderStatus SendEof(Buffer* rx) override;
    ReaderStatus Transceive14443a(byte_t frameMode, const Buffer& tx, Buffer* rx) override;
    ReaderStatus Transceive(const Buffer& tx, Buffer* rx) override;
    ReaderStatus Transceive(const Buffer& tx, byte_t pcd, Buffer* rx) override;
    int GetMaxTransmitLengthInBytes() override { return max_tx_buffer; }
    int GetMaxReceiveLengthInBytes() override { return max_rx_buffer; }
    void Inventory(std::vector<Uid>& uids) override;
    void SetInventoryAlgo(byte_t* /*algo*/) override {}
    int DllTxRx(const Buffer& tx, byte_t* rx) override;
    int DllKestoCmd(const Buffer& /*cmd*/, byte_t* /*out*/) override { return 0; }
    std::int8_t CheckAnswer(std::int8_t /*cmdCode*/, byte_t* /*reply*/) override { return 0; }
    std::int8_t GetCollisionPos(std::uint8_t* /*bytePos*/, std::uint8_t* /*bitPos*/) override { return 0; }

    const int* speed_14443 = kBoardRates;
    bool mAppendCrc = false;

  protected:
    // What a board operation counts as when its entry is missing or there is
    // no board to send it to: a failure (IOError in the board's numbering).
    static constexpr int kNotCalled = 3;

    BoardReader();

    // The board's status of an operation on the open board.
    template <typename F, typename... A> int call(F entry, A... arguments) {
        KXx0HANDLE board = boardHandle();
        if (entry == nullptr || board == nullptr) return kNotCalled;
        return static_cast<int>(entry(board, arguments...));
    }
    // The open board's handle, null when none, and the library's module.
    virtual KXx0HANDLE& boardHandle() = 0;
    virtual HMODULE& moduleHandle() = 0;
    // ISO 15693 set-up: the status the steps start from, given what the RF
    // layer's initialisation gave.
    virtual int prepare15693(int initialised) { return initialised; }
    // Whether the ISO 15693 inventory asks a single slot before sixteen.
    virtual bool oneSlotFirst() const { return false; }

    // The firmware version as one value (major << 16, minor << 8, patch);
    // false when the board does not report it.
    bool firmwareVersion(std::uint32_t& version);
    // Whether the board has stopped answering (never when that cannot be asked).
    bool boardGone();

  private:
    byte_t setModeFailed();
    byte_t setUpIso15693(int err, const byte_t* mode);
    byte_t setUpIso14443(int err, const byte_t* mode, std::uint8_t boardMode, std::uint32_t listenDelay);
    // A transfer's end: no answer (rx length 0), then DISCONNECTED when the
    // board is gone, else DEFAULT_ERROR.
    ReaderStatus transferFailed(Buffer* rx);
    // The board's status of a transfer whose `received` bytes are in rx.
    ReaderStatus transferDone(int status, int received, Buffer* rx, bool acceptIncomplete);
    ReaderStatus blockingTransfer(const Buffer& tx, Buffer* rx, std::uint32_t flags, std::uint32_t fwt,
                                  bool acceptIncomplete);
    ReaderStatus transceiveIso14443a(const Buffer& tx, Buffer* rx);
    void inventoryIso14443a(std::vector<Uid>& uids);
    void inventoryIso15693(std::vector<Uid>& uids);
};

} // namespace vemlasdknative

#endif
