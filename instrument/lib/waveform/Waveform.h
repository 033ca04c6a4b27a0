// The level of one digital line over time: a sequence of elements, each an
// amplitude held for a duration, with its own unit table. Times and durations
// are stored in the base unit; unit 0, the nanosecond, is the base of every
// waveform the library creates.
#ifndef ZRB_WAVEFORM_WAVEFORM_H
#define ZRB_WAVEFORM_WAVEFORM_H

#include "UnitSystem.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class Waveform {
  public:
    struct Element {
        double absTime;
        double duration;
        int amplitude;
    };
    struct Found {
        const Element* element;
        std::size_t index;
    };

    // A waveform with an empty unit table; see create() for the usual start.
    explicit Waveform(std::string_view name);
    ~Waveform();
    Waveform(const Waveform&) = delete;
    Waveform& operator=(const Waveform&) = delete;

    // A new empty waveform with unit 0 defined as its base.
    static std::unique_ptr<Waveform> create(std::string_view name);

    const std::string& Name() const { return name_; }
    double StartTime() const { return startTime_; }
    const std::vector<Element>& Elements() const { return elements_; }
    std::size_t Count() const { return elements_.size(); }
    UnitSystem::Units& Units() { return units_; }
    const UnitSystem::Units& Units() const { return units_; }

    // The factor from the base unit to nanoseconds (unit 0).
    double ToNanoseconds() const;

    // Appends `duration` given in `unit`; merges into the last element when the
    // amplitude is the same. Zero and negative durations are kept as given.
    void Append(int amplitude, double duration, int unit);
    // The same with a duration already in the base unit.
    void AppendBase(int amplitude, double duration);

    // The element at `index`; std::out_of_range outside [0, count).
    const Element& GetElement(long long index) const;
    // The first element with absTime <= time < absTime + duration (stored
    // values); std::out_of_range when none holds it.
    Found Get(double time) const;
    // For ascending `times`, copies the element holding each one into `out`, in
    // one pass. std::out_of_range when the elements run out; slots filled until
    // then stay filled.
    void Get(std::span<const double> times, Element* out) const;

    // Removes the element at `index`; later elements keep their times, so a gap
    // opens. std::out_of_range outside [0, count), nothing changed.
    void Remove(long long index);
    // Removes every element; name, start time and units stay.
    void Clear();

    // Last end minus first start, in the base unit; 0 when empty.
    double Duration() const;
    // The end of the last element, or the start time when empty; base unit.
    double EndTime() const;

    // A new waveform named Name() + " (extract)" with the elements that overlap
    // [begin, end), cut to it when `clip` is set. std::invalid_argument when
    // begin > end.
    std::unique_ptr<Waveform> Extract(double begin, double end, bool clip) const;

    // Calls `function` with each element's amplitude in turn; no merging follows.
    void Apply(void (*function)(int*));

    // Removes the elements shorter than the period of `frequency` Hz; every
    // element for 0 Hz. Times are kept and neighbours are not merged.
    void LowPassFilter(unsigned frequency);

    // Writes the single-waveform VCD to `fileName`; std::system_error when the
    // file cannot be opened or written.
    void DumpVcd(const std::string& fileName) const;

  private:
    std::vector<Element> elements_;
    double startTime_ = 0.0;
    std::string name_;
    UnitSystem::Units units_;
};

#endif
