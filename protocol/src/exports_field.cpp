// Exports of the reader commands for the field and its data exchange.
#include "export_frame.h"

#include <vkkrn.h>

using namespace vkkrn;

extern "C" {

VKKRN_API int VKKRN_0x1A_Halt(int readerHnd, int adr) {
    return withCommandReader(readerHnd, false, [&](VKKRNReader& r) { return r.Exe_0x1A_Halt(byteArg(adr)); });
}

} // extern "C"
