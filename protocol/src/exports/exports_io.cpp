// Exports of the reader commands of outputs, inputs, antennas and the display.
#include "exports/export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_0x71_SetOutput(int readerHnd, int adr, int v1, int v2, int v3, int v4) {
    return withCommandReader(
        readerHnd, false, [&](VKKRNReader& r) { return r.Exe_0x71_SetOutput(byteArg(adr), v1, v2, v3, v4); });
}

VKKRN_API int VKKRN_0x72_SetOutput(int readerHnd, int adr, int mode, int count, unsigned char* records) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) {
        return r.Exe_0x72_SetOutput(byteArg(adr), byteArg(mode), byteArg(count), records);
    });
}

VKKRN_API int VKKRN_0x74_ReadInput(int readerHnd, int adr, unsigned char* out) {
    return withCommandReader(readerHnd, out == nullptr,
                             [&](VKKRNReader& r) { return r.Exe_0x74_ReadInput(byteArg(adr), out); });
}

VKKRN_API int VKKRN_0x75_AdjAntenna(int readerHnd, int adr, unsigned char* out, int format) {
    return withCommandReader(readerHnd, out == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x75_AdjAntenna(byteArg(adr), out, format);
    });
}

VKKRN_API int VKKRN_0x76_CheckAntennas(int readerHnd, int adr, int b, unsigned char* out, int* outLength) {
    return withCommandReader(readerHnd, out == nullptr || outLength == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x76_CheckAntennas(byteArg(adr), byteArg(b), out, outLength);
    });
}

VKKRN_API int VKKRN_0x7A_WriteDisplay(int readerHnd, int adr, int b1, int b2, int b3, int b4, int b5,
                                      int length, char* text) {
    return withCommandReader(readerHnd, text == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x7A_WriteDisplay(byteArg(adr), byteArg(b1), byteArg(b2), byteArg(b3), byteArg(b4),
                                       byteArg(b5), byteArg(length), text);
    });
}

} // extern "C"
