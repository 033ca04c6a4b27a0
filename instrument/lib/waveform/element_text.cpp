#include "element_text.h"

#include "number_format.h"
#include "Waveform.h"

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <stdexcept>

namespace zrb {

namespace {

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) throw std::runtime_error("No C locale");
    return locale;
}

// Splits at ';' the way a line reader with that delimiter does: a read fails
// only when nothing is left.
class FieldReader {
  public:
    explicit FieldReader(std::string_view text) : text_(text) {}
    bool next(std::string_view& field) {
        if (position_ >= text_.size()) return false;
        const std::size_t end = std::min(text_.find(';', position_), text_.size());
        field = text_.substr(position_, end - position_);
        position_ = end + 1;
        return true;
    }

  private:
    std::string_view text_;
    std::size_t position_ = 0;
};

} // namespace

int readAmplitude(std::string_view field) {
    std::size_t i = 0;
    while (i < field.size() && isBlank(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    // The magnitude saturates where a 64-bit strtol does: 2^63 - 1, or 2^63 for
    // a negative value.
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    std::uint64_t magnitude = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(field[i] - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    const std::uint64_t value = negative ? ~magnitude + 1 : magnitude;
    return static_cast<int>(static_cast<std::uint32_t>(value));
}

double readDuration(std::string_view field) {
    // strtod needs a terminated text; a field longer than this buffer is read
    // from a copy on the heap.
    char local[64];
    std::string heap;
    const char* text;
    if (field.size() < sizeof local) {
        field.copy(local, field.size());
        local[field.size()] = '\0';
        text = local;
    } else {
        heap.assign(field);
        text = heap.c_str();
    }
    return strtod_l(text, nullptr, cLocale());
}

std::string writeElementText(const Waveform& waveform) {
    const double toNanoseconds = waveform.ToNanoseconds();
    std::string text;
    text.reserve(waveform.Count() * 12);
    char number[kRoundedTextSize];
    bool first = true;
    for (const Waveform::Element& element : waveform.Elements()) {
        if (!first) text += ';';
        first = false;
        text.append(number, formatUnsigned(static_cast<std::uint32_t>(element.amplitude), number));
        text += ';';
        text.append(number, formatRounded(element.duration * toNanoseconds, number));
    }
    return text;
}

std::unique_ptr<Waveform> readElementText(std::string_view name, std::string_view text) {
    auto waveform = Waveform::create(name);
    FieldReader fields(text);
    std::string_view field;
    while (fields.next(field)) {
        const int amplitude = readAmplitude(field);
        if (!fields.next(field)) break;
        waveform->Append(amplitude, readDuration(field), 0);
    }
    return waveform;
}

} // namespace zrb
