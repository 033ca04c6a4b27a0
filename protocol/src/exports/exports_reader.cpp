// Exports that create, list and delete readers, and report version and errors.
#include "exports/export_frame.h"
#include "texts/error_texts.h"

#include <vkkrn.h>

#include <cstring>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_NewReader(int portHnd) {
    return guarded(kErrNewReader, [&] { return g_LibVkKrnDrvHnd.CreateNewReader(portHnd); });
}

VKKRN_API int VKKRN_DeleteReader(int readerHnd) {
    return guarded(kErrNoMemory, [&] {
        if (readerHnd < 0) return libraryFailure(kErrReaderNegative);
        if (readerHnd == 0) return libraryFailure(kErrReaderZero);
        if (g_LibVkKrnDrvHnd.EnumReader() == 0) return libraryFailure(kErrEmptyList);
        g_LibVkKrnDrvHnd.SetLastError(0);
        return g_LibVkKrnDrvHnd.DeleteReader(readerHnd);
    });
}

VKKRN_API int VKKRN_GetReaderList(int readerHnd) {
    return guarded(kErrNoMemory, [&] { return g_LibVkKrnDrvHnd.GetReaderList(readerHnd); });
}

VKKRN_API void VKKRN_GetDLLVersion(char* version) {
    if (version == nullptr) {
        libraryFailure(kErrNullPointer);
        return;
    }
    std::memcpy(version, "07.04.01", 9);
}

VKKRN_API int VKKRN_GetErrorText(int code, char* text) {
    if (text == nullptr) return libraryFailure(kErrNullPointer);
    return guarded(kErrNoMemory, [&] { return copyErrorText(code, text, g_LibVkKrnDrvHnd); });
}

VKKRN_API int VKKRN_GetLastError(int readerHnd, int* code, char* text) {
    return withReader(readerHnd, code == nullptr || text == nullptr, [&](VKKRNReader& reader) {
        *code = reader.GetLastError();
        return copyErrorText(*code, text, g_LibVkKrnDrvHnd);
    });
}

} // extern "C"
