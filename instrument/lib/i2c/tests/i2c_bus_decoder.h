// An I2C bus decoder for tests, written from the bus rules alone and sharing
// nothing with the library's decode: it reads a pair VCD in which '#' is SCL and
// '$' is SDA and gives the bus events with their edge times.
#ifndef ZRB_I2C_BUS_DECODER_H
#define ZRB_I2C_BUS_DECODER_H

#include "vcd_reader.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace zrbtest {

struct BusEvent {
    enum class Kind { kStart, kRepeatedStart, kStop, kByte };
    Kind kind = Kind::kStart;
    std::uint8_t byte = 0;        // kByte: the eight bits, most significant first
    bool acknowledged = false;    // kByte: SDA low at the ninth rise
    double time = 0;              // the SDA edge (conditions) or the first rise (bytes)
    std::vector<double> bitEdges; // kByte: the nine SCL rises

    bool sameFrame(const BusEvent& other) const {
        return kind == other.kind && byte == other.byte && acknowledged == other.acknowledged;
    }
};

std::ostream& operator<<(std::ostream& out, const BusEvent& event);

struct BusDecode {
    std::vector<BusEvent> events;
    std::string error; // empty when the bus kept the rules
};

// Levels: 0 low, any other value high; both lines high before their first
// value; changes with one time stamp apply together. SDA falling while SCL is
// high is a start (repeated inside a frame), rising a stop. Each SCL rise
// samples a bit: eight, most significant first, then the acknowledge (low) or
// not (high). A start or stop drops the bit sampled at the rise that began its
// SCL high phase; an unfinished byte before it, or an SDA change while SCL is
// high that comes with an SCL change, is an error. The first "bx" ends.
BusDecode decodeBus(const VcdFile& vcd);

// Events written compactly for a frame: "S", "Sr", "P", and bytes as "A0+" (ACK)
// or "A0-" (NACK), separated by blanks.
std::string frameText(const std::vector<BusEvent>& events);

} // namespace zrbtest

#endif
