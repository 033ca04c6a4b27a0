// Exports that set and read reader parameters and the library-wide keys.
#include "exports/export_frame.h"

#include <vkcommon/language_id.h>
#include <vkcommon/param_text.h>
#include <vkkrn.h>

#include <cstdio>
#include <string_view>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_SetReaderPara(int readerHnd, const char* key, const char* value) {
    return guarded(kErrNoMemory, [&] {
        if (readerHnd < 0) return libraryFailure(kErrReaderNegative);
        if (key == nullptr || value == nullptr) return libraryFailure(kErrNullPointer);
        char upper[vk::kKeyBufferSize];
        if (!vk::upperCaseKey(key, upper)) return libraryFailure(kErrOutOfRange);
        const std::string_view k(upper);
        if (k == "LOCKPROTTOAPP") return g_LibVkKrnDrvHnd.SetAllStopFlags(true);
        if (k == "UNLOCKPROTTOAPP") return g_LibVkKrnDrvHnd.SetAllStopFlags(false);
        g_LibVkKrnDrvHnd.SetLastError(0);
        if (k == "LANGUAGE") {
            const std::int64_t language = vk::readSaturated(value);
            if (!vk::isLanguageId(language)) return libraryFailure(kErrOutOfRange);
            g_LibVkKrnDrvHnd.SetLanguage(static_cast<int>(language));
            return 0;
        }
        return withReader(readerHnd, false,
                          [&](VKKRNReader& reader) { return reader.SetReaderPara(upper, value); });
    });
}

VKKRN_API int VKKRN_GetReaderPara(int readerHnd, const char* key, char* value) {
    return guarded(kErrNoMemory, [&] {
        if (readerHnd < 0) return libraryFailure(kErrReaderNegative);
        if (key == nullptr || value == nullptr) return libraryFailure(kErrNullPointer);
        char upper[vk::kKeyBufferSize];
        if (!vk::upperCaseKey(key, upper)) return libraryFailure(kErrOutOfRange);
        const std::string_view k(upper);
        if (k == "LANGUAGE") {
            std::snprintf(value, 16, "%d", g_LibVkKrnDrvHnd.GetLanguage());
            return 0;
        }
        if (k == "ISPROTTOAPPLOCKED") return g_LibVkKrnDrvHnd.AnyActiveFlag() ? 0 : 1;
        return withReader(readerHnd, false,
                          [&](VKKRNReader& reader) { return reader.GetReaderPara(upper, value); });
    });
}

} // extern "C"
