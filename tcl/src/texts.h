// The library's own texts: error codes, reader status ("DLQ") texts and the
// names of its operations.
#ifndef VKTCL_TEXTS_H
#define VKTCL_TEXTS_H

#include <cstddef>
#include <string_view>

namespace vktcl {

struct CodeText {
    int code;
    std::string_view text;
};

inline constexpr std::size_t kErrorTextCount = 69;
inline constexpr std::size_t kCallerNameCount = 27;

// The whole error table, in its order.
const CodeText* errorTable();
// The text of one of the library's own codes, or an empty view.
std::string_view ownErrorText(int code);
// The caller name with this number, or an empty view.
std::string_view callerName(int number);

// Copies `text` and a terminator into a 256-byte buffer, cut to fit.
void copyText(char* out, std::string_view text);

} // namespace vktcl

#endif
