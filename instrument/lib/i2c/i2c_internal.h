// The I2C part's own forms, for its tests and fuzz target: the stimuli object
// with its windows and timings, and the decode of a captured line pair.
#ifndef ZRB_I2C_INTERNAL_H
#define ZRB_I2C_INTERNAL_H

#include "Waveform.h"

#include <Zorbel.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace zrb::i2c {

// Where the device drives SDA: the acknowledge bit of a written byte, or the
// eight data bits of a read byte. Nanoseconds on the stimuli's time line.
struct AckWindow {
    double BeginNs;
    double EndNs;
};

} // namespace zrb::i2c

struct ZRB_I2cStimuli {
    std::unique_ptr<Waveform> scl;
    std::unique_ptr<Waveform> sda;
    std::uint32_t frequencyHz = 0;
    std::vector<zrb::i2c::AckWindow> writeWindows;
    std::vector<zrb::i2c::AckWindow> readWindows;
    std::uint32_t references = 0;   // transactions holding this stimuli
    std::vector<double> bitTimings; // SCL rising edge of every byte bit
};

namespace zrb::i2c {

// One byte per read window into `bytes`, decoded from the captures cut to the
// window: SCL low at each bit start, SDA sampled at the rising edge, the high
// level skipped. 0; 1 when SCL is high where a bit starts; 14 when a time or
// element lies outside the captures. Bytes decoded before a failure stay.
int decodeReadBytes(const Waveform& scl, const Waveform& sda, std::span<const AckWindow> windows,
                    std::uint8_t* bytes);

// Per write window, the SDA level at the rising SCL edge of its acknowledge
// bit into `acks`. 0; 1 when SCL is high at a window's start; 14 as above.
int decodeAcks(const Waveform& scl, const Waveform& sda, std::span<const AckWindow> windows,
               std::uint8_t* acks);

// Makes a waveform contiguous: each element runs to the next one's start (the
// first from the waveform's start time), equal neighbours merge, and every
// level change keeps its time.
void makeContiguous(Waveform& waveform);

// What the capture filter does to a fetched capture: drops the levels shorter
// than a tenth of the bit period, then makes the rest contiguous. 0 or 14.
int filterCapture(Waveform& capture, std::uint32_t busFrequencyHz);

// The minimum level duration the capture filter keeps, as the frequency the
// waveform filter takes: 10 x the bus frequency, saturated to 32 bits.
unsigned captureFilterFrequency(std::uint32_t busFrequencyHz);

} // namespace zrb::i2c

#endif
