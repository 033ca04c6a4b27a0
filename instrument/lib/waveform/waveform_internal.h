// What the rest of the library (command set, I2C, wire test mode) uses of the
// waveform code besides the exported functions:
//   - writeElementText / readElementText (element_text.h): the text sent to and
//     read from the instrument; a capture is read under the name "WaveformOut";
//   - printText (print_text.h): traces of waveforms;
//   - Waveforms and its DumpVcd (Waveforms.h): the captured line pair as VCD;
//   - WaveformGetAtTimes below.
#ifndef ZRB_WAVEFORM_INTERNAL_H
#define ZRB_WAVEFORM_INTERNAL_H

#include "element_text.h"
#include "print_text.h"
#include "Waveform.h"
#include "Waveforms.h"

namespace zrb {

// The name under which a waveform read from an instrument reply is created.
inline constexpr const char* kCapturedWaveformName = "WaveformOut";

} // namespace zrb

// For `count` ascending `times` (in the base unit), copies the element holding
// each one into `out`, in one pass: 0, or 14 when one is not found (the slots
// filled until then stay filled) or `waveform` is NULL. No times: 0.
int WaveformGetAtTimes(const Waveform* waveform, const double* times, int count, Waveform::Element* out);

#endif
