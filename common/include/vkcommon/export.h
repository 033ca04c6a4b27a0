// The one export macro of the tree: everything is hidden unless marked.
#ifndef VKCOMMON_EXPORT_H
#define VKCOMMON_EXPORT_H

#define VK_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
#define VK_EXTERN_C extern "C"
#define VK_EXTERN_C_BEGIN extern "C" {
#define VK_EXTERN_C_END }
#else
#define VK_EXTERN_C
#define VK_EXTERN_C_BEGIN
#define VK_EXTERN_C_END
#endif

#endif
