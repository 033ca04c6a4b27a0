// The built-in behaviour of the reader: what it answers when no script or
// handler takes a request. Not synchronised: the reader guards it with its state lock.
#ifndef KRNSIM_READER_MODEL_H
#define KRNSIM_READER_MODEL_H

#include <krnsim/transponders.h>

#include <map>
#include <tuple>

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

    // Fixed read-outs of 0x65, 0x31, 0x74 and 0x75; other commands throw std::invalid_argument.
    void setReadOut(std::uint8_t command, Bytes data);
    // The read-out of 0x66 for one mode.
    void setReaderInfo(std::uint8_t mode, Bytes data);
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

    std::map<std::uint8_t, Bytes> readOuts_;
    std::map<std::uint8_t, Bytes> readerInfo_;
    std::array<ConfBlock, 256> confBlocks_{};
    std::map<std::uint8_t, ConfBlock> savedBlocks_;
    std::map<ConfigKey, Bytes> configurations_; // [count][size][blocks]
    Bytes timer_ = Bytes(4, 0);
    Bytes date_ = Bytes(9, 0);
    Bytes noiseLevels_ = Bytes(6, 0);
    TransponderTable transponders_;
};

} // namespace krnsim

#endif
