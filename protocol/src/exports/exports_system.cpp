// Exports of the reader's system commands.
#include "exports/export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_0x52_GetBaud(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x52_GetBaud(byteArg(adr)); });
}

VKKRN_API int VKKRN_0x55_StartFlashLoader(int readerHnd) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) { return r.Exe_0x55_StartFlashLoader(); });
}

VKKRN_API int VKKRN_0x55_StartFlashLoaderEx(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x55_StartFlashLoaderEx(byteArg(adr)); });
}

VKKRN_API int VKKRN_0x63_CPUReset(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x63_CPUReset(byteArg(adr)); });
}

VKKRN_API int VKKRN_0x64_SystemReset(int readerHnd, int adr, int b) {
    return withCommandReader(
        readerHnd, false, [&](VKKRNReader& r) { return r.Exe_0x64_SystemReset(byteArg(adr), byteArg(b)); });
}

VKKRN_API int VKKRN_0x65_SoftVersion(int readerHnd, int adr, unsigned char* out, int format) {
    return withCommandReader(readerHnd, out == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x65_SoftVersion(byteArg(adr), out, format);
    });
}

VKKRN_API int VKKRN_0x66_ReaderInfo(int readerHnd, int adr, int mode, unsigned char* out, int format) {
    return withCommandReader(readerHnd, out == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x66_ReaderInfo(byteArg(adr), byteArg(mode), out, format);
    });
}

VKKRN_API int VKKRN_0x68_ChannelAnalyze(int readerHnd, int adr, int m1, int m2, int b3, int b4, int count,
                                        long* values) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) {
        return r.Exe_0x68_FFT(byteArg(adr), byteArg(m1), byteArg(m2), byteArg(b3), byteArg(b4), count,
                              values);
    });
}

VKKRN_API int VKKRN_0x69_RFReset(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x69_RFReset(byteArg(adr)); });
}

VKKRN_API int VKKRN_0x6A_RFOnOff(int readerHnd, int adr, int b) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x6A_RFOnOff(byteArg(adr), byteArg(b)); });
}

VKKRN_API int VKKRN_0x6B_InitNoiseThreshold(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x6B_InitNoiseThreshold(byteArg(adr)); });
}

VKKRN_API int VKKRN_0x6B_CentralizedRFSync(int readerHnd, int adr, int a, int b, int time, int c, int d) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) {
        return r.Exe_0x6B_CentralizedRFSync(byteArg(adr), byteArg(a), byteArg(b), time, byteArg(c),
                                            byteArg(d));
    });
}

VKKRN_API int VKKRN_0x6C_SetNoiseLevel(int readerHnd, int adr, unsigned char* levels, int format) {
    return withCommandReader(readerHnd, levels == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x6C_SetNoiseLevel(byteArg(adr), levels, format);
    });
}

VKKRN_API int VKKRN_0x6D_GetNoiseLevel(int readerHnd, int adr, unsigned char* out, int format) {
    return withCommandReader(readerHnd, out == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x6D_GetNoiseLevel(byteArg(adr), out, format);
    });
}

VKKRN_API int VKKRN_0x6E_RdDiag(int readerHnd, int adr, int mode, unsigned char* buffer) {
    return withCommandReader(readerHnd, buffer == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x6E_RdDiag(byteArg(adr), byteArg(mode), buffer);
    });
}

VKKRN_API int VKKRN_0x6F_AntennaTuning(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false,
                             [&](VKKRNReader& r) { return r.Exe_0x6F_AntennaTuning(byteArg(adr)); });
}

} // extern "C"
