// The data memory of a reader or function unit: one zero-initialised field per
// parameter identifier, and the configuration image of 14-byte blocks that
// identifiers with first field 2 address. One mutex guards the memory and, for a
// reader, its tables and records; it is a leaf and never held across a call into
// another library.
#ifndef VKDM_DATA_MEMORY_H
#define VKDM_DATA_MEMORY_H

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vkdm {

constexpr int kBlockSize = 14;
constexpr int kImageBlocks = 64;
constexpr std::size_t kMaxIdLength = 127;
constexpr unsigned kImageArea = 2; // first field of a configuration identifier

struct ParamId {
    std::array<std::uint32_t, 7> fields{};
    int count() const { return static_cast<int>(fields[4]); }
    bool inImage() const { return fields[0] == kImageArea; }
};

// Parses an identifier: 0 and `out`, or kBadIdentifier.
int parseParamId(const char* text, ParamId& out);

class DataMemory {
  public:
    // A field's bytes (count of them) or a code; `out` receives the whole field.
    int read(const char* id, std::vector<std::uint8_t>& out);
    // Replaces the field's first bytes with `data` and zeroes the rest; a code
    // and nothing written when `data` is longer than the field.
    int write(const char* id, const std::uint8_t* data, std::size_t length);
    // The field as a big-endian number (64 bits); kValueDoesNotFit when wider.
    int readNumber(const char* id, std::uint64_t& value);
    // Stores the low bytes of `value` big-endian in the whole field.
    int writeNumber(const char* id, std::uint64_t value);

    // Configuration image.
    int readImage(int address, std::uint8_t* out, int count);
    std::vector<std::uint8_t> image();
    // Replaces the image; marks every block changed when `changed`.
    void setImage(const std::vector<std::uint8_t>& image, bool changed);
    // Copies the image into `image` and gives the blocks changed since the last
    // call (every block when `all`), which then count as unchanged.
    std::vector<int> takeChanged(std::vector<std::uint8_t>& image, bool all);
    // Marks blocks changed again (those a failed write did not reach).
    void markChanged(const std::vector<int>& blocks);

    std::mutex& lock() { return mutex_; }

  private:
    // Field storage for a parsed id; null when it is an image id outside the image.
    int fieldLocked(const ParamId& id, std::uint8_t*& data);

    std::mutex mutex_;
    std::map<std::array<std::uint32_t, 7>, std::vector<std::uint8_t>> fields_;
    std::vector<std::uint8_t> image_ = std::vector<std::uint8_t>(kImageBlocks * kBlockSize, 0);
    std::array<bool, kImageBlocks> changed_{};
};

} // namespace vkdm

#endif
