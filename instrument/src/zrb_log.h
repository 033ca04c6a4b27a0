// Logging for every part of the instrument library. Records go through the
// process's one logging layer (libzlog.so) to whatever sink the host installed;
// nothing is formatted, and no argument evaluated, unless a sink is installed.
//
// A module declares each of its categories once, at namespace scope in a header
// of its own (one cached handle per category for the whole library):
//
//     ZRB_LOG_CATEGORY(kWaveformLog, "Waveform");
//
// and logs through it with a zlog level and a printf format:
//
//     ZRB_LOG(kWaveformLog, ZLOG_LEVEL_ERROR, "unknown unit %d", unit);
//
// Texts that come from outside (the instrument, the caller) always go through
// "%s", never as the format itself.
#ifndef ZRB_LOG_H
#define ZRB_LOG_H

#include <vkplatform/zlog.h>

namespace zrb {

// A category name with its handle, filled on first use.
struct LogCategory {
    const char* name;
    zlog_category_t* handle;
};

} // namespace zrb

#define ZRB_LOG_CATEGORY(variable, categoryName)                                                             \
    inline constinit ::zrb::LogCategory variable {                                                           \
        categoryName, nullptr                                                                                \
    }

#define ZRB_LOG(category, level, ...)                                                                        \
    do {                                                                                                     \
        if (::log_enabled() != 0) {                                                                          \
            ::check_zlog_cat((category).name, &(category).handle);                                           \
            ::zlog((category).handle, __FILE__, sizeof(__FILE__) - 1, __func__, sizeof(__func__) - 1,        \
                   __LINE__, (level), __VA_ARGS__);                                                          \
        }                                                                                                    \
    } while (0)

// For categories looked up on every record instead of cached (the request and
// reply traces).
#define ZRB_LOG_UNCACHED(categoryName, level, ...)                                                           \
    do {                                                                                                     \
        if (::log_enabled() != 0) {                                                                          \
            ::zlog(::zlog_get_category(categoryName), __FILE__, sizeof(__FILE__) - 1, __func__,              \
                   sizeof(__func__) - 1, __LINE__, (level), __VA_ARGS__);                                    \
        }                                                                                                    \
    } while (0)

// The failure trace of the I2C and wire test-mode code: the source file and
// line of the failing call and its result code.
#define ZRB_LOG_FAILURE(category, code)                                                                      \
    ZRB_LOG(category, ZLOG_LEVEL_ERROR, "%s:%d failure #%d\n\r", __FILE__, __LINE__, static_cast<int>(code))

#endif
