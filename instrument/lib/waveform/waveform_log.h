// Log records of the waveform code: categories and levels.
#ifndef ZRB_WAVEFORM_LOG_H
#define ZRB_WAVEFORM_LOG_H

namespace zrb::wflog {

inline constexpr int kTrace = 10;
inline constexpr int kDebug = 20;
inline constexpr int kInfo = 40;
inline constexpr int kError = 100;

[[gnu::format(printf, 1, 2)]] inline void check(const char*, ...) {}

} // namespace zrb::wflog

// Placeholder until the shared logging layer is available.
#define ZRB_WF_LOG(category, level, ...)                                                                     \
    do {                                                                                                     \
        if (false) ::zrb::wflog::check(__VA_ARGS__);                                                         \
    } while (0)

#endif
