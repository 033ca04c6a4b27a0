#include "vcd_writer.h"

#include "number_format.h"
#include "Waveform.h"

#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace zrb {

namespace {

constexpr std::string_view kHeader = "$timescale\n1ns\n$end\n";

// "b" and the eight bits of each byte value, most significant first.
struct BitTexts {
    std::array<std::array<char, 9>, 256> texts{};
    constexpr BitTexts() {
        for (unsigned value = 0; value < 256; ++value) {
            texts[value][0] = 'b';
            for (unsigned bit = 0; bit < 8; ++bit)
                texts[value][1 + bit] = (value >> (7 - bit)) & 1U ? '1' : '0';
        }
    }
};
constexpr BitTexts kBitTexts;

std::string_view valueText(int amplitude) {
    const auto& text = kBitTexts.texts[static_cast<unsigned>(amplitude) & 0xFFU];
    return {text.data(), text.size()};
}

// Where one waveform of a pair dump stands.
struct Cursor {
    const Waveform::Element* current; // == last when there is no current element
    const Waveform::Element* last;
    bool ended;
    double endTime;
    char identifier;

    bool hasCurrent() const { return current != last; }
};

constexpr double kNoBound = std::numeric_limits<double>::max();

// The earliest change at or before `bound` (ties: the later cursor); lowers
// `bound` to its time. -1 when there is none.
int choose(const std::vector<Cursor>& cursors, double& bound, bool& ends) {
    int chosen = -1;
    for (std::size_t i = 0; i < cursors.size(); ++i) {
        const Cursor& cursor = cursors[i];
        if (cursor.hasCurrent()) {
            if (cursor.current->absTime <= bound) {
                chosen = static_cast<int>(i);
                bound = cursor.current->absTime;
                ends = false;
            }
        } else if (cursor.ended && cursor.endTime <= bound) {
            chosen = static_cast<int>(i);
            bound = cursor.endTime;
            ends = true;
        }
    }
    return chosen;
}

} // namespace

void writeSingleVcd(const Waveform& waveform, ByteSink& sink) {
    sink.put(kHeader);
    sink.put("$var reg 8 ! ");
    sink.put(waveform.Name());
    sink.put(" $end\n$enddefinitions $end\n$dumpvars\n");
    // Each element: "b" + 8 bits + " !\n#" + time + "\n", formatted in place.
    constexpr std::size_t kBits = 9;
    constexpr std::string_view kMiddle = " !\n#";
    constexpr std::size_t kLineRoom = kBits + kMiddle.size() + kRoundedTextSize + 1;
    double time = 0.0;
    for (const Waveform::Element& element : waveform.Elements()) {
        char* out = sink.reserve(kLineRoom);
        std::memcpy(out, valueText(element.amplitude).data(), kBits);
        std::memcpy(out + kBits, kMiddle.data(), kMiddle.size());
        time += element.duration;
        std::size_t n = kBits + kMiddle.size();
        n += formatRounded(time, out + n);
        out[n++] = '\n';
        sink.commit(n);
    }
    sink.put("bx !\n");
}

void writePairVcd(std::span<const Waveform* const> waveforms, ByteSink& sink) {
    sink.put(kHeader);
    std::vector<Cursor> cursors;
    cursors.reserve(waveforms.size());
    double bound = kNoBound;
    for (std::size_t i = 0; i < waveforms.size(); ++i) {
        const char identifier = static_cast<char>(35 + i);
        const auto& elements = waveforms[i]->Elements();
        cursors.push_back({elements.data(), elements.data() + elements.size(), false, 0.0, identifier});
        if (!elements.empty()) bound = elements.front().absTime;
        sink.put("$var reg 8 ");
        sink.put(identifier);
        sink.put(' ');
        sink.put(waveforms[i]->Name());
        sink.put(" $end\n");
    }
    sink.put("$enddefinitions $end\n");
    if (!waveforms.empty()) sink.put("$dumpvars\n");

    for (;;) {
        bool ends = false;
        int chosen = choose(cursors, bound, ends);
        if (chosen < 0) {
            // Nothing starts by the end of the change just written: a gap. Go on
            // with the earliest change of any waveform.
            bound = kNoBound;
            chosen = choose(cursors, bound, ends);
            if (chosen < 0) break;
        }
        Cursor& cursor = cursors[static_cast<std::size_t>(chosen)];
        // "#" + time + " " + value + " " + identifier + "\n", formatted in place.
        char* out = sink.reserve(1 + kRoundedTextSize + 1 + 9 + 3);
        out[0] = '#';
        std::size_t n = 1 + formatRounded(bound, out + 1);
        out[n++] = ' ';
        // Both value texts fit in the nine bytes copied; "bx" advances by two.
        static constexpr char kUndefined[9] = {'b', 'x'};
        std::memcpy(out + n, ends ? kUndefined : valueText(cursor.current->amplitude).data(), 9);
        n += ends ? 2 : 9;
        out[n++] = ' ';
        out[n++] = cursor.identifier;
        out[n++] = '\n';
        sink.commit(n);
        if (ends) {
            cursor.ended = false;
            bound = kNoBound;
        } else {
            bound = cursor.current->absTime + cursor.current->duration;
            if (++cursor.current == cursor.last) {
                cursor.ended = true;
                cursor.endTime = bound;
            }
        }
    }
}

} // namespace zrb
