// Reader commands of outputs, inputs, antennas and the display.
#include "commands/command_call.h"

using namespace vkkrn;

int VKKRNReader::Exe_0x71_SetOutput(unsigned char adr, int v1, int v2, int v3, int v4) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x71_DATA rec;
        int checkFirst() {
            for (const int v : {rec.a1, rec.a2, rec.a3, rec.a4})
                if (v < 0 || v > 0xFFFF) return kErrOutOfRange;
            return 0;
        }
        int request(unsigned char* data) {
            putWord(data, static_cast<unsigned int>(rec.a1));
            putWord(data + 2, static_cast<unsigned int>(rec.a2));
            putWord(data + 4, static_cast<unsigned int>(rec.a3));
            putWord(data + 6, static_cast<unsigned int>(rec.a4));
            return 8;
        }
        // First generation: the same eight bytes as its payload.
        int usbRequest(_VKKRN_PLUGIN_USB_DATA& usb, unsigned char* data) {
            usb.kind = 2;
            usb.length = 8;
            return request(data);
        }
    } s;
    s.adr = adr;
    s.cmd = 0x71;
    s.firstGeneration = FirstGeneration::UsbRecord;
    s.rec.a1 = v1;
    s.rec.a2 = v2;
    s.rec.a3 = v3;
    s.rec.a4 = v4;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x72_SetOutput(unsigned char adr, unsigned char mode, unsigned char count,
                                    unsigned char* records) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x72_DATA rec;
        int checkFirst() { return rec.a3 == nullptr ? kErrOutOfRange : 0; }
        int request(unsigned char* data) {
            data[0] = rec.a1;
            data[1] = rec.a2;
            std::memcpy(data + 2, rec.a3, 4u * rec.a2);
            return 2 + 4 * rec.a2;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x72;
    s.rec.a1 = mode;
    s.rec.a2 = count;
    s.rec.a3 = records;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x74_ReadInput(unsigned char adr, unsigned char* out) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x74_DATA rec;
        void presets() { *rec.a1 = 0; }
        int usbRequest(_VKKRN_PLUGIN_USB_DATA& usb, unsigned char*) { return usbHeadOnly(usb, 4); }
        int parse(const unsigned char* d, int) {
            *rec.a1 = d[0];
            return 0;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x74;
    s.firstGeneration = FirstGeneration::UsbRecord;
    s.rec.a1 = out;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x75_AdjAntenna(unsigned char adr, unsigned char* out, int format) {
    _VKKRN_PLUGIN_0x75_DATA rec;
    rec.a1 = out;
    FixedReadShape<2> s;
    s.adr = adr;
    s.cmd = 0x75;
    s.mode = format;
    s.out = out;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x76_CheckAntennas(unsigned char adr, unsigned char b, unsigned char* out,
                                        int* outLength) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x76_DATA rec;
        void presets() {
            rec.a2[0] = 0;
            *rec.a3 = 0;
        }
        int request(unsigned char* data) {
            data[0] = rec.a1;
            return 1;
        }
        int parse(const unsigned char* d, int n) {
            std::memcpy(rec.a2, d, static_cast<std::size_t>(n));
            *rec.a3 = n;
            return 0;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x76;
    s.firstGeneration = FirstGeneration::RefusedUnlocked;
    s.rec.a1 = b;
    s.rec.a2 = out;
    s.rec.a3 = outLength;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x7A_WriteDisplay(unsigned char adr, unsigned char b1, unsigned char b2,
                                       unsigned char b3, unsigned char b4, unsigned char b5,
                                       unsigned char length, char* text) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x7A_DATA rec;
        int request(unsigned char* data) {
            const unsigned char lead[] = {rec.a1, rec.a2, rec.a3, rec.a4, rec.a5, rec.a6};
            std::memcpy(data, lead, sizeof lead);
            std::memcpy(data + sizeof lead, rec.a7, rec.a6);
            return 6 + rec.a6;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x7A;
    s.firstGeneration = FirstGeneration::RefusedUnlocked;
    s.rec.a1 = b1;
    s.rec.a2 = b2;
    s.rec.a3 = b3;
    s.rec.a4 = b4;
    s.rec.a5 = b5;
    s.rec.a6 = length;
    s.rec.a7 = text;
    s.record = &s.rec;
    return runCommand(*this, s);
}
