// Exports of the reader commands of configuration blocks, configurations, timer and date.
#include "exports/export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_0x80_ReadConfBlock(int readerHnd, int adr, int address, unsigned char* out, int format) {
    return withCommandReader(readerHnd, out == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x80_ReadConfBlock(byteArg(adr), byteArg(address), out, format);
    });
}

VKKRN_API int VKKRN_0x81_WriteConfBlock(int readerHnd, int adr, int address, unsigned char* data,
                                        int format) {
    return withCommandReader(readerHnd, data == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x81_WriteConfBlock(byteArg(adr), byteArg(address), data, format);
    });
}

VKKRN_API int VKKRN_0x82_SaveConfBlock(int readerHnd, int adr, int address) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) {
        return r.Exe_0x82_SaveConfBlock(byteArg(adr), byteArg(address));
    });
}

VKKRN_API int VKKRN_0x83_ResetConfBlock(int readerHnd, int adr, int address) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) {
        return r.Exe_0x83_ResetConfBlock(byteArg(adr), byteArg(address));
    });
}

VKKRN_API int VKKRN_0x85_SetSysTimer(int readerHnd, int adr, unsigned char* timer, int format) {
    return withCommandReader(readerHnd, timer == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x85_SetSysTimer(byteArg(adr), timer, format);
    });
}

VKKRN_API int VKKRN_0x86_GetSysTimer(int readerHnd, int adr, unsigned char* out, int format) {
    return withCommandReader(readerHnd, out == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x86_GetSysTimer(byteArg(adr), out, format);
    });
}

VKKRN_API int VKKRN_0x87_SetSystemDate(int readerHnd, int adr, int b1, int b2, int b3, int b4, int b5, int b6,
                                       int b7, int value) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) {
        return r.Exe_0x87_SetSystemDate(byteArg(adr), byteArg(b1), byteArg(b2), byteArg(b3), byteArg(b4),
                                        byteArg(b5), byteArg(b6), byteArg(b7), value);
    });
}

VKKRN_API int VKKRN_0x88_GetSystemDate(int readerHnd, int adr, unsigned char* d1, unsigned char* d2,
                                       unsigned char* d3, unsigned char* d4, unsigned char* d5,
                                       unsigned char* d6, unsigned char* d7, int* value) {
    return withCommandReader(readerHnd,
                             d1 == nullptr || d2 == nullptr || d3 == nullptr || d4 == nullptr ||
                                 d5 == nullptr || d6 == nullptr || d7 == nullptr || value == nullptr,
                             [&](VKKRNReader& r) {
                                 return r.Exe_0x88_GetSystemDate(byteArg(adr), d1, d2, d3, d4, d5, d6, d7,
                                                                 value);
                             });
}

VKKRN_API int VKKRN_0x8A_ReadConfiguration(int readerHnd, int adr, int b1, int b2, int b3, unsigned int value,
                                           int b5, unsigned char* blockCount, unsigned char* blockSize,
                                           unsigned char* out) {
    return withCommandReader(
        readerHnd, blockCount == nullptr || blockSize == nullptr || out == nullptr, [&](VKKRNReader& r) {
            return r.Exe_0x8A_ReadConfiguration(byteArg(adr), byteArg(b1), byteArg(b2), byteArg(b3), value,
                                                byteArg(b5), blockCount, blockSize, out);
        });
}

VKKRN_API int VKKRN_0x8B_WriteConfiguration(int readerHnd, int adr, int b1, int b2, int b3, int blockCount,
                                            int blockSize, unsigned char* data) {
    return withCommandReader(readerHnd, data == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x8B_WriteConfiguration(byteArg(adr), byteArg(b1), byteArg(b2), byteArg(b3),
                                             byteArg(blockCount), byteArg(blockSize), data);
    });
}

VKKRN_API int VKKRN_0x8C_ResetConfiguration(int readerHnd, int adr, int b1, int b2, int b3,
                                            unsigned int value, int b5) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) {
        return r.Exe_0x8C_ResetConfiguration(byteArg(adr), byteArg(b1), byteArg(b2), byteArg(b3), value,
                                             byteArg(b5));
    });
}

} // extern "C"
