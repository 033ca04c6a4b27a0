// What the two evaluation-board readers share: the rate table and every
// operation, which the board library's operations will carry. Until that
// library is bound a board reader never connects and every operation fails.
#ifndef KESTOREADER_BOARD_READER_H
#define KESTOREADER_BOARD_READER_H

#include "rf_reader_base.h"

namespace vemlasdknative {

// The board's bit-rate code for each rate byte of the reader mode array.
inline constexpr int kBoardRates[7] = {0, 1, 2, 3, 4, 5, 6};

class BoardReader : public RfReaderBase {
  public:
    static constexpr std::int32_t kMaxTransmit = 268;
    static constexpr std::int32_t kMaxReceive = 260;
    // What SetMode answers when the mode was not set up.
    static constexpr byte_t kModeFailed = 3;

    bool Connect() override { return false; }
    bool CheckVersion(char* /*text*/) override { return false; }
    bool IsConnected() override { return boardHandle() != nullptr; }
    void Disconnect() override { boardHandle() = nullptr; }
    bool GetFirmwareVersion(char* /*text*/) override { return false; }
    byte_t SetMode(byte_t* /*mode*/) override { return kModeFailed; }
    int selectTag(byte_t* /*uid*/, byte_t /*length*/) override { return kIso14443aError; }
    int deselectTag(byte_t* /*uid*/) override { return kIso14443aError; }
    ReaderStatus SendReqA(Buffer* /*rx*/) override { return DEFAULT_ERROR; }
    ReaderStatus SendWupA(Buffer* /*rx*/) override { return DEFAULT_ERROR; }
    ReaderStatus SendHltA(Buffer* /*rx*/) override { return DEFAULT_ERROR; }
    ReaderStatus SendEof(Buffer* /*rx*/) override { return DEFAULT_ERROR; }
    ReaderStatus Transceive14443a(byte_t /*frameMode*/, const Buffer& /*tx*/, Buffer* /*rx*/) override {
        return DEFAULT_ERROR;
    }
    ReaderStatus Transceive(const Buffer& /*tx*/, Buffer* /*rx*/) override { return DEFAULT_ERROR; }
    ReaderStatus Transceive(const Buffer& /*tx*/, byte_t /*pcd*/, Buffer* /*rx*/) override {
        return DEFAULT_ERROR;
    }
    int GetMaxTransmitLengthInBytes() override { return max_tx_buffer; }
    int GetMaxReceiveLengthInBytes() override { return max_rx_buffer; }
    void Inventory(std::vector<Uid>& /*uids*/) override {}
    void SetInventoryAlgo(byte_t* /*algo*/) override {}
    int DllTxRx(const Buffer& /*tx*/, byte_t* /*rx*/) override { return 0; }
    int DllKestoCmd(const Buffer& /*cmd*/, byte_t* /*out*/) override { return 0; }
    std::int8_t CheckAnswer(std::int8_t /*cmdCode*/, byte_t* /*reply*/) override { return 0; }
    std::int8_t GetCollisionPos(std::uint8_t* /*bytePos*/, std::uint8_t* /*bitPos*/) override { return 0; }

    const int* speed_14443 = kBoardRates;
    bool mAppendCrc = false;

  protected:
    BoardReader() {
        max_tx_buffer = kMaxTransmit;
        max_rx_buffer = kMaxReceive;
    }
    // The open board's handle, null when none.
    virtual void*& boardHandle() = 0;
};

} // namespace vemlasdknative

#endif
