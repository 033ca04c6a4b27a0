/* The logging entry points a library writes its diagnostics through. The host
 * application decides where records go (see zlog_sink.h); a library only asks
 * whether logging is set up and hands over records.
 *
 * Valid C and C++. Every function here is exported by the one shared library
 * libzlog.so, so the records of every library in the process reach the same sink. */
#ifndef VKPLATFORM_ZLOG_H
#define VKPLATFORM_ZLOG_H

#include <stddef.h>

#define VK_ZLOG_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Levels the libraries use. 10 lies below DEBUG: a host sees those records only
 * when its sink's lowest level admits them. */
enum { ZLOG_LEVEL_TRACE = 10, ZLOG_LEVEL_DEBUG = 20, ZLOG_LEVEL_INFO = 40, ZLOG_LEVEL_ERROR = 100 };

/* A named category; handles stay valid for the life of the process. */
typedef struct zlog_category zlog_category_t;

/* The handle of the category `name` (created on first use); NULL for a NULL name. */
VK_ZLOG_API zlog_category_t* zlog_get_category(const char* name);

/* Non-zero while a sink is installed. Ask before formatting anything. */
VK_ZLOG_API int log_enabled(void);

/* Fills *cache with the handle of `name` when it is still empty. Returns 0 when
 * *cache holds a handle afterwards, -1 otherwise. */
VK_ZLOG_API int check_zlog_cat(const char* name, zlog_category_t** cache);

/* Formats one record and hands it to the sink when the level reaches the sink's
 * lowest level. A NULL category or format drops the record. */
VK_ZLOG_API void zlog(zlog_category_t* category, const char* file, size_t file_length, const char* function,
                      size_t function_length, long line, int level, const char* format, ...)
    __attribute__((format(printf, 8, 9)));

#ifdef __cplusplus
}
#endif

#endif
