#include "registry/drv_hnd.h"
#include "texts/error_codes.h"
#include "texts/status_texts.h"

namespace vkkrn {

int copyStatusText(std::uint8_t status, char* out) {
    const int rc = writeStatusText(status, g_LibVkKrnDrvHnd.GetLanguage(), out);
    g_LibVkKrnDrvHnd.SetLastError(rc == kErrUnknownStatus ? rc : 0);
    return rc;
}

} // namespace vkkrn
