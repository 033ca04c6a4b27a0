#include "Waveform.h"

#include "byte_sink.h"
#include "vcd_writer.h"
#include "waveform_log.h"

#include <limits>
#include <stdexcept>

namespace {

bool holds(const Waveform::Element& element, double time) {
    return element.absTime <= time && time < element.absTime + element.duration;
}

[[noreturn]] void outOfRange(const Waveform& waveform, double time, double range) {
    ZRB_LOG(zrb::kWaveformLog, ZLOG_LEVEL_ERROR,
            "Can't get element of %s (%p) at time %.0fns : out of waveform range %.0fns",
            waveform.Name().c_str(), static_cast<const void*>(&waveform), time, range);
    throw std::out_of_range("Can't get element out of waveform range");
}

} // namespace

Waveform::Waveform(std::string_view name) : name_(name) {
    ZRB_LOG(zrb::kWaveformLog, ZLOG_LEVEL_DEBUG, "Created Waveform \"%s\" %p", name_.c_str(),
            static_cast<const void*>(this));
}

Waveform::~Waveform() {
    ZRB_LOG(zrb::kWaveformLog, ZLOG_LEVEL_DEBUG, "Deleting Waveform \"%s\" %p", name_.c_str(),
            static_cast<const void*>(this));
}

std::unique_ptr<Waveform> Waveform::create(std::string_view name) {
    auto waveform = std::make_unique<Waveform>(name);
    waveform->units_.DefineUnit(0);
    return waveform;
}

double Waveform::ToNanoseconds() const {
    return units_.ConvertUnit(units_.BaseUnit().id, 0);
}

void Waveform::Append(int amplitude, double duration, int unit) {
    AppendBase(amplitude, duration * units_.ConvertUnit(unit, units_.BaseUnit().id));
}

void Waveform::AppendBase(int amplitude, double duration) {
    if (elements_.empty()) {
        elements_.push_back({startTime_, duration, amplitude});
        return;
    }
    Element& last = elements_.back();
    if (last.amplitude == amplitude) {
        last.duration += duration;
        return;
    }
    elements_.push_back({last.absTime + last.duration, duration, amplitude});
}

const Waveform::Element& Waveform::GetElement(long long index) const {
    if (index < 0 || static_cast<unsigned long long>(index) >= elements_.size())
        throw std::out_of_range("invalid vector<T> subscript");
    return elements_[static_cast<std::size_t>(index)];
}

Waveform::Found Waveform::Get(double time) const {
    for (std::size_t i = 0; i < elements_.size(); ++i)
        if (holds(elements_[i], time)) return {&elements_[i], i};
    outOfRange(*this, time, Duration());
}

void Waveform::Get(std::span<const double> times, Element* out) const {
    std::size_t element = 0;
    for (const double time : times) {
        while (element < elements_.size() && !holds(elements_[element], time))
            ++element;
        if (element == elements_.size()) outOfRange(*this, time, EndTime());
        *out++ = elements_[element];
    }
}

void Waveform::Remove(long long index) {
    if (index < 0 || static_cast<unsigned long long>(index) >= elements_.size())
        throw std::out_of_range("invalid vector<T> subscript");
    elements_.erase(elements_.begin() + static_cast<std::ptrdiff_t>(index));
}

void Waveform::Clear() {
    ZRB_LOG(zrb::kWaveformLog, ZLOG_LEVEL_TRACE, "Enter %s", "Waveform::Clear");
    elements_.clear();
    ZRB_LOG(zrb::kWaveformLog, ZLOG_LEVEL_INFO, "Cleared Waveform %s", name_.c_str());
    ZRB_LOG(zrb::kWaveformLog, ZLOG_LEVEL_TRACE, "Leave %s", "Waveform::Clear");
}

double Waveform::Duration() const {
    if (elements_.empty()) return 0.0;
    const Element& last = elements_.back();
    return last.absTime + last.duration - elements_.front().absTime;
}

double Waveform::EndTime() const {
    if (elements_.empty()) return startTime_;
    const Element& last = elements_.back();
    return last.absTime + last.duration;
}

std::unique_ptr<Waveform> Waveform::Extract(double begin, double end, bool clip) const {
    if (begin > end) throw std::invalid_argument("TimeBegin is higher than TimeEnd");
    auto extract = create(name_ + " (extract)");
    for (const Element& element : elements_) {
        if (element.absTime >= end) break;
        const double elementEnd = element.absTime + element.duration;
        if (elementEnd <= begin) continue;
        double start = element.absTime;
        double length = element.duration;
        if (clip) {
            if (begin > start) {
                length -= begin - start;
                start = begin;
            }
            if (elementEnd > end) length -= elementEnd - end;
        }
        if (extract->elements_.empty()) extract->startTime_ = start;
        extract->AppendBase(element.amplitude, length);
    }
    return extract;
}

void Waveform::Apply(void (*function)(int*)) {
    for (std::size_t i = 0; i < elements_.size(); ++i)
        function(&elements_[i].amplitude);
}

void Waveform::LowPassFilter(unsigned frequency) {
    const double minimum = frequency == 0 ? std::numeric_limits<double>::infinity()
                                          : 1e9 / frequency * units_.ConvertUnit(0, units_.BaseUnit().id);
    const std::size_t before = elements_.size();
    std::erase_if(elements_,
                  [&](const Element& element) { return frequency == 0 || element.duration < minimum; });
    ZRB_LOG(zrb::kWaveformLog, ZLOG_LEVEL_INFO, "Discarded elements with duration < %'.0f (%d -> %d)",
            minimum, static_cast<int>(before), static_cast<int>(elements_.size()));
}

void Waveform::DumpVcd(const std::string& fileName) const {
    zrb::FileSink sink(fileName);
    zrb::writeSingleVcd(*this, sink);
    sink.close();
    ZRB_LOG(zrb::kWaveformLog, ZLOG_LEVEL_INFO, "Dumped %d waveform 0x%p data \"%s\" in VCD file \"%s\"",
            static_cast<int>(elements_.size()), static_cast<const void*>(this), name_.c_str(),
            fileName.c_str());
}
