// Exports of the transponder, transparent, SAM and card-crypto commands: the
// null test, the handle checks, then the reader method of the same command byte.
#include "exports/export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

namespace {

// The pointers every one of these commands needs (0xC1 also its field).
bool missing(const void* request, const void* reply, const void* replyLen) {
    return request == nullptr || reply == nullptr || replyLen == nullptr;
}

} // namespace

extern "C" {

VKKRN_API int VKKRN_0xB0_ISOCmd(int readerHnd, unsigned char adr, unsigned char* request, int len,
                                unsigned char* reply, int* replyLen, int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xB0_ISOCmd(adr, request, len, reply, replyLen, format);
    });
}

VKKRN_API int VKKRN_0xB2_ISOCmd(int readerHnd, unsigned char adr, unsigned char* request, int len,
                                unsigned char* reply, int* replyLen, int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xB2_ISOCmd(adr, request, len, reply, replyLen, format);
    });
}

VKKRN_API int VKKRN_0xB3_EPCCmd(int readerHnd, unsigned char adr, unsigned char* request, int len,
                                unsigned char* reply, int* replyLen, int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xB3_EPCCmd(adr, request, len, reply, replyLen, format);
    });
}

VKKRN_API int VKKRN_0xB1_ISOCustAndPropCmd(int readerHnd, unsigned char adr, unsigned char lead,
                                           unsigned char* request, int len, unsigned char* reply,
                                           int* replyLen, int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xB1_ISOCustAndPropCmd(adr, lead, request, len, reply, replyLen, format);
    });
}

VKKRN_API int VKKRN_0xB5_ISOCustAndPropCmd(int readerHnd, unsigned char adr, unsigned char lead,
                                           unsigned char* request, int len, unsigned char* reply,
                                           int* replyLen, int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xB5_ISOCustAndPropCmd(adr, lead, request, len, reply, replyLen, format);
    });
}

VKKRN_API int VKKRN_0xB4_EPC_UHF_Cmd(int readerHnd, unsigned char adr, unsigned char lead,
                                     unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                     int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xB4_EPC_UHF_Cmd(adr, lead, request, len, reply, replyLen, format);
    });
}

VKKRN_API int VKKRN_0xFE_Transceive(int readerHnd, unsigned char adr, unsigned char* request, int len,
                                    unsigned char* reply, int* replyLen) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xFE_Transceive(adr, request, len, reply, replyLen);
    });
}

VKKRN_API int VKKRN_0xBB_C1G2_TranspCmd(int readerHnd, unsigned char adr, unsigned char b1, unsigned char b2,
                                        unsigned char b3, unsigned int value1, unsigned int value2,
                                        unsigned char* request, unsigned int len, unsigned char* reply,
                                        unsigned int* replyLen) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xBB_C1G2_TranspCmd(adr, b1, b2, b3, value1, value2, request, len, reply, replyLen);
    });
}

VKKRN_API int VKKRN_0xBD_ISOTranspCmd(int readerHnd, unsigned char adr, int mode, int value,
                                      unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                      int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xBD_ISOTranspCmd(adr, mode, value, request, len, reply, replyLen, format);
    });
}

VKKRN_API int VKKRN_0xBE_ISOTranspCmd(int readerHnd, unsigned char adr, int mode, int value,
                                      unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                      int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xBE_ISOTranspCmd(adr, mode, value, request, len, reply, replyLen, format);
    });
}

VKKRN_API int VKKRN_0xBF_ISOTranspCmd(int readerHnd, unsigned char adr, int mode, int value,
                                      unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                      int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xBF_ISOTranspCmd(adr, mode, value, request, len, reply, replyLen, format);
    });
}

VKKRN_API int VKKRN_0xC0_SAMCmd_Sync(int readerHnd, unsigned char adr, int slot, int timeout,
                                     unsigned char* request, int len, unsigned char* reply, int* replyLen) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xC0_SAMCmd_Sync(adr, slot, timeout, request, len, reply, replyLen);
    });
}

VKKRN_API int VKKRN_0xC1_DESFireCmd(int readerHnd, unsigned char adr, unsigned char b1, unsigned char b2,
                                    unsigned char* field, unsigned char b4, unsigned char* request, int len,
                                    unsigned char* reply, int* replyLen, int format) {
    return withCommandReader(
        readerHnd, missing(request, reply, replyLen) || field == nullptr, [&](VKKRNReader& r) {
            return r.Exe_0xC1_DESFireCmd(adr, b1, b2, field, b4, request, len, reply, replyLen, format);
        });
}

VKKRN_API int VKKRN_0xC2_MifarePlusCmd(int readerHnd, unsigned char adr, unsigned char b1, unsigned char b2,
                                       unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                       int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xC2_MifarePlusCmd(adr, b1, b2, request, len, reply, replyLen, format);
    });
}

VKKRN_API int VKKRN_0xC3_DESFireCmd(int readerHnd, unsigned char adr, unsigned char b1, unsigned char b2,
                                    unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                    int format) {
    return withCommandReader(readerHnd, missing(request, reply, replyLen), [&](VKKRNReader& r) {
        return r.Exe_0xC3_DESFireCmd(adr, b1, b2, request, len, reply, replyLen, format);
    });
}

} // extern "C"
