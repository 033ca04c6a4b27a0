#include <krnsim/plan.h>

namespace krnsim {

Bytes Plan::bytes() const {
    Bytes all;
    for (const Step& step : steps)
        all.insert(all.end(), step.bytes.begin(), step.bytes.end());
    return all;
}

void Plan::append(Plan other) {
    if (end != EndAction::None) return;
    for (Step& step : other.steps)
        steps.push_back(std::move(step));
    end = other.end;
}

} // namespace krnsim
