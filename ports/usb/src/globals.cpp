// The library's process-wide objects. The handler list is defined before the
// registry in this one translation unit, so it is constructed before the
// registry and destroyed after it.
#include "drv_hnd.h"
#include "event_handlers.h"

#include <vkusb/vkusb.h>

bool g_bVkUsbAndroidUnroot = false;
void* g_jvm = nullptr;

namespace vkusb {

std::vector<std::unique_ptr<_VKUSB_INTERNAL_EVENT_INIT>> g_EvtInitAry;
pthread_mutex_t g_MtxEvtInitAry;

VKDrvHnd g_VkUsbMan;

} // namespace vkusb
