#include "line_speed.h"

namespace vkcom {

namespace {

struct Rate {
    int rate;
    speed_t speed;
};

constexpr Rate kRates[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

} // namespace

speed_t speedOfRate(std::int64_t rate) {
    for (const Rate& entry : kRates)
        if (entry.rate == rate) return entry.speed;
    return B0;
}

int rateOfSpeed(speed_t speed) {
    for (const Rate& entry : kRates)
        if (entry.speed == speed) return entry.rate;
    return 0;
}

} // namespace vkcom
