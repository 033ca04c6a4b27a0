// A library that exports one name more than its list allows (see CMakeLists).
#include <vkcommon/export.h>

VK_EXTERN_C VK_EXPORT int vk_probe_listed() {
    return 1;
}
VK_EXTERN_C VK_EXPORT int vk_probe_unlisted() {
    return 2;
}
int vk_probe_hidden() {
    return 3;
}
