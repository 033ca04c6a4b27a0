// Exports of the piggyback command, the reader login and the key writes.
#include "exports/export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_0x9F_Piggyback_Command(int readerHnd, int adr, int b1, int b2, int b3,
                                           unsigned char* data, int count, unsigned char* out,
                                           int* outLength) {
    return withCommandReader(readerHnd, data == nullptr || out == nullptr || outLength == nullptr,
                             [&](VKKRNReader& r) {
                                 return r.Exe_0x9F_PiggybackCommand(byteArg(adr), byteArg(b1), byteArg(b2),
                                                                    byteArg(b3), data, count, out, outLength);
                             });
}

VKKRN_API int VKKRN_0xA0_RdLogin(int readerHnd, int adr, unsigned char* login, int format) {
    return withCommandReader(readerHnd, login == nullptr,
                             [&](VKKRNReader& r) { return r.Exe_0xA0_RdLogin(byteArg(adr), login, format); });
}

VKKRN_API int VKKRN_0xA2_WriteMifareKeys(int readerHnd, int adr, int b1, int b2, unsigned char* key,
                                         int format) {
    return withCommandReader(readerHnd, key == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0xA2_WriteMifareKeys(byteArg(adr), byteArg(b1), byteArg(b2), key, format);
    });
}

VKKRN_API int VKKRN_0xA3_Write_DES_AES_Keys(int readerHnd, int adr, int b1, int b2, int b3, int keyLength,
                                            unsigned char* key, int format) {
    return withCommandReader(readerHnd, key == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0xA3_Write_DES_AES_Keys(byteArg(adr), byteArg(b1), byteArg(b2), byteArg(b3),
                                             byteArg(keyLength), key, format);
    });
}

VKKRN_API int VKKRN_0xAD_WriteReaderAuthentKey(int readerHnd, int adr, int b1, int b2, int keyLength,
                                               unsigned char* key, int format) {
    return withCommandReader(readerHnd, key == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0xAD_WriteReaderAuthentKey(byteArg(adr), byteArg(b1), byteArg(b2), byteArg(keyLength),
                                                key, format);
    });
}

} // extern "C"
