#include "reply_framer.h"

namespace zrb {

bool ReplyFramer::complete() const {
    const std::size_t n = buffer_.size();
    return n > 2 && buffer_[n - 2] == '\r' && buffer_[n - 1] == '\n';
}

std::string ReplyFramer::take() {
    const bool endsInLine = complete();
    std::string text = std::move(buffer_);
    buffer_.clear();
    if (endsInLine) text.resize(text.size() - 2);
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

} // namespace zrb
