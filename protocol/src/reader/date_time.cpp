#include "reader/date_time.h"

#include <cstdio>
#include <ctime>

namespace vkkrn {

char* formatDateTime(char* out) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    std::size_t n = std::strftime(out, 32, "%x %X", &local);
    if (n == 0) out[0] = '\0';
    std::snprintf(out + n, kDateTimeSize - n, ".%03d", static_cast<int>(now.tv_nsec / 1000000));
    return out;
}

} // namespace vkkrn
