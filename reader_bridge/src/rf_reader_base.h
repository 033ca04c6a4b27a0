// The reader model every reader of the bridge implements: byte buffers, tags
// found by an inventory, the transfer statuses, the radio protocols, and the
// single current reader the Java natives drive.
#ifndef KESTOREADER_RF_READER_BASE_H
#define KESTOREADER_RF_READER_BASE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vemlasdknative {

using byte_t = std::uint8_t;

// Room for a version text the readers write (CheckVersion, GetFirmwareVersion):
// at most kVersionTextSize - 1 characters and the closing zero.
inline constexpr std::size_t kVersionTextSize = 260;

// The one error status of the ISO 14443-A routines (select, deselect).
inline constexpr int kIso14443aError = 97;

// Bytes on the heap with a count of the valid ones. For a receive buffer the
// caller sets `length` to the capacity and the reader overwrites it with the
// number of bytes received. Copies are deep: each Buffer owns its bytes.
class Buffer {
  public:
    Buffer() = default;
    // n zeroed bytes; a negative n gives none.
    explicit Buffer(std::int32_t n);
    ~Buffer();
    Buffer(const Buffer& other);
    Buffer(Buffer&& other) noexcept;
    Buffer& operator=(const Buffer& other);
    Buffer& operator=(Buffer&& other) noexcept;

    // Bytes allocated (the capacity `length` starts at).
    std::int32_t capacity() const { return capacity_; }
    void Dump() const {}
    void Dump(const char* /*text*/) const {}

    byte_t* buf = nullptr;
    std::int32_t length = 0;

  private:
    std::int32_t capacity_ = 0;
};

class RfReaderBase {
  public:
    enum ReaderStatus : std::uint32_t {
        TRANSFER_OK = 0,
        CRC_ERROR = 1,
        COLLISION_DETECTED = 2,
        DEFAULT_ERROR = 3,
        ACK = 4,
        NACK = 5,
        DISCONNECTED = 6,
    };

    enum IsoProtocol : std::uint32_t {
        FIELD_OFF = 0,
        ISO15693 = 1,
        ISO14443A = 2,
        ISO14443B = 3,
    };

    // One tag an inventory found: its UID bytes on the heap. Copies are deep.
    struct Uid {
        Uid() = default;
        Uid(const byte_t* bytes, std::int32_t n);
        ~Uid();
        Uid(const Uid& other);
        Uid(Uid&& other) noexcept;
        Uid& operator=(const Uid& other);
        Uid& operator=(Uid&& other) noexcept;

        byte_t* id = nullptr;
        std::int32_t length = 0;
    };

    RfReaderBase() = default;
    RfReaderBase(const RfReaderBase&) = delete;
    RfReaderBase& operator=(const RfReaderBase&) = delete;

    byte_t pcd_params[10] = {};
    bool append_crc = false;
    std::int32_t max_tx_buffer = 0;
    std::int32_t max_rx_buffer = 0;
    IsoProtocol selected_protocol = FIELD_OFF;
    bool inventory15693AlgoSw = true;
    bool inventory14443aAlgoSw = true;
    bool inventory14443bAlgoSw = true;
    byte_t inventory15693AlgoParams = 0;
    byte_t inventory14443aAlgoParams = 0;
    byte_t inventory14443bAlgoParams = 0;

    virtual bool Connect() = 0;
    virtual bool CheckVersion(char* text) = 0;
    virtual bool IsConnected() = 0;
    virtual void Disconnect() = 0;
    virtual const char* GetName() = 0;
    virtual bool GetFirmwareVersion(char* text) = 0;
    virtual byte_t SetMode(byte_t* mode) = 0;
    virtual int selectTag(byte_t* uid, byte_t length) = 0;
    virtual int deselectTag(byte_t* uid) = 0;
    virtual ReaderStatus SendReqA(Buffer* rx) = 0;
    virtual ReaderStatus SendWupA(Buffer* rx) = 0;
    virtual ReaderStatus SendHltA(Buffer* rx) = 0;
    virtual ReaderStatus SendEof(Buffer* rx) = 0;
    virtual ReaderStatus Transceive14443a(byte_t frameMode, const Buffer& tx, Buffer* rx) = 0;
    virtual ReaderStatus Transceive(const Buffer& tx, Buffer* rx) = 0;
    virtual ReaderStatus Transceive(const Buffer& tx, byte_t pcd, Buffer* rx) = 0;
    virtual int GetMaxTransmitLengthInBytes() = 0;
    virtual int GetMaxReceiveLengthInBytes() = 0;
    virtual void Inventory(std::vector<Uid>& uids) = 0;
    virtual void SetInventoryAlgo(byte_t* algo) = 0;
    virtual int DllTxRx(const Buffer& tx, byte_t* rx) = 0;
    virtual int DllKestoCmd(const Buffer& cmd, byte_t* out) = 0;
    virtual std::int8_t CheckAnswer(std::int8_t cmdCode, byte_t* reply) = 0;
    virtual std::int8_t GetCollisionPos(std::uint8_t* bytePos, std::uint8_t* bitPos) = 0;
    // The bridge destroys readers through this base.
    virtual ~RfReaderBase();

    // The reader mode array (four bytes: protocol, two rate or option bytes,
    // append CRC) and what its bytes mean. The callers hand in four bytes.
    IsoProtocol GetProtocol(const byte_t* mode) const { return static_cast<IsoProtocol>(mode[0]); }
    bool param15693_use_fast_rx_data_rate(const byte_t* mode) const { return mode[1] != 0; }
    bool param15693_use_1_of_256(const byte_t* mode) const { return mode[2] != 0; }
    bool SetCrcMode(const byte_t* mode) const { return mode[3] != 0; }
    byte_t params14443_tx_data_rate(const byte_t* mode) const { return mode[1]; }
    byte_t params14443_rx_data_rate(const byte_t* mode) const { return mode[2]; }
};

// The current reader, null while none is connected. The bridge owns it.
extern RfReaderBase* handle;

} // namespace vemlasdknative

#endif
