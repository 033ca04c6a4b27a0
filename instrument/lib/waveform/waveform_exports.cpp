// The exported waveform functions: check the arguments, call the model, turn
// every exception into the function's failure result.
#include "element_text.h"
#include "export_guard.h"
#include "print_text.h"
#include "result_code.h"
#include "Waveform.h"
#include "Waveforms.h"

#include <Zorbel.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr int kFailed = zrb::kWaveformException;

// A copy of `text` in memory from malloc, for the caller to free.
char* mallocCopy(const std::string& text) {
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

} // namespace

extern "C" {

ZRB_API Waveform* ZRB_WaveformNew(const char* name) {
    if (name == nullptr) return nullptr;
    return zrb::guarded<Waveform*>(nullptr, [&] { return Waveform::create(name).release(); });
}

ZRB_API void ZRB_WaveformDelete(Waveform* waveform) {
    delete waveform;
}

ZRB_API int ZRB_WaveformElements(const Waveform* waveform) {
    if (waveform == nullptr) return -1;
    return static_cast<int>(waveform->Count());
}

ZRB_API int ZRB_WaveformGetNbElements(const Waveform* waveform) {
    if (waveform == nullptr) return -1;
    ZRB_Errno = zrb::kOk;
    return static_cast<int>(waveform->Count());
}

ZRB_API int ZRB_WaveformGetElement(const Waveform* waveform, int index, int* amplitude, double* duration,
                                   double* absoluteTime) {
    if (waveform == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        const Waveform::Element& element = waveform->GetElement(index);
        const double toNanoseconds = waveform->ToNanoseconds();
        if (amplitude != nullptr) *amplitude = element.amplitude;
        if (duration != nullptr) *duration = element.duration * toNanoseconds;
        if (absoluteTime != nullptr) *absoluteTime = element.absTime * toNanoseconds;
        return zrb::kOk;
    });
}

ZRB_API int ZRB_WaveformGetAtTime(const Waveform* waveform, double time, int* amplitude, double* duration,
                                  double* absoluteTime, int* index) {
    if (waveform == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        const Waveform::Found found = waveform->Get(time);
        const double toNanoseconds = waveform->ToNanoseconds();
        if (amplitude != nullptr) *amplitude = found.element->amplitude;
        if (duration != nullptr) *duration = found.element->duration * toNanoseconds;
        if (absoluteTime != nullptr) *absoluteTime = found.element->absTime * toNanoseconds;
        if (index != nullptr) *index = static_cast<int>(found.index);
        return zrb::kOk;
    });
}

ZRB_API int ZRB_WaveformAppend(Waveform* waveform, int amplitude, double duration, int unit) {
    if (waveform == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        waveform->Append(amplitude, duration, unit);
        return zrb::kOk;
    });
}

ZRB_API int ZRB_WaveformRemove(Waveform* waveform, int index) {
    if (waveform == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        waveform->Remove(index);
        return zrb::kOk;
    });
}

ZRB_API int ZRB_WaveformClear(Waveform* waveform) {
    if (waveform == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        waveform->Clear();
        return zrb::kOk;
    });
}

ZRB_API int ZRB_WaveformDefineUnit(Waveform* waveform, int unit, double value, int referenceUnit) {
    if (waveform == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        waveform->Units().DefineUnit(value, unit, referenceUnit);
        return zrb::kOk;
    });
}

ZRB_API int ZRB_WaveformExtract(const Waveform* waveform, Waveform** out, double begin, double end,
                                unsigned char clip) {
    if (waveform == nullptr || out == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        *out = waveform->Extract(begin, end, clip != 0).release();
        return zrb::kOk;
    });
}

ZRB_API int ZRB_WaveformDuration(const Waveform* waveform, double* duration) {
    constexpr int kDurationFailed = 1;
    if (waveform == nullptr || duration == nullptr) return kDurationFailed;
    return zrb::guarded(kDurationFailed, [&] {
        *duration = waveform->Duration() * waveform->ToNanoseconds();
        return zrb::kOk;
    });
}

ZRB_API double ZRB_WaveformGetEndTime(const Waveform* waveform) {
    if (waveform == nullptr) return -1.0;
    return zrb::guarded(-1.0, [&] { return waveform->EndTime() * waveform->ToNanoseconds(); });
}

ZRB_API int ZRB_WaveformApply(Waveform* waveform, void (*function)(int* amplitude)) {
    if (waveform == nullptr || function == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        waveform->Apply(function);
        return zrb::kOk;
    });
}

ZRB_API int ZRB_WaveformLowPassFilter(Waveform* waveform, unsigned int frequency) {
    if (waveform == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        waveform->LowPassFilter(frequency);
        return zrb::kOk;
    });
}

ZRB_API int ZRB_WaveformPrint(const Waveform* waveform, FILE* stream, unsigned int limit) {
    if (waveform == nullptr || stream == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        const std::string text = zrb::printText(*waveform, limit);
        return std::fprintf(stream, "%s\n", text.c_str()) < 0 ? kFailed : zrb::kOk;
    });
}

ZRB_API char* ZRB_WaveformDumpString(const Waveform* waveform, unsigned int limit) {
    if (waveform == nullptr) return nullptr;
    return zrb::guarded<char*>(nullptr, [&] { return mallocCopy(zrb::printText(*waveform, limit)); });
}

ZRB_API int ZRB_WaveformDumpElements(const Waveform* waveform, char** out) {
    if (waveform == nullptr || out == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        *out = mallocCopy(zrb::writeElementText(*waveform));
        return zrb::kOk;
    });
}

ZRB_API Waveform* ZRB_WaveformNewFromStr(const char* name, const char* text) {
    if (name == nullptr || text == nullptr) return nullptr;
    return zrb::guarded<Waveform*>(nullptr, [&] { return zrb::readElementText(name, text).release(); });
}

ZRB_API int ZRB_WaveformDumpVcd(const Waveform* waveform, const char* fileName) {
    if (waveform == nullptr || fileName == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        waveform->DumpVcd(fileName);
        return zrb::kOk;
    });
}

ZRB_API int ZRB_WaveformsDumpVcd2(const Waveform* first, const Waveform* second, const char* fileName) {
    if (first == nullptr || second == nullptr || fileName == nullptr) return kFailed;
    return zrb::guarded(kFailed, [&] {
        Waveforms({first, second}).DumpVcd(fileName);
        return zrb::kOk;
    });
}

} // extern "C"
