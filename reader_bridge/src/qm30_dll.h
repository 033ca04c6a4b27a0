// State of the hex-string command interface that the dongle reader shares.
#ifndef KESTOREADER_QM30_DLL_INTERNAL_H
#define KESTOREADER_QM30_DLL_INTERNAL_H

namespace vemlasdknative {

// Revision of the dongle's controller, d0 * 256 + d1 * 16 + d2 of its 0xBC
// answer; frames go out in chunks through the controller above 0x363.
extern int MCUrev;
inline constexpr int kMCUrevInitial = 0x365;
inline constexpr int kLastSingleReportRev = 0x363;

} // namespace vemlasdknative

#endif
