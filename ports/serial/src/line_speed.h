// The 20 line rates the library accepts and their POSIX speed constants.
#ifndef VKCOM_LINE_SPEED_H
#define VKCOM_LINE_SPEED_H

#include <termios.h>

#include <cstdint>

namespace vkcom {

// The speed constant of `rate` bit/s, or B0 when the rate is not in the table.
speed_t speedOfRate(std::int64_t rate);
// The rate of a speed constant, or 0 when it is not in the table.
int rateOfSpeed(speed_t speed);

} // namespace vkcom

#endif
