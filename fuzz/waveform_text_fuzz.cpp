// Element texts come from the instrument and from callers unchecked: any bytes
// give a waveform or NULL. A waveform read back from its own element text gives
// the same text again, and every other form can be written from it.
#include "byte_sink.h"
#include "element_text.h"
#include "print_text.h"
#include "vcd_writer.h"

#include <Zorbel.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string dumpElements(const Waveform* waveform) {
    char* text = nullptr;
    if (ZRB_WaveformDumpElements(waveform, &text) != 0) __builtin_trap();
    std::string copy(text);
    std::free(text);
    return copy;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    Waveform* waveform = ZRB_WaveformNewFromStr("fuzz", input.c_str());
    if (waveform == nullptr) return 0;

    const std::string dump = dumpElements(waveform);
    Waveform* reread = ZRB_WaveformNewFromStr("again", dump.c_str());
    if (reread == nullptr) __builtin_trap();
    if (dumpElements(reread) != dump) __builtin_trap();
    if (ZRB_WaveformElements(reread) != ZRB_WaveformElements(waveform)) __builtin_trap();

    (void)zrb::printText(*waveform, 0);
    (void)zrb::printText(*waveform, 3);
    zrb::StringSink single;
    zrb::writeSingleVcd(*waveform, single);
    const Waveform* const pair[] = {waveform, reread};
    zrb::StringSink both;
    zrb::writePairVcd(pair, both);
    if (single.text().empty() || both.text().empty()) __builtin_trap();

    ZRB_WaveformDelete(reread);
    ZRB_WaveformDelete(waveform);
    return 0;
}
