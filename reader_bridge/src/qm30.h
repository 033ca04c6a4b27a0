// The QM30 dongle as a reader: connection, firmware version, protocol selection
// and the bridge from byte buffers to the hex-string command interface.
#ifndef KESTOREADER_QM30_H
#define KESTOREADER_QM30_H

#include "rf_reader_base.h"

#include <kestoreader/qm30_dll.h>

#include <cstdint>

namespace vemlasdknative {

class HidManager;

class Qm30 : public RfReaderBase {
  public:
    enum DllCommand { DLL_TXRX = 0, DLL_SELECT = 1, DLL_KESTOCMD = 2 };
    enum Qm30Protocol { QM30_RF_OFF = 0, QM30_ISO15693 = 1, QM30_ISO14443A = 2, QM30_ISO14443QB = 3 };

    // The protocol-select payload in its three layouts (bit 0 is the least
    // significant bit of byte 1).
    union SelectCmd {
        struct Iso15693SelectParam {
            std::uint8_t protocol;
            std::uint8_t app_crc : 1, dual_subcarrier : 1, mod10 : 1, wait_sof : 1, speed : 2, rfu : 2;
        } iso15693;
        struct Iso14443ASelectParam {
            std::uint8_t protocol;
            std::uint8_t rfu : 4, rx_data_rate : 2, tx_data_rate : 2;
            std::uint8_t PP, MM, DD;
        } iso14443a;
        struct Iso14443QbSelectParam {
            std::uint8_t protocol;
            std::uint8_t app_crc : 1, rfu : 3, rx_data_rate : 2, tx_data_rate : 2;
            std::uint8_t PP, MM, DD, TTTT, YY, ZZ;
        } iso14443qb;
        std::uint8_t mode[2];
    };

    // The most answer bytes SendDllCmd can produce: the longest reply text of
    // the command interface, two digits per byte. DllTxRx and DllKestoCmd write
    // up to this many bytes into their output.
    static constexpr int kAnswerBytes = static_cast<int>((QM30_REPLY_TEXT_SIZE - 1) / 2);
    // Size of each of the two scratch buffers.
    static constexpr int kScratchBytes = 1000;
    static constexpr int kMaxLength = 500;
    // Tags one firmware inventory reports at most: 9-byte entries after the
    // result, length and count bytes in an area of 160 bytes.
    static constexpr int kInventoryArea = 160;
    static constexpr int kMaxInventoryTags = 17;

    Qm30();
    ~Qm30() override;

    bool Connect() override;
    bool CheckVersion(char* text) override;
    bool IsConnected() override { return connected; }
    void Disconnect() override;
    const char* GetName() override { return "Qm30"; }
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
    int GetMaxTransmitLengthInBytes() override { return kMaxLength; }
    int GetMaxReceiveLengthInBytes() override { return kMaxLength; }
    void Inventory(std::vector<Uid>& uids) override;
    void SetInventoryAlgo(byte_t* algo) override;
    int DllTxRx(const Buffer& tx, byte_t* rx) override;
    int DllKestoCmd(const Buffer& cmd, byte_t* out) override;
    std::int8_t CheckAnswer(std::int8_t cmdCode, byte_t* reply) override;
    std::int8_t GetCollisionPos(std::uint8_t* bytePos, std::uint8_t* bitPos) override;

    // Frames through the transceiver's send-and-receive command, answers
    // decoded by protocol (qm30_frames.cpp). A 14443-A frame gets `flag`
    // appended unless it is 0 (then its last byte is its own flag).
    ReaderStatus SendReceive14443A(const Buffer& tx, byte_t flag, Buffer* rx);
    ReaderStatus SendReceive14443B(const Buffer& tx, Buffer* rx);
    ReaderStatus SendReceive15693(const Buffer& tx, Buffer* rx);
    // The controller's ISO 15693 inventory {2, 0xA0, 1, parameter}: its answer
    // {result, length, tag count, 9-byte entries...} into `rx`, at most
    // `capacity` bytes, their number into `received` when given.
    ReaderStatus SendInventoryCmdQm30(byte_t* rx, int capacity, byte_t parameter, int* received = nullptr);

    int DllSelect(const byte_t* cmd, int length, byte_t* out, int capacity);
    // The command bytes as hex text to the command interface's function chosen by
    // `which`; the reply text back as bytes into `out` (at most `capacity`):
    // byte 0 the transceiver's result code, byte 1 the length, then the data, or
    // an error text's code. A failed command whose reply text holds no byte
    // leaves 0xFF in byte 0, which no classification accepts. Returns the number
    // of bytes written.
    int SendDllCmd(HidManager* manager, const byte_t* cmd, int length, byte_t* out, int capacity,
                   DllCommand which);
    // The reply-text scratch area, zeroed.
    char* GetRxBuffer();

    HidManager* hid_handle = nullptr;
    const int* speed_14443 = nullptr;
    Buffer* rx_buffer = nullptr;
    Buffer* tx_buffer = nullptr;
    std::uint8_t byte_collision = 0;
    std::uint8_t bit_collision = 0;
    bool connected = false;

  private:
    void firmwareInventory15693(std::vector<Uid>& uids);
};

} // namespace vemlasdknative

#endif
