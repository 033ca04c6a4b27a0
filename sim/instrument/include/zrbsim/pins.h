// The instrument's GPIO pins as the simulator plays them: outputs and captures
// per (pin, trigger), open-drain flags, triggers that fire, and an I2C device
// that can sit on a pair of pins. Written from the instrument's side; shares
// nothing with the library.
#ifndef ZRBSIM_PINS_H
#define ZRBSIM_PINS_H

#include <zrbsim/simulator.h>

#include <any>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zrbsim {

// A level held for a whole number of nanoseconds.
struct Segment {
    int level = 0;
    long long duration = 0;
};

// A short level added to a capture after the device ran.
struct Glitch {
    int level = 0;
    long long start = 0;
    long long width = 0;
};

// A 7-bit-addressed memory on the bus: the first written byte sets the register
// pointer, later ones are stored from it with increment; reads send from it
// until the master does not acknowledge.
struct I2cDevice {
    int pinScl = 0;
    int pinSda = 0;
    std::uint8_t address = 0x50;
    std::array<std::uint8_t, 256> memory{};
    std::uint8_t pointer = 0;
    long long holdNs = 100; // from an SCL fall to a change of the device's SDA drive
    bool present = true;
    int nackByte = 0; // 1-based count of the received byte (address included) it does not acknowledge
};

struct PinSlot {
    std::optional<std::vector<Segment>> output;
    std::optional<long long> captureNs;
    std::optional<std::string> capture;         // what the last firing recorded
    std::optional<std::string> scriptedCapture; // answered instead, once fired or not
    std::vector<Glitch> glitches;
    bool fired = false;
    int doneAfter = 0; // questions answered "not done" after firing; -1 never done
    int asked = 0;
};

struct PinModel {
    std::map<std::pair<int, int>, PinSlot> slots; // (pin, trigger)
    std::map<int, bool> openDrain;
    std::map<int, int> lastLevel; // a pin keeps its last level; undriven pins idle high
    std::map<int, bool> triggered;
    std::optional<I2cDevice> device;
    // Per pin, the levels Gpio:GetValue answers in order; the last one repeats.
    // A pin without a sequence reads 0.
    std::map<int, std::vector<int>> values;
    std::map<int, std::size_t> valuesRead; // per pin, GetValue questions answered
};

// Registers the pin commands (outputs, captures, triggers, open drain, cancel,
// clear, reset) with handlers that keep a PinModel as the simulator model. Call
// after registerInstrumentCommands.
void registerPinModel(Simulator& simulator);

// Runs `f` on the pin model under the simulator's lock.
template <typename F> auto withPins(Simulator& simulator, F&& f) {
    return simulator.withModel([&](std::any& model) {
        if (!model.has_value()) model = PinModel{};
        return f(std::any_cast<PinModel&>(model));
    });
}

// Element text ("level;duration;...") into segments; std::invalid_argument on
// anything else.
std::vector<Segment> parseSegments(const std::string& text);

} // namespace zrbsim

#endif
