#include "unquote.h"

namespace zrb {

std::optional<std::string> unquote_str(std::string_view text, std::size_t* stop) {
    if (text.empty() || text.front() != '"') return std::nullopt;
    std::string result;
    result.reserve(text.size() - 1);
    bool quotePending = false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ',' && quotePending) {
            if (stop != nullptr) *stop = i;
            return result;
        }
        if (c == '"') {
            if (quotePending) result.push_back('"');
            quotePending = !quotePending;
        } else {
            result.push_back(c);
        }
    }
    if (!quotePending) return std::nullopt;
    if (stop != nullptr) *stop = text.size();
    return result;
}

} // namespace zrb
