// Exports that read a reader's last frames and status, and the status texts.
#include "exports/export_frame.h"
#include "texts/status_texts.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_GetLastSendProt(int readerHnd, unsigned char* prot, int hex) {
    return withReader(readerHnd, prot == nullptr,
                      [&](VKKRNReader& reader) { return reader.GetLastSendProt(prot, hex); });
}

VKKRN_API int VKKRN_GetLastRecProt(int readerHnd, unsigned char* prot, int hex) {
    return withReader(readerHnd, prot == nullptr,
                      [&](VKKRNReader& reader) { return reader.GetLastRecProt(prot, hex); });
}

VKKRN_API int VKKRN_GetLastState(int readerHnd, char* text) {
    return withReader(readerHnd, text == nullptr,
                      [&](VKKRNReader& reader) { return reader.GetLastState(text); });
}

VKKRN_API int VKKRN_GetLastRecProtLen(int readerHnd) {
    return withReader(readerHnd, false, [&](VKKRNReader& reader) { return reader.GetLastRecProtLen(); });
}

VKKRN_API int VKKRN_GetStatusText(unsigned char status, char* text) {
    if (text == nullptr) return libraryFailure(kErrNullPointer);
    return copyStatusText(status, text, g_LibVkKrnDrvHnd);
}

} // extern "C"
