// Exports of the reader's system commands.
#include "export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_0x65_SoftVersion(int readerHnd, int adr, unsigned char* out, int format) {
    return withCommandReader(readerHnd, out == nullptr, [&](VKKRNReader& r) {
        return r.Exe_0x65_SoftVersion(byteArg(adr), out, format);
    });
}

} // extern "C"
