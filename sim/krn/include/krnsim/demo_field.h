// The two tags the standalone simulator and the main example put in the field.
#ifndef KRNSIM_DEMO_FIELD_H
#define KRNSIM_DEMO_FIELD_H

#include <krnsim/reader.h>

namespace krnsim {

// E0 04 01 00 12 34 56 78: type 0x03, 8 blocks of 4 bytes, block n holds four bytes n.
// E0 04 01 00 9A BC DE F0: type 0x03, 16 blocks of 8 bytes 0x00 to 0x7F, read-only.
void addDemoTags(Reader& reader);

} // namespace krnsim

#endif
