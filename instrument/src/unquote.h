// Quoted texts in replies.
#ifndef ZRB_UNQUOTE_H
#define ZRB_UNQUOTE_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zrb {

// Reads the quoted text at the start of `text`. Two quotes in a row give one;
// a quote followed by anything but a comma or the end stays pending while the
// characters after it are copied. The text ends at the first comma (or the end)
// while a quote is pending, and `stop` is set to that comma's index (or to
// text.size()). Nothing when `text` does not begin with a quote or has no
// closing quote.
std::optional<std::string> unquote_str(std::string_view text, std::size_t* stop);

} // namespace zrb

#endif
