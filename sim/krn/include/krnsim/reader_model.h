// The built-in behaviour of the reader: what it answers when no script or
// handler takes a request. Not synchronised: the reader guards it with its state lock.
#ifndef KRNSIM_READER_MODEL_H
#define KRNSIM_READER_MODEL_H

#include <krnsim/transponders.h>

#include <deque>
#include <map>
#include <tuple>
#include <utility>

namespace krnsim {

namespace reader_status {
inline constexpr std::uint8_t kOk = 0x00;
inline constexpr std::uint8_t kUnknownCommand = 0x80;
inline constexpr std::uint8_t kLength = 0x81;
inline constexpr std::uint8_t kNotAvailable = 0x82;
} // namespace reader_status

class ReaderModel {
  public:
    ReaderModel();

    Answer answer(std::uint8_t command, ByteView data);

    // Fixed read-outs of 0x65, 0x31, 0x6E, 0x74, 0x75 and 0x76; other commands
    // throw std::invalid_argument.
    void setReadOut(std::uint8_t command, Bytes data);
    // Data buffer: a record queued for 0x21 and 0x22, handed out oldest first;
    // 0x32 and 0x33 empty the buffer.
    void queueBufferRecord(Bytes record);
    std::size_t bufferRecords() const { return bufferRecords_.size(); }
    // The head of 0x21 and 0x22 replies: one byte, or two when bit 7 of the first
    // is set (0x21 sends the first byte only). Throws std::invalid_argument for
    // another length.
    void setBufferHead(Bytes head);
    // 0x68: the reply byte j of a channel analysis is 0x80 + j (mod 256).
    static std::uint8_t channelAnalysisByte(std::size_t j) { return static_cast<std::uint8_t>(0x80 + j); }
    // The read-out of 0x66 for one mode.
    void setReaderInfo(std::uint8_t mode, Bytes data);
    // The read-out of 0x66 for one mode; empty when none is set.
    Bytes readerInfo(std::uint8_t mode) const;
    TransponderTable& transponders() { return transponders_; }
    const TransponderTable& transponders() const { return transponders_; }

    static constexpr std::size_t kConfBlockSize = 14;
    static Bytes defaultVersion();
    // The read-out of 0x66 mode 0, 13 bytes: software version (2), development
    // version, hardware type, reader type, transponder types (2), receive and
    // transmit buffer sizes (2 each, big-endian, at bytes 7 and 9), UHF
    // transponder types (2).
    static Bytes defaultReaderInfo();

  private:
    using ConfBlock = std::array<std::uint8_t, kConfBlockSize>;
    using ConfigKey = std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>;

    Answer modelAnswer(std::uint8_t command, ByteView data);
    // Up to `wanted` records from the front of the buffer, concatenated, and
    // their count.
    std::pair<Bytes, std::size_t> takeRecords(std::size_t wanted, std::size_t room);

    std::map<std::uint8_t, Bytes> readOuts_;
    std::map<std::uint8_t, Bytes> readerInfo_;
    std::array<ConfBlock, 256> confBlocks_{};
    std::map<std::uint8_t, ConfBlock> savedBlocks_;
    std::map<ConfigKey, Bytes> configurations_; // [count][size][blocks]
    Bytes timer_ = Bytes(4, 0);
    Bytes date_ = Bytes(9, 0);
    Bytes noiseLevels_ = Bytes(6, 0);
    TransponderTable transponders_;
    std::deque<Bytes> bufferRecords_;
    Bytes bufferHead_ = Bytes{0x00};
};

} // namespace krnsim

#endif
