// Reader commands for the transponders in the field and for data exchanged with
// them: destroy, halt, quiet-bit reset, EAS request, table and MAX data exchange.
#include "command_call.h"

using namespace vkkrn;

int VKKRNReader::Exe_0x1A_Halt(unsigned char adr) {
    CommandShape s;
    s.adr = adr;
    s.cmd = 0x1A;
    return runCommand(*this, s);
}
