// Appending text to a fixed buffer: what does not fit is cut, the text always
// ends in a NUL, and nothing is written past the buffer.
#ifndef VKKRN_TEXT_WRITER_H
#define VKKRN_TEXT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vkkrn {

class TextWriter {
  public:
    // `capacity` counts the NUL; it must be at least 1.
    TextWriter(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {
        buffer_[0] = '\0';
    }

    void put(std::string_view text);
    void putInt(int value);
    // "%02X " per byte.
    void putHexByte(std::uint8_t byte);

    const char* text() const { return buffer_; }
    std::size_t size() const { return size_; }
    bool cut() const { return cut_; }

  private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    bool cut_ = false;
};

} // namespace vkkrn

#endif
