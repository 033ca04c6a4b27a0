// Building and inspecting waveforms through the library's exports, for tests.
#ifndef ZRB_TESTS_WAVEFORM_TEST_SUPPORT_H
#define ZRB_TESTS_WAVEFORM_TEST_SUPPORT_H

#include <Zorbel.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace zrbtest {

struct WaveformDeleter {
    void operator()(Waveform* waveform) const { ZRB_WaveformDelete(waveform); }
};
using WaveformPtr = std::unique_ptr<Waveform, WaveformDeleter>;

// An element as the exports give it: (absolute time, duration, amplitude).
struct Element {
    double absTime;
    double duration;
    int amplitude;
    bool operator==(const Element&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Element& element) {
    return out << '(' << element.absTime << ", " << element.duration << ", " << element.amplitude << ')';
}

// A new waveform with (amplitude, duration in ns) appended in order.
inline WaveformPtr makeWaveform(const std::vector<std::pair<int, double>>& steps, const char* name = "w") {
    WaveformPtr waveform(ZRB_WaveformNew(name));
    for (const auto& [amplitude, duration] : steps)
        if (ZRB_WaveformAppend(waveform.get(), amplitude, duration, 0) != 0) return nullptr;
    return waveform;
}

inline std::vector<Element> elementsOf(const Waveform* waveform) {
    std::vector<Element> elements;
    const int count = ZRB_WaveformElements(waveform);
    for (int i = 0; i < count; ++i) {
        Element element{};
        ZRB_WaveformGetElement(waveform, i, &element.amplitude, &element.duration, &element.absTime);
        elements.push_back(element);
    }
    return elements;
}

inline std::string elementText(const Waveform* waveform) {
    char* text = nullptr;
    if (ZRB_WaveformDumpElements(waveform, &text) != 0) return "<failed>";
    std::string copy(text);
    std::free(text);
    return copy;
}

} // namespace zrbtest

#endif
