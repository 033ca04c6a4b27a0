/* The host side of the logging layer: a program or a test installs the one sink
 * that receives every record, and removes it again. Valid C and C++. */
#ifndef VKPLATFORM_ZLOG_SINK_H
#define VKPLATFORM_ZLOG_SINK_H

#include <vkplatform/zlog.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One formatted record. Every pointer is valid only during the sink call. */
typedef struct zlog_record {
    const char* category; /* category name */
    const char* file;     /* source file, `file_length` bytes, not necessarily NUL-terminated */
    size_t file_length;
    const char* function; /* calling function, `function_length` bytes */
    size_t function_length;
    long line;
    int level;
    const char* message; /* the formatted text, NUL-terminated */
} zlog_record;

/* Called for every record at or above the sink's lowest level. Records arrive
 * one at a time (calls never overlap); a sink must not log itself. */
typedef void (*zlog_sink_fn)(void* context, const zlog_record* record);

/* Installs `sink` (replacing any other) with the lowest level it wants; from now
 * on log_enabled() is non-zero. A NULL sink removes it. */
VK_ZLOG_API void zlog_install_sink(zlog_sink_fn sink, void* context, int lowest_level);

/* Removes the sink; log_enabled() is 0 afterwards. Returns once no call into the
 * removed sink is running. */
VK_ZLOG_API void zlog_remove_sink(void);

/* A sink for programs: one line per record on stderr,
 * "<level> <category> <file>:<line> <message>". The context is unused. */
VK_ZLOG_API void zlog_stderr_sink(void* context, const zlog_record* record);

#ifdef __cplusplus
}
#endif

#endif
