#include "texts/error_codes.h"
#include "texts/status_texts.h"

namespace vkkrn {

int copyStatusText(std::uint8_t status, char* out, LibraryServices& library) {
    const int rc = writeStatusText(status, library.GetLanguage(), out);
    library.SetLastError(rc == kErrUnknownStatus ? rc : 0);
    return rc;
}

} // namespace vkkrn
