#include <zrbsim/pins.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <stdexcept>

namespace zrbsim {

namespace {

constexpr long long kNever = std::numeric_limits<long long>::max();

// A line over time: its level before 0, then (time, level) at every change.
struct Line {
    int before = 1;
    std::vector<std::pair<long long, int>> changes;

    int at(long long time) const {
        int level = before;
        for (const auto& [when, value] : changes) {
            if (when > time) break;
            level = value;
        }
        return level;
    }
    long long nextChangeAfter(long long time) const {
        for (const auto& change : changes)
            if (change.first > time) return change.first;
        return kNever;
    }
    void set(long long time, int level) {
        if (!changes.empty() && changes.back().first == time) {
            changes.back().second = level;
            return;
        }
        if ((changes.empty() ? before : changes.back().second) != level) changes.emplace_back(time, level);
    }
};

Line played(const std::vector<Segment>& segments, int before) {
    Line line;
    line.before = before;
    long long time = 0;
    for (const Segment& segment : segments) {
        line.set(time, segment.level);
        time += segment.duration;
    }
    return line;
}

// The device's view of the bus, run over the master's SCL and SDA.
class DeviceRun {
  public:
    DeviceRun(I2cDevice& device, bool openDrain) : device_(device), openDrain_(openDrain) {}

    Line run(const Line& scl, const Line& sda, long long horizon) {
        Line line;
        bool sclHigh = scl.before != 0;
        int master = sda.before;
        line.before = level(master);
        long long time = -1;
        while (true) {
            const long long next =
                std::min({scl.nextChangeAfter(time), sda.nextChangeAfter(time), pendingAt_});
            if (next == kNever || next > horizon) break;
            time = next;
            const int before = level(master);
            if (pendingAt_ == time) {
                pull_ = pendingPull_;
                pendingAt_ = kNever;
            }
            master = sda.at(time);
            const bool sclNow = scl.at(time) != 0;
            const int after = level(master);
            if (sclHigh && sclNow && (before != 0) != (after != 0)) {
                if (after == 0)
                    start();
                else
                    stop();
            } else if (!sclHigh && sclNow) {
                rise(after);
            } else if (sclHigh && !sclNow) {
                fall(time);
            }
            sclHigh = sclNow;
            line.set(time, level(master));
        }
        return line;
    }

  private:
    enum class Mode { kIdle, kAddress, kWrite, kRead };

    int level(int master) const {
        if (master == 0 || pull_) return 0;
        return openDrain_ ? 1 : master;
    }
    void start() {
        mode_ = Mode::kAddress;
        bit_ = 0;
        shift_ = 0;
        firstData_ = true;
    }
    void stop() {
        mode_ = Mode::kIdle;
        schedule(kNever, false);
        pull_ = false;
    }
    void rise(int line) {
        if (mode_ == Mode::kIdle) return;
        if (mode_ == Mode::kRead) {
            if (bit_ == 8) masterAcked_ = line == 0;
            ++bit_;
            return;
        }
        if (bit_ < 8) {
            shift_ = static_cast<std::uint8_t>((shift_ << 1) | (line != 0 ? 1 : 0));
            if (++bit_ == 8) received();
            return;
        }
        ++bit_;
    }
    void received() {
        ++receivedCount_;
        acked_ = device_.present && receivedCount_ != device_.nackByte;
        if (mode_ == Mode::kAddress) {
            acked_ = acked_ && (shift_ >> 1) == device_.address;
            reading_ = (shift_ & 1) != 0;
        } else if (acked_) {
            if (firstData_)
                device_.pointer = shift_;
            else
                device_.memory[device_.pointer++] = shift_;
            firstData_ = false;
        }
    }
    void fall(long long time) {
        const long long when = time + device_.holdNs;
        switch (mode_) {
        case Mode::kIdle: return;
        case Mode::kAddress:
        case Mode::kWrite:
            if (bit_ == 8) return schedule(when, acked_);
            if (bit_ < 9) return;
            if (!acked_) {
                mode_ = Mode::kIdle;
                return schedule(when, false);
            }
            if (mode_ == Mode::kAddress && reading_) {
                mode_ = Mode::kRead;
                return load(when);
            }
            mode_ = Mode::kWrite;
            bit_ = 0;
            shift_ = 0;
            return schedule(when, false);
        case Mode::kRead:
            if (bit_ >= 1 && bit_ <= 7) return schedule(when, ((sending_ >> (7 - bit_)) & 1) == 0);
            if (bit_ == 8) return schedule(when, false);
            if (bit_ >= 9) {
                if (masterAcked_) return load(when);
                mode_ = Mode::kIdle;
                return schedule(when, false);
            }
            return;
        }
    }
    void load(long long when) {
        sending_ = device_.memory[device_.pointer++];
        bit_ = 0;
        schedule(when, (sending_ & 0x80) == 0);
    }
    void schedule(long long when, bool pull) {
        pendingAt_ = when;
        pendingPull_ = pull;
    }

    I2cDevice& device_;
    bool openDrain_;
    Mode mode_ = Mode::kIdle;
    int bit_ = 0;
    std::uint8_t shift_ = 0;
    std::uint8_t sending_ = 0;
    bool acked_ = false;
    bool reading_ = false;
    bool firstData_ = true;
    bool masterAcked_ = false;
    bool pull_ = false;
    bool pendingPull_ = false;
    long long pendingAt_ = kNever;
    int receivedCount_ = 0;
};

// The line cut to [0, duration) as element text, with the glitches on top.
std::string captureText(const Line& line, long long duration, const std::vector<Glitch>& glitches) {
    std::set<long long> cuts{0, duration};
    for (const auto& change : line.changes)
        if (change.first > 0 && change.first < duration) cuts.insert(change.first);
    for (const Glitch& glitch : glitches)
        for (const long long edge : {glitch.start, glitch.start + glitch.width})
            if (edge > 0 && edge < duration) cuts.insert(edge);
    std::vector<Segment> segments;
    long long previous = 0;
    for (const long long cut : cuts) {
        if (cut == 0) continue;
        int level = line.at(previous);
        for (const Glitch& glitch : glitches)
            if (previous >= glitch.start && previous < glitch.start + glitch.width) level = glitch.level;
        if (!segments.empty() && segments.back().level == level)
            segments.back().duration += cut - previous;
        else
            segments.push_back({level, cut - previous});
        previous = cut;
    }
    std::string text;
    for (const Segment& segment : segments)
        text += (text.empty() ? "" : ";") + std::to_string(segment.level) + ";" +
                std::to_string(segment.duration);
    return text;
}

void fire(PinModel& model, int trigger) {
    std::map<int, Line> lines;
    long long horizon = 0;
    for (auto& [key, slot] : model.slots) {
        if (key.second != trigger) continue;
        if (slot.output) {
            const auto found = model.lastLevel.find(key.first);
            Line line = played(*slot.output, found == model.lastLevel.end() ? 1 : found->second);
            long long end = 0;
            for (const Segment& segment : *slot.output)
                end += segment.duration;
            horizon = std::max(horizon, end);
            if (!line.changes.empty()) model.lastLevel[key.first] = line.changes.back().second;
            lines[key.first] = std::move(line);
        }
        if (slot.captureNs) horizon = std::max(horizon, *slot.captureNs);
        slot.fired = true;
        slot.asked = 0;
    }
    const auto lineOf = [&](int pin) {
        const auto found = lines.find(pin);
        if (found != lines.end()) return found->second;
        Line idle;
        const auto last = model.lastLevel.find(pin);
        idle.before = last == model.lastLevel.end() ? 1 : last->second;
        return idle;
    };
    if (model.device) {
        const bool openDrain = model.openDrain[model.device->pinSda];
        DeviceRun run(*model.device, openDrain);
        lines[model.device->pinSda] =
            run.run(lineOf(model.device->pinScl), lineOf(model.device->pinSda), horizon);
    }
    for (auto& [key, slot] : model.slots)
        if (key.second == trigger && slot.captureNs)
            slot.capture = captureText(lineOf(key.first), *slot.captureNs, slot.glitches);
}

int integerArgument(const Request& request, std::size_t index) {
    return index < request.arguments.size() ? std::atoi(request.arguments[index].text.c_str()) : 0;
}

PinModel& pinsOf(HandlerContext& context) {
    if (!context.simulatorModel.has_value()) context.simulatorModel = PinModel{};
    return std::any_cast<PinModel&>(context.simulatorModel);
}

void add(Simulator& simulator, const char* group, const char* name, const char* signature,
         std::function<std::string(PinModel&, const Request&)> handler) {
    simulator.registerCommand({group, name, signature, "0", [handler](HandlerContext& context) {
                                   return handler(pinsOf(context), context.request);
                               }});
}

} // namespace

std::vector<Segment> parseSegments(const std::string& text) {
    std::vector<Segment> segments;
    if (text.empty()) return segments;
    std::vector<long long> numbers;
    std::size_t position = 0;
    while (position <= text.size()) {
        const std::size_t end = std::min(text.find(';', position), text.size());
        const std::string field = text.substr(position, end - position);
        std::size_t used = 0;
        numbers.push_back(std::stoll(field, &used));
        if (used != field.size()) throw std::invalid_argument("element text");
        position = end + 1;
    }
    if (numbers.size() % 2 != 0) throw std::invalid_argument("element text");
    for (std::size_t i = 0; i < numbers.size(); i += 2)
        segments.push_back({static_cast<int>(numbers[i]), numbers[i + 1]});
    return segments;
}

void registerPinModel(Simulator& simulator) {
    add(simulator, "Gpio", "CfgOpenDrain", "ib", [](PinModel& model, const Request& request) {
        model.openDrain[integerArgument(request, 0)] = integerArgument(request, 1) != 0;
        return std::string("0");
    });
    add(simulator, "Gpio", "ScheduleWaveformOutput", "iwii", [](PinModel& model, const Request& request) {
        PinSlot& slot = model.slots[{integerArgument(request, 0), integerArgument(request, 2)}];
        try {
            slot.output = parseSegments(request.arguments.at(1).text);
        } catch (...) {
            return std::string("20,\"bad waveform\"");
        }
        slot.fired = false;
        return std::string("0");
    });
    add(simulator, "Gpio", "ScheduleCapture", "idi", [](PinModel& model, const Request& request) {
        PinSlot& slot = model.slots[{integerArgument(request, 0), integerArgument(request, 2)}];
        slot.captureNs = std::llround(std::strtod(request.arguments.at(1).text.c_str(), nullptr));
        slot.capture.reset();
        slot.fired = false;
        return std::string("0");
    });
    add(simulator, "Gpio", "WaveformOutputDone", "ii", [](PinModel& model, const Request& request) {
        const auto found = model.slots.find({integerArgument(request, 0), integerArgument(request, 1)});
        if (found == model.slots.end() || !found->second.output) return std::string("0,1");
        PinSlot& slot = found->second;
        if (!slot.fired || slot.doneAfter < 0) return std::string("0,0");
        if (slot.asked >= slot.doneAfter) return std::string("0,1");
        ++slot.asked;
        return std::string("0,0");
    });
    add(simulator, "Gpio", "GetCapture", "ii", [](PinModel& model, const Request& request) {
        const auto found = model.slots.find({integerArgument(request, 0), integerArgument(request, 1)});
        if (found != model.slots.end() && found->second.scriptedCapture)
            return "0," + *found->second.scriptedCapture;
        if (found == model.slots.end() || !found->second.capture) return std::string("21,\"no capture\"");
        return "0," + *found->second.capture;
    });
    add(simulator, "Gpio", "GetValue", "i", [](PinModel& model, const Request& request) {
        const int pin = integerArgument(request, 0);
        const std::size_t asked = model.valuesRead[pin]++;
        const auto found = model.values.find(pin);
        if (found == model.values.end() || found->second.empty()) return std::string("0,0");
        const std::vector<int>& sequence = found->second;
        return "0," + std::to_string(sequence[std::min(asked, sequence.size() - 1)]);
    });
    add(simulator, "Trigger", "Set", "iiid", [](PinModel& model, const Request& request) {
        const int trigger = integerArgument(request, 0);
        if (integerArgument(request, 2) == 3) {
            fire(model, trigger);
            model.triggered[trigger] = true;
        }
        return std::string("0");
    });
    add(simulator, "Trigger", "HasTriggered", "i", [](PinModel& model, const Request& request) {
        return std::string(model.triggered[integerArgument(request, 0)] ? "0,1" : "0,0");
    });
    add(simulator, "Gpio", "CancelOutput", "i", [](PinModel& model, const Request& request) {
        for (auto& [key, slot] : model.slots)
            if (key.first == integerArgument(request, 0)) slot.output.reset();
        return std::string("0");
    });
    add(simulator, "Gpio", "CancelAllOutputs", "", [](PinModel& model, const Request&) {
        for (auto& entry : model.slots)
            entry.second.output.reset();
        return std::string("0");
    });
    add(simulator, "Trigger", "ClearAllScheduled", "", [](PinModel& model, const Request&) {
        model.slots.clear();
        model.triggered.clear();
        return std::string("0");
    });
    add(simulator, "Reset", "ToIdle", "", [](PinModel& model, const Request&) {
        std::optional<I2cDevice> device = std::move(model.device);
        model = PinModel{};
        model.device = std::move(device);
        return std::string("0");
    });
}

} // namespace zrbsim
