// One function per library family: sets up its simulated devices, drives its
// handles from run.options().threads threads until the run ends, then closes
// everything it opened and checks what must hold at the end. The caller checks
// that descriptors and threads came back.
#ifndef VKSTRESS_FAMILIES_H
#define VKSTRESS_FAMILIES_H

#include "harness.h"

namespace vkstress {

void runCom(Run& run);
void runTcp(Run& run);
void runUsb(Run& run);
void runKrn(Run& run);
void runTcl(Run& run);

} // namespace vkstress

#endif
