// The element text that carries waveforms to and from the instrument:
// "amplitude;duration;amplitude;duration...", durations in nanoseconds.
#ifndef ZRB_WAVEFORM_ELEMENT_TEXT_H
#define ZRB_WAVEFORM_ELEMENT_TEXT_H

#include <memory>
#include <string>
#include <string_view>

class Waveform;

namespace zrb {

// The element text of `waveform`: each amplitude as an unsigned 32-bit
// decimal, each duration in unit 0 rounded to an integer, no terminator.
// Throws on failure (allocation, unit table); a caller sending it then sends
// nothing.
std::string writeElementText(const Waveform& waveform);

// A new waveform named `name`, unit 0 as base, start time 0, with the elements
// of `text` appended by the merge rule. Fields are split at ';' as a line reader
// gives them: an empty field reads as 0, a trailing ';' ends the text, an
// amplitude without its duration is dropped. An empty text gives an empty
// waveform. Throws on failure.
std::unique_ptr<Waveform> readElementText(std::string_view name, std::string_view text);

// The amplitude field: a strtol-style decimal (leading blanks, sign, digits,
// saturated to 64 bits) keeping its low 32 bits, so every amplitude the writer
// makes reads back unchanged.
int readAmplitude(std::string_view field);

// The duration field as atof reads it in the C locale: leading blanks, partial
// text, hexadecimal, "inf" and "nan" forms; no number reads as 0.
double readDuration(std::string_view field);

} // namespace zrb

#endif
