// Captured SCL and SDA lines come from the instrument unchecked: whatever they
// hold, decoding a fixed frame's windows from them gives 0, 1 or 14 and reads
// nothing outside a waveform. Input: one byte whose low bit turns the capture
// filter on, then the SCL element text, a '|', and the SDA element text.
#include "element_text.h"
#include "i2c_internal.h"

#include <Zorbel.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// S, A0, 10, Sr, A1, two read bytes (one stretched), P at 400 kHz.
const ZRB_I2cStimuli& frame() {
    static ZRB_I2cStimuli* const stimuli = [] {
        ZRB_I2cStimuli* made = ZRB_I2cStimuliAllocate(400000);
        const uint8_t address[] = {0xA0, 0x10};
        const int32_t acks[] = {0, 1};
        const ZRB_I2cClockStretch stretches[] = {{3, 0, 0.5}, {8, 1, 1.0}};
        if (ZRB_I2cStimuliAppendStart(made, 0) != 0 ||
            ZRB_I2cStimuliAppendWriteBytes(made, address, 2) != 0 ||
            ZRB_I2cStimuliAppendStart(made, 1) != 0 || ZRB_I2cStimuliAppendWriteByte(made, 0xA1) != 0 ||
            ZRB_I2cStimuliAppendReadBytes(made, acks, 2, stretches, 2) != 0 ||
            ZRB_I2cStimuliAppendStop(made) != 0)
            __builtin_trap();
        return made;
    }();
    return *stimuli;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool filter = (data[0] & 1) != 0;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t bar = rest.find('|');
    if (bar == std::string::npos) return 0;
    std::unique_ptr<Waveform> scl;
    std::unique_ptr<Waveform> sda;
    try {
        scl = zrb::readElementText("WaveformOut", std::string_view(rest).substr(0, bar));
        sda = zrb::readElementText("WaveformOut", std::string_view(rest).substr(bar + 1));
    } catch (...) {
        return 0;
    }
    const ZRB_I2cStimuli& stimuli = frame();
    if (filter) {
        if (zrb::i2c::filterCapture(*scl, stimuli.frequencyHz) != 0) __builtin_trap();
        if (zrb::i2c::filterCapture(*sda, stimuli.frequencyHz) != 0) __builtin_trap();
    }
    uint8_t bytes[2] = {};
    uint8_t acks[3] = {};
    for (const int result : {zrb::i2c::decodeReadBytes(*scl, *sda, stimuli.readWindows, bytes),
                             zrb::i2c::decodeAcks(*scl, *sda, stimuli.writeWindows, acks)})
        if (result != 0 && result != 1 && result != 14) __builtin_trap();
    return 0;
}
