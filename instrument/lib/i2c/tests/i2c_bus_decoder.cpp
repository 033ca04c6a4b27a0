#include "i2c_bus_decoder.h"

#include <cstdio>
#include <map>

namespace zrbtest {

std::ostream& operator<<(std::ostream& out, const BusEvent& event) {
    return out << frameText({event}) << " @" << event.time;
}

std::string frameText(const std::vector<BusEvent>& events) {
    std::string text;
    for (const BusEvent& event : events) {
        if (!text.empty()) text += ' ';
        switch (event.kind) {
        case BusEvent::Kind::kStart: text += "S"; break;
        case BusEvent::Kind::kRepeatedStart: text += "Sr"; break;
        case BusEvent::Kind::kStop: text += "P"; break;
        case BusEvent::Kind::kByte: {
            char byte[8];
            std::snprintf(byte, sizeof byte, "%02X%c", event.byte, event.acknowledged ? '+' : '-');
            text += byte;
            break;
        }
        }
    }
    return text;
}

BusDecode decodeBus(const VcdFile& vcd) {
    BusDecode result;
    // Changes grouped by time stamp, in file order within each.
    std::map<double, std::vector<const VcdChange*>> groups;
    for (const VcdChange& change : vcd.changes)
        groups[change.time].push_back(&change);

    bool scl = true;
    bool sda = true;
    bool inFrame = false;
    std::vector<double> edges; // rises of the byte being received
    std::vector<bool> bits;
    bool phaseBit = false; // the rise that began this SCL high phase sampled a bit still held
    for (const auto& [time, changes] : groups) {
        bool newScl = scl;
        bool newSda = sda;
        bool ends = false;
        for (const VcdChange* change : changes) {
            if (!change->value) {
                ends = true;
                break;
            }
            const bool high = *change->value != 0;
            if (change->identifier == '#') newScl = high;
            if (change->identifier == '$') newSda = high;
        }
        if (ends) break;
        if (newSda != sda && scl && newScl) {
            // A condition: the bit sampled at this high phase's rise is not a bit.
            if (phaseBit) {
                bits.pop_back();
                edges.pop_back();
                phaseBit = false;
            }
            if (!bits.empty()) {
                result.error = "unfinished byte before a condition at " + std::to_string(time);
                return result;
            }
            BusEvent event;
            event.kind = (newSda ? BusEvent::Kind::kStop
                                 : (inFrame ? BusEvent::Kind::kRepeatedStart : BusEvent::Kind::kStart));
            event.time = time;
            result.events.push_back(event);
            inFrame = !newSda;
        } else if (newSda != sda && (scl || newScl)) {
            result.error = "SDA changes with SCL at " + std::to_string(time);
            return result;
        }
        if (!scl && newScl) {
            bits.push_back(newSda);
            edges.push_back(time);
            phaseBit = true;
            if (bits.size() == 9) {
                BusEvent event;
                event.kind = BusEvent::Kind::kByte;
                for (int i = 0; i < 8; ++i)
                    event.byte = static_cast<std::uint8_t>((event.byte << 1) |
                                                           (bits[static_cast<std::size_t>(i)] ? 1 : 0));
                event.acknowledged = !bits[8];
                event.time = edges.front();
                event.bitEdges = edges;
                result.events.push_back(event);
                bits.clear();
                edges.clear();
                phaseBit = false;
            }
        }
        scl = newScl;
        sda = newSda;
    }
    return result;
}

} // namespace zrbtest
