#include "drv_hnd.h"
#include "error_codes.h"
#include "status_texts.h"

namespace vkkrn {

int copyStatusText(std::uint8_t status, char* out) {
    const int rc = writeStatusText(status, g_LibVkKrnDrvHnd.GetLanguage(), out);
    g_LibVkKrnDrvHnd.SetLastError(rc == kErrUnknownStatus ? rc : 0);
    return rc;
}

} // namespace vkkrn
