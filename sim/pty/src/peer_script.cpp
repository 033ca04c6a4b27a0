#include <vksim/peer_script.h>

#include <algorithm>

namespace vksim {

Script& Script::send(Bytes bytes) {
    steps_.push_back(Step{Step::Kind::Send, std::move(bytes), {}});
    return *this;
}

Script& Script::sendInChunks(const Bytes& bytes, std::size_t chunk, std::chrono::milliseconds gap) {
    if (chunk == 0) chunk = 1;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        if (at > 0) pause(gap);
        const std::size_t end = std::min(bytes.size(), at + chunk);
        send(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                   bytes.begin() + static_cast<std::ptrdiff_t>(end)));
    }
    return *this;
}

Script& Script::pause(std::chrono::milliseconds duration) {
    steps_.push_back(Step{Step::Kind::Pause, {}, duration});
    return *this;
}

Script& Script::close() {
    steps_.push_back(Step{Step::Kind::Close, {}, {}});
    return *this;
}

} // namespace vksim
