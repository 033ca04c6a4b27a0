#include <vksim/request_framing.h>

namespace vksim {

std::size_t hostRequestLength(const Bytes& pending) {
    if (pending.empty()) return 0;
    const std::uint8_t first = pending[0];
    std::size_t length = 0;
    if (first == 0x02) {
        if (pending.size() < 3) return 0;
        length = (static_cast<std::size_t>(pending[1]) << 8) | pending[2];
        if (length < 3) return pending.size();
    } else if (first >= 5) {
        length = first;
    } else {
        return pending.size();
    }
    return pending.size() >= length ? length : 0;
}

std::size_t arrivalRequestLength(const Bytes& pending) {
    return pending.size();
}

} // namespace vksim
