// Decimal numbers in reply fields, read the way the instrument's original
// platform read them: with a 32-bit long, so values saturate at INT_MIN and
// INT_MAX instead of wrapping when stored in an int.
#ifndef ZRB_REPLY_NUMBER_H
#define ZRB_REPLY_NUMBER_H

#include <cstddef>
#include <string_view>

namespace zrb {

struct DecimalRead {
    int value = 0;
    // Characters consumed: leading white space, sign and digits. 0 when the
    // text holds no number (then value is 0).
    std::size_t consumed = 0;
};

// Leading white space, an optional sign, decimal digits.
DecimalRead readDecimal(std::string_view text);

} // namespace zrb

#endif
