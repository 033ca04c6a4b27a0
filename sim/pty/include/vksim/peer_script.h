// What a simulated peer does in answer to one request, or on cue: send bytes,
// stay silent for a while, hang up. A script knows nothing of the transport; the
// peer that plays it writes to whatever descriptor it owns (a pseudo-terminal
// master, a connected socket).
#ifndef VKSIM_PEER_SCRIPT_H
#define VKSIM_PEER_SCRIPT_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vksim {

using Bytes = std::vector<std::uint8_t>;

class Script {
  public:
    struct Step {
        enum class Kind { Send, Pause, Close };
        Kind kind;
        Bytes bytes;                     // Send
        std::chrono::milliseconds pause; // Pause
    };

    // An empty script is silence: the request gets no answer.
    Script() = default;
    static Script reply(Bytes bytes) { return Script().send(std::move(bytes)); }
    static Script silence() { return Script(); }

    // Writes the bytes as one chunk once the steps before are done.
    Script& send(Bytes bytes);
    // Writes the bytes in chunks of `chunk` bytes with `gap` between them.
    Script& sendInChunks(const Bytes& bytes, std::size_t chunk, std::chrono::milliseconds gap);
    // Sends nothing for `duration` before the next step.
    Script& pause(std::chrono::milliseconds duration);
    // Hangs up once everything before has been written.
    Script& close();

    const std::vector<Step>& steps() const { return steps_; }
    bool empty() const { return steps_.empty(); }

  private:
    std::vector<Step> steps_;
};

} // namespace vksim

#endif
