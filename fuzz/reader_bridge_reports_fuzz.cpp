// Any sequence of input reports from the dongle, answering one command.
// Input: byte 0 picks the command (0 select, 1 one-report frame, 2 chunked
// frame, 3 revision), byte 1 the frame length, then reports as {length, bytes}.
// The reply text must stay within the stated size and be terminated.
#include "hid_manager.h"
#include "qm30_dll.h"

#include <hidsim/hidsim.h>
#include <kestoreader/qm30_dll.h>

#include <cstdint>
#include <cstring>
#include <string>

using namespace vemlasdknative;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    hidsim::reset();
    hidsim::DeviceProfile profile;
    profile.vendor = KESTO_VENDOR_ID;
    profile.product = KESTO_PRODUCT_ID2;
    profile.manufacturer = KESTO_MANUFACTURER;
    profile.numberedReports = true;
    int device = hidsim::plug(profile, nullptr);
    const int which = data[0] % 4;
    const std::size_t frameLength = data[1] * 3u; // up to 765 bytes: every chunk count
    for (std::size_t at = 2; at < size;) {
        std::size_t n = data[at++];
        n = std::min(n, size - at);
        hidsim::queueInput(device, hidsim::Report(data + at, data + at + n));
        at += n;
    }

    char reply[QM30_REPLY_TEXT_SIZE + 1];
    std::memset(reply, 'X', sizeof reply);
    std::string frame(2 * frameLength, 'A');
    MCUrev = which == 1 ? kLastSingleReportRev : kMCUrevInitial;
    {
        HidManager manager;
        switch (which) {
        case 0: QM30Dll_Select(&manager, "0201", reply); break;
        case 1: QM30Dll_SendReceive(&manager, frameLength <= 61 ? frame.c_str() : "26", reply); break;
        case 2: QM30Dll_SendReceive(&manager, frame.c_str(), reply); break;
        default: QM30DLL_getMCUrev(&manager, reply); break;
        }
    }
    if (std::memchr(reply, '\0', QM30_REPLY_TEXT_SIZE) == nullptr && reply[0] != 'X') __builtin_trap();
    if (reply[QM30_REPLY_TEXT_SIZE] != 'X') __builtin_trap();
    if (hidsim::counters().liveHandles != 0 || !hidsim::violations().empty()) __builtin_trap();
    return 0;
}
