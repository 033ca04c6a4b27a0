// The one table of codes and their English and German texts (UTF-8).
#ifndef VKTCP_ERROR_TEXTS_H
#define VKTCP_ERROR_TEXTS_H

#include <cstddef>
#include <span>

namespace vktcp {

struct ErrorTextRow {
    int code;
    const char* english;
    const char* german;
};

// Every code with a text, in ascending order of magnitude.
std::span<const ErrorTextRow> errorTextTable();

// Size of a buffer that holds every text this library writes, terminator included.
inline constexpr std::size_t kErrorTextBufferSize = 256;

// Writes the text of `code` in `language` (7 German, 9 English) into `out`.
// Returns false for a code without a row: `out` then holds the formatted
// unknown-code text.
bool formatErrorText(int code, int language, char (&out)[kErrorTextBufferSize]);

} // namespace vktcp

#endif
