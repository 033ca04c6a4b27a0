// The sink for programs: one line per record on stderr.
#include <vkplatform/zlog_sink.h>

#include <cstdio>

extern "C" VK_ZLOG_API void zlog_stderr_sink(void* /*context*/, const zlog_record* record) {
    if (record == nullptr) return;
    std::fprintf(stderr, "%d %s %.*s:%ld %s\n", record->level, record->category,
                 static_cast<int>(record->file_length), record->file, record->line, record->message);
}
