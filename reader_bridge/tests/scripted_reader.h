// A scripted reader for the bridge's paths the dongle cannot reach yet: each
// operation answers what the test set and records what it was handed. Tests
// make it the current reader (`vemlasdknative::handle`) and clear it again.
#ifndef KESTOREADER_TESTS_SCRIPTED_READER_H
#define KESTOREADER_TESTS_SCRIPTED_READER_H

#include "rf_reader_base.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestoreader_test {

using vemlasdknative::Buffer;
using vemlasdknative::byte_t;
using vemlasdknative::RfReaderBase;

class ScriptedReader : public RfReaderBase {
  public:
    using Bytes = std::vector<byte_t>;

    // Script.
    ReaderStatus status = TRANSFER_OK; // every transfer's result
    Bytes received;                    // copied to the start of rx
    int reportedLength = -2;           // rx length after a transfer; -2 keeps the caller's
    int maxTransmit = 500;
    int maxReceive = 500;
    byte_t modeResult = 1;
    int selectResult = 0;
    std::vector<Bytes> tags; // what an inventory finds
    std::string version = "";
    std::string firmware = "1.2.3";

    // Record.
    std::vector<std::string> calls; // operation names in call order
    Bytes lastTx;
    byte_t lastFrameMode = 0;
    int lastRxCapacity = -1;
    Bytes lastMode; // the four mode bytes
    Bytes lastAlgo; // the two algorithm bytes
    Bytes lastUid;  // the UID bytes handed to select (length as passed)
    int lastUidLength = -1;

    bool Connect() override;
    bool CheckVersion(char* text) override;
    bool IsConnected() override;
    void Disconnect() override;
    const char* GetName() override { return "Scripted"; }
    bool GetFirmwareVersion(char* text) override;
    byte_t SetMode(byte_t* mode) override;
    int selectTag(byte_t* uid, byte_t length) override;
    int deselectTag(byte_t* uid) override;
    ReaderStatus SendReqA(Buffer* rx) override { return receive("SendReqA", rx); }
    ReaderStatus SendWupA(Buffer* rx) override { return receive("SendWupA", rx); }
    ReaderStatus SendHltA(Buffer* rx) override { return receive("SendHltA", rx); }
    ReaderStatus SendEof(Buffer* rx) override { return receive("SendEof", rx); }
    ReaderStatus Transceive14443a(byte_t frameMode, const Buffer& tx, Buffer* rx) override;
    ReaderStatus Transceive(const Buffer& tx, Buffer* rx) override;
    ReaderStatus Transceive(const Buffer& tx, byte_t pcd, Buffer* rx) override;
    int GetMaxTransmitLengthInBytes() override { return maxTransmit; }
    int GetMaxReceiveLengthInBytes() override { return maxReceive; }
    void Inventory(std::vector<Uid>& uids) override;
    void SetInventoryAlgo(byte_t* algo) override;
    int DllTxRx(const Buffer& /*tx*/, byte_t* /*rx*/) override { return 0; }
    int DllKestoCmd(const Buffer& /*cmd*/, byte_t* /*out*/) override { return 0; }
    std::int8_t CheckAnswer(std::int8_t /*cmdCode*/, byte_t* /*reply*/) override { return 0; }
    std::int8_t GetCollisionPos(std::uint8_t* /*bytePos*/, std::uint8_t* /*bitPos*/) override { return 0; }

  private:
    ReaderStatus receive(const char* name, Buffer* rx);
};

// Makes a reader current for one test and clears it again.
class CurrentReader {
  public:
    explicit CurrentReader(RfReaderBase* reader) { vemlasdknative::handle = reader; }
    ~CurrentReader() { vemlasdknative::handle = nullptr; }
    CurrentReader(const CurrentReader&) = delete;
    CurrentReader& operator=(const CurrentReader&) = delete;
};

} // namespace kestoreader_test

#endif
