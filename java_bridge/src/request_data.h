// The request data of BuildProtocol's ISO host commands 0xB0 and 0xB2, built
// from what a data source holds (the core's data memory and ISO table in the
// bridge, a table of values in the tests).
#ifndef NUBOKRN4J_REQUEST_DATA_H
#define NUBOKRN4J_REQUEST_DATA_H

#include <cstdint>
#include <string>
#include <vector>

namespace nubokrn4j {

inline constexpr int kRequestDataLimit = 1000;
inline constexpr int kNoIsoItem = -115;
inline constexpr int kRequestTooLong = -127;

class RequestSource {
  public:
    virtual ~RequestSource() = default;
    // Data memory by parameter identifier: 0 or more, or a negative code.
    virtual int byte(const char* id, std::uint8_t& value) = 0;
    virtual int bytes(const char* id, std::uint8_t* out, int count) = 0;
    // The ISO-table index of the item with this UID text ("%02X" per byte,
    // empty when not addressed), or a negative code.
    virtual int isoItem(const std::string& uidText) = 0;
    // `count` bytes of the item's transmitted data, block `block`.
    virtual int block(int index, int block, std::uint8_t* out, int count) = 0;
};

struct RequestData {
    int code = 0; // 0, or the negative code that ended the build
    std::vector<std::uint8_t> bytes;
};

RequestData buildRequestData(RequestSource& source, std::uint8_t command);

} // namespace nubokrn4j

#endif
