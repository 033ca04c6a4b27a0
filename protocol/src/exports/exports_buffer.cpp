// Exports of the reader commands of its data buffer and triggers.
#include "exports/export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_0x21_ReadBuffer(int readerHnd, int adr, int b, unsigned char* head, unsigned char* count,
                                    unsigned char* out, int format) {
    return withCommandReader(
        readerHnd, head == nullptr || count == nullptr || out == nullptr, [&](VKKRNReader& r) {
            return r.Exe_0x21_ReadBuffer(byteArg(adr), byteArg(b), head, count, out, format);
        });
}

VKKRN_API int VKKRN_0x22_ReadBuffer(int readerHnd, int adr, int number, unsigned char* head, int* count,
                                    unsigned char* out, int format) {
    return withCommandReader(readerHnd, head == nullptr || count == nullptr || out == nullptr,
                             [&](VKKRNReader& r) {
                                 return r.Exe_0x22_ReadBuffer(byteArg(adr), number, head, count, out, format);
                             });
}

VKKRN_API int VKKRN_0x31_ReadDataBufferInfo(int readerHnd, int adr, unsigned char* first,
                                            unsigned char* second, unsigned char* third, int format) {
    return withCommandReader(
        readerHnd, first == nullptr || second == nullptr || third == nullptr, [&](VKKRNReader& r) {
            return r.Exe_0x31_ReadDataBufferInfo(byteArg(adr), first, second, third, format);
        });
}

VKKRN_API int VKKRN_0x32_ClearDataBuffer(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x32_ClearDataBuffer(byteArg(adr)); });
}

VKKRN_API int VKKRN_0x33_InitBuffer(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x33_InitBuffer(byteArg(adr)); });
}

VKKRN_API int VKKRN_0x34_ForceNotifyTrigger(int readerHnd, int adr, int b) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) {
        return r.Exe_0x34_ForceNotifyTrigger(byteArg(adr), byteArg(b));
    });
}

VKKRN_API int VKKRN_0x35_SoftwareTrigger(int readerHnd, int adr, int b1, int b2, int b3, unsigned int time) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) {
        return r.Exe_0x35_SoftwareTrigger(byteArg(adr), byteArg(b1), byteArg(b2), byteArg(b3), time);
    });
}

} // extern "C"
