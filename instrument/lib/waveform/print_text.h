// The readable print text of a waveform, for logs, consoles and traces.
#ifndef ZRB_WAVEFORM_PRINT_TEXT_H
#define ZRB_WAVEFORM_PRINT_TEXT_H

#include <string>

class Waveform;

namespace zrb {

// "[amp: %d; dur: %.0f; abs: %.0f] " per element (signed amplitude, stored
// duration and absolute time in the base unit). With a non-zero `limit` below
// the element count only the first `limit` elements are shown, followed by
// "...{n more}". Throws on failure.
std::string printText(const Waveform& waveform, unsigned limit);

} // namespace zrb

#endif
