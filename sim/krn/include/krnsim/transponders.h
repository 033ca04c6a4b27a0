// The tags a reader knows of, in table order, and the 0xB0 commands that reach them.
#ifndef KRNSIM_TRANSPONDERS_H
#define KRNSIM_TRANSPONDERS_H

#include <krnsim/reply.h>

#include <array>

namespace krnsim {

using Uid = std::array<std::uint8_t, 8>;

struct Tag {
    Uid uid{};
    std::uint8_t type = 0;
    std::uint8_t blockSize = 4;    // 1 to 32
    std::uint16_t blockCount = 16; // 1 to 256
    Bytes blocks;                  // blockSize x blockCount bytes; empty means all zero
    bool readOnly = false;
    bool inField = true;
};

// Not synchronised: the reader guards it with its state lock.
class TransponderTable {
  public:
    // Throws std::invalid_argument for a bad block layout or a UID already present.
    void add(Tag tag);
    // Throws std::invalid_argument when no tag has this UID.
    void remove(const Uid& uid);
    void setInField(const Uid& uid, bool inField);
    void clear() { tags_.clear(); }
    const Tag* find(const Uid& uid) const;
    const std::vector<Tag>& tags() const { return tags_; }

    // Answers the request data of command 0xB0.
    Answer isoCommand(ByteView request);

  private:
    Tag& at(const Uid& uid);
    Tag* select(std::uint8_t flags, ByteView request, std::size_t& at);
    Answer inventory(ByteView request) const;
    Answer read(ByteView request);
    Answer write(ByteView request);

    std::vector<Tag> tags_;
};

// Status bytes of the 0xB0 answers.
namespace iso_status {
inline constexpr std::uint8_t kNoTag = 0x01;
inline constexpr std::uint8_t kReadOnly = 0x03;
inline constexpr std::uint8_t kOutOfRange = 0x04;
inline constexpr std::uint8_t kSizeMismatch = 0x11;
inline constexpr std::uint8_t kLength = 0x81;
inline constexpr std::uint8_t kUnknownMode = 0x86;
} // namespace iso_status

} // namespace krnsim

#endif
