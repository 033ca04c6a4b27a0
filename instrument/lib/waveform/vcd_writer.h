// The two VCD forms, written as pure functions of the model into a byte sink.
#ifndef ZRB_WAVEFORM_VCD_WRITER_H
#define ZRB_WAVEFORM_VCD_WRITER_H

#include "byte_sink.h"

#include <span>

class Waveform;

namespace zrb {

// One waveform: its values in order, each time stamp the running sum of the
// stored durations from 0, then "bx".
void writeSingleVcd(const Waveform& waveform, ByteSink& sink);

// Several waveforms side by side: every value change at its stored absolute
// time, identifiers '#', '$', ... in order, "bx" at each waveform's end. At
// equal times the later waveform comes first. A gap in one waveform holds its
// value until its next element.
void writePairVcd(std::span<const Waveform* const> waveforms, ByteSink& sink);

} // namespace zrb

#endif
