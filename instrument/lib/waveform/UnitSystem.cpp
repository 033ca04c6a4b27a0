#include "UnitSystem.h"

#include "waveform_log.h"

#include <stdexcept>

namespace UnitSystem {

UnitSystem::Unit* Units::find(int id) {
    for (auto& unit : units_)
        if (unit.id == id) return &unit;
    return nullptr;
}

const UnitSystem::Unit* Units::GetUnitPtr(int id) const {
    ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_TRACE, "Enter %s", "UnitSystem::Units::GetUnitPtr");
    const UnitSystem::Unit* found = nullptr;
    for (const auto& unit : units_)
        if (unit.id == id) {
            found = &unit;
            break;
        }
    ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_TRACE, "Leave %s", "UnitSystem::Units::GetUnitPtr");
    return found;
}

void Units::DefineUnit(int unit) {
    units_.push_back({unit, 1.0});
    ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_INFO, "Define conversion unit %d as base unit of %p", unit,
            static_cast<const void*>(this));
}

void Units::DefineUnit(double value, int unit, int reference) {
    ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_TRACE, "Enter %s", "UnitSystem::Units::DefineUnit");
    // Stored times are in base units, read with the base's factor as 1: a base
    // of another size would change every stored time and every conversion.
    const int base = units_.empty() ? reference : units_.front().id;
    if (unit == base) {
        ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_ERROR, "Can't DefineUnit: Unit %d is the base unit of %p", unit,
                static_cast<const void*>(this));
        throw std::range_error("Can't DefineUnit: the base unit keeps its factor");
    }
    if (units_.empty()) DefineUnit(reference);
    const double factor = value * ConvertUnit(reference, BaseUnit().id);
    if (UnitSystem::Unit* existing = find(unit)) {
        existing->factor = factor;
        ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_INFO,
                "ReDefine conversion unit %d with conversion factor %f to base unit of %p", unit, factor,
                static_cast<const void*>(this));
    } else {
        units_.push_back({unit, factor});
        ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_INFO,
                "Define conversion unit %d with conversion factor %f to base unit of %p", unit, factor,
                static_cast<const void*>(this));
    }
    ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_TRACE, "Leave %s", "UnitSystem::Units::DefineUnit");
}

double Units::ConvertUnit(int from, int to) const {
    ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_TRACE, "Enter %s", "UnitSystem::Units::ConvertUnit");
    if (from == to) {
        ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_TRACE, "Leave %s", "UnitSystem::Units::ConvertUnit");
        return 1.0;
    }
    const UnitSystem::Unit* source = GetUnitPtr(from);
    if (source == nullptr) {
        ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_ERROR,
                "Can't ConvertUnit: (From) Unit %d has NOT been defined in %p", from,
                static_cast<const void*>(this));
        throw std::range_error("Can't ConvertUnit: Undefined unit");
    }
    const UnitSystem::Unit* target = GetUnitPtr(to);
    if (target == nullptr) {
        ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_ERROR,
                "Can't ConvertUnit: (To) Unit %d has NOT been defined in %p", to,
                static_cast<const void*>(this));
        throw std::range_error("Can't ConvertUnit: Undefined unit");
    }
    const double factor = source->factor / target->factor;
    ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_DEBUG, "Conversion factor from #%d to #%d is %f in %p", from, to,
            factor, static_cast<const void*>(this));
    ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_TRACE, "Leave %s", "UnitSystem::Units::ConvertUnit");
    return factor;
}

const UnitSystem::Unit& Units::BaseUnit() const {
    if (units_.empty()) {
        ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_ERROR, "Base Unit has NOT been defined for %p",
                static_cast<const void*>(this));
        throw std::range_error("Base Unit is undefined");
    }
    return units_.front();
}

const UnitSystem::Unit& Units::Unit() const {
    const UnitSystem::Unit* unit = GetUnitPtr(0);
    if (unit == nullptr) {
        ZRB_LOG(zrb::kQuantityLog, ZLOG_LEVEL_ERROR, "Can't fetch Unit: Unit %d has NOT been defined in %p",
                0, static_cast<const void*>(this));
        throw std::range_error("Can't fetch Unit: Undefined unit");
    }
    return *unit;
}

} // namespace UnitSystem
