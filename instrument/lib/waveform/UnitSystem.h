// The unit table of a waveform: time units by id, each with its factor to the
// base unit (the first one defined). Unit 0 is the nanosecond.
#ifndef ZRB_WAVEFORM_UNIT_SYSTEM_H
#define ZRB_WAVEFORM_UNIT_SYSTEM_H

#include <vector>

namespace UnitSystem {

struct Unit {
    int id;
    double factor; // how many base units one unit of this id is
};

class Units {
  public:
    // Appends `unit` with factor 1. Called on an empty table it makes `unit`
    // the base unit.
    void DefineUnit(int unit);
    // One `unit` is `value` units of `reference`. Defines `reference` as the base
    // on an empty table; replaces the factor of an existing `unit` (units defined
    // earlier from it keep theirs). Throws std::range_error for an undefined
    // reference and for the base unit (which keeps factor 1), leaving the table
    // as it was.
    void DefineUnit(double value, int unit, int reference);
    // The factor that turns a value in `from` units into `to` units: 1 for equal
    // ids, even undefined ones. Throws std::range_error for an undefined id.
    double ConvertUnit(int from, int to) const;
    // The first entry; throws std::range_error on an empty table.
    const UnitSystem::Unit& BaseUnit() const;
    // The entry of unit 0; throws std::range_error if it is missing.
    const UnitSystem::Unit& Unit() const;
    // The entry of `id`, or nullptr.
    const UnitSystem::Unit* GetUnitPtr(int id) const;

  private:
    UnitSystem::Unit* find(int id);
    std::vector<UnitSystem::Unit> units_;
};

} // namespace UnitSystem

#endif
