// Exports of the reader commands for the transponders in the field and their data exchange.
#include "exports/export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_0x18_Destroy(int readerHnd, int adr, int mode, unsigned char* identifier,
                                 unsigned char* code) {
    return withCommandReader(readerHnd, identifier == nullptr || code == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x18_Destroy(byteArg(adr), byteArg(mode), identifier, code);
    });
}

VKKRN_API int VKKRN_0x1A_Halt(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) { return r.Exe_0x1A_Halt(byteArg(adr)); });
}

VKKRN_API int VKKRN_0x1B_ResetQuietBit(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x1B_ResetQuietBit(byteArg(adr)); });
}

VKKRN_API int VKKRN_0x1C_EASRequest(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x1C_EASRequest(byteArg(adr)); });
}

VKKRN_API int VKKRN_0x1E_TableDataExchange(int readerHnd, int adr, int b1, int b2, int b3, int b4, int b5,
                                           unsigned char* data, int count, unsigned char* out,
                                           int* outLength) {
    return withCommandReader(readerHnd, data == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x1E_TableDataExchange(byteArg(adr), byteArg(b1), byteArg(b2), byteArg(b3), byteArg(b4),
                                            byteArg(b5), data, count, out, outLength);
    });
}

VKKRN_API int VKKRN_0x1F_MAXDataExchange(int readerHnd, int adr, int b1, int b2, int b3, unsigned char* data,
                                         int count, unsigned char* out, int* outLength, int format) {
    return withCommandReader(readerHnd, data == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x1F_MAXDataExchange(byteArg(adr), byteArg(b1), byteArg(b2), byteArg(b3), data, count,
                                          out, outLength, format);
    });
}

} // extern "C"
