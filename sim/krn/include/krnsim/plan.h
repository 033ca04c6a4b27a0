// What the reader sends for one request (or on its own): chunks of bytes, each
// after a pause, then what happens to the connection.
#ifndef KRNSIM_PLAN_H
#define KRNSIM_PLAN_H

#include <krnsim/frame.h>

#include <chrono>
#include <vector>

namespace krnsim {

struct Step {
    Millis delay{0}; // pause before these bytes, after the step before
    Bytes bytes;
};

enum class EndAction : std::uint8_t {
    None,
    Close, // TCP: FIN; pty: hang up
    Reset, // TCP: RST (SO_LINGER 0); pty: hang up
};

struct Plan {
    std::vector<Step> steps;
    EndAction end = EndAction::None;

    bool empty() const { return steps.empty() && end == EndAction::None; }
    // All bytes of the plan, in order.
    Bytes bytes() const;
    // Appends `other` after this plan (nothing follows a plan that ends the connection).
    void append(Plan other);
};

} // namespace krnsim

#endif
