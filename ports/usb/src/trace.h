// The library's trace: one line per call on standard output, written only when
// the trace level reaches the line's level (checked before anything is
// formatted).
#ifndef VKUSB_TRACE_H
#define VKUSB_TRACE_H

#include <cstdint>

namespace vkusb {

// Levels a line needs.
inline constexpr int kTraceLibrary = 1; // library, registry, scan, open, close, lists, events
inline constexpr int kTraceDevice = 2;  // device object lines and hex dumps
inline constexpr int kTraceWatcher = 3; // watch thread and pass details

// Longest hex-dump line: the dump stops once it has reached this many characters.
inline constexpr int kHexDumpLineLimit = 4092;

bool traceOn(int level);

// Formats one line (bounded; longer lines are cut) and writes it with the tag.
void trace(int level, const char* tag, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Hex dump of `count` bytes at level kTraceDevice: "%3.d Bytes >> " (written)
// or "%3.d Bytes << " (read) and the bytes as "XX ".
void traceHexDump(const char* tag, bool written, const std::uint8_t* data, int count);

} // namespace vkusb

#endif
