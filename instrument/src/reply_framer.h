// Collects the bytes of one reply line as they arrive.
#ifndef ZRB_REPLY_FRAMER_H
#define ZRB_REPLY_FRAMER_H

#include <cstddef>
#include <string>

namespace zrb {

class ReplyFramer {
  public:
    // Appends one received segment.
    void append(const char* data, std::size_t size) { buffer_.append(data, size); }
    // The reply is complete when, after a segment, the buffer holds more than
    // two bytes and ends in CR LF. A lone CR LF is not a reply: the line that
    // follows completes it.
    bool complete() const;
    // The reply text: the buffer without its final CR LF, ending at the first
    // NUL. Empties the framer.
    std::string take();
    std::size_t size() const { return buffer_.size(); }

  private:
    std::string buffer_;
};

} // namespace zrb

#endif
