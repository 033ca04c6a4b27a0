// System commands of the reader: baud rate, flash loader, resets, version and
// reader information, channel analysis, RF control and noise, diagnostics and
// antenna tuning.
#include "command_call.h"

using namespace vkkrn;

int VKKRNReader::Exe_0x65_SoftVersion(unsigned char adr, unsigned char* out, int format) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x65_DATA rec;
        unsigned char* out = nullptr;
        int format = 0;
        void presets() { out[0] = 0; }
        int usbRequest(_VKKRN_PLUGIN_USB_DATA& usb, unsigned char*) { return usbHeadOnly(usb, 10); }
        int parse(const unsigned char* d, int n) {
            putOutput(out, d, n, format);
            return 0;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x65;
    s.mode = format;
    s.firstGeneration = FirstGeneration::UsbRecord;
    s.out = out;
    s.format = format;
    s.rec.a1 = out;
    s.record = &s.rec;
    return runCommand(*this, s);
}
