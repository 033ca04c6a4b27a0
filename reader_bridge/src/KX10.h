// The first evaluation board as a reader. It drives the board through the
// board library's operations; until that library is bound it never connects.
#ifndef KESTOREADER_KX10_H
#define KESTOREADER_KX10_H

#include "rf_reader_base.h"

namespace vemlasdknative {

class kx10 : public RfReaderBase {
  public:
    static constexpr std::int32_t kMaxTransmit = 268;
    static constexpr std::int32_t kMaxReceive = 260;

    kx10();
    ~kx10() override = default;

    bool Connect() override { return false; }
    bool CheckVersion(char* /*text*/) override { return false; }
    bool IsConnected() override { return kx10_handle != nullptr; }
    void Disconnect() override { kx10_handle = nullptr; }
    const char* GetName() override { return "KX10B-EVALO"; }
    bool GetFirmwareVersion(char* /*text*/) override { return false; }
    byte_t SetMode(byte_t* /*mode*/) override { return DEFAULT_ERROR; }
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

    void* kx10_handle = nullptr;
    void* kx10_dllHandle = nullptr;
    const int* speed_14443 = nullptr;
    bool mAppendCrc = false;
};

} // namespace vemlasdknative

#endif
