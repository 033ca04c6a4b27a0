#include "waveform_internal.h"

#include "export_guard.h"
#include "result_code.h"

int WaveformGetAtTimes(const Waveform* waveform, const double* times, int count, Waveform::Element* out) {
    if (waveform == nullptr) return zrb::kWaveformException;
    if (count <= 0) return zrb::kOk;
    if (times == nullptr || out == nullptr) return zrb::kWaveformException;
    return zrb::guarded(zrb::kWaveformException, [&] {
        waveform->Get(std::span<const double>(times, static_cast<std::size_t>(count)), out);
        return zrb::kOk;
    });
}
