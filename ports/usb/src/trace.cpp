// Trace state and the VKLOG_* exports.
#include "trace.h"

#include <vkusb/vkusb.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <sys/time.h>

namespace {

// Trace level and start time are process-wide and read by every thread.
std::atomic<int> g_VkUsbDebugLevel{0};
std::atomic<long long> g_VkUsbStarttime{0}; // microseconds since the epoch

long long nowMicroseconds() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_usec;
}

// Large enough for a whole hex dump line and any formatted line.
constexpr int kLineBufferSize = 4352;

} // namespace

namespace vkusb {

bool traceOn(int level) {
    return g_VkUsbDebugLevel.load(std::memory_order_relaxed) >= level;
}

void trace(int level, const char* tag, const char* format, ...) {
    if (!traceOn(level)) return;
    char line[kLineBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    VKLOG_Msg(tag, line);
}

void traceHexDump(const char* tag, bool written, const std::uint8_t* data, int count) {
    if (!traceOn(kTraceDevice)) return;
    char line[kLineBufferSize];
    int length = std::snprintf(line, sizeof line, written ? "%3.d Bytes >> " : "%3.d Bytes << ", count);
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < count && length < kHexDumpLineLimit; ++i) {
        line[length++] = kDigits[data[i] >> 4];
        line[length++] = kDigits[data[i] & 0xF];
        line[length++] = ' ';
    }
    line[length] = '\0';
    VKLOG_Msg(tag, line);
}

} // namespace vkusb

void VKLOG_SetLevel(int level) {
    g_VkUsbDebugLevel.store(level);
    g_VkUsbStarttime.store(nowMicroseconds());
}

int VKLOG_Level(void) {
    return g_VkUsbDebugLevel.load();
}

void VKLOG_Msg(const char* tag, const char* message) {
    if (g_VkUsbDebugLevel.load(std::memory_order_relaxed) <= 0) return;
    long long elapsed = nowMicroseconds() - g_VkUsbStarttime.load();
    if (elapsed < 0) elapsed = 0;
    std::printf("%2lu.%06d :: vkusb: [%s] %s\n", static_cast<unsigned long>(elapsed / 1000000),
                static_cast<int>(elapsed % 1000000), tag != nullptr ? tag : "",
                message != nullptr ? message : "");
}
