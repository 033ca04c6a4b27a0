// Export of the reader authentication that opens the authenticated channel.
#include "exports/export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_0xAE_ReaderAuthent(int readerHnd, int adr, int first, int keyType, int keyLength,
                                       unsigned char* key, int format) {
    return withCommandReader(readerHnd, key == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0xAE_ReaderAuthent(byteArg(adr), byteArg(first), byteArg(keyType), byteArg(keyLength),
                                        key, format);
    });
}

} // extern "C"
