// Reader commands of the configuration blocks and configurations, the system
// timer and the date.
#include "commands/command_call.h"

using namespace vkkrn;

int VKKRNReader::Exe_0x80_ReadConfBlock(unsigned char adr, unsigned char address, unsigned char* out,
                                        int format) {
    struct Shape : FixedReadShape<14> {
        unsigned char address = 0;
        int usbRequest(_VKKRN_PLUGIN_USB_DATA& usb, unsigned char*) { return usbHeadOnly(usb, 17, address); }
        int request(unsigned char* data) {
            data[0] = address;
            return 1;
        }
    } s;
    _VKKRN_PLUGIN_0x80_DATA rec;
    rec.a1 = address;
    rec.a2 = out;
    s.adr = adr;
    s.cmd = 0x80;
    s.mode = format;
    s.firstGeneration = FirstGeneration::UsbRecord;
    s.address = address;
    s.out = out;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x81_WriteConfBlock(unsigned char adr, unsigned char address, unsigned char* data,
                                         int format) {
    // First generation: the address goes into the head, the 14 bytes are the
    // payload.
    struct Shape : InputShape {
        int usbRequest(_VKKRN_PLUGIN_USB_DATA& usb, unsigned char* buffer) {
            usb.header3 = lead[0];
            usb.kind = 2;
            usb.length = 14;
            if (const int rc = readInput(input, 14, mode, buffer)) return rc;
            return 14;
        }
    } s;
    _VKKRN_PLUGIN_0x81_DATA rec;
    rec.a1 = address;
    rec.a2 = data;
    s.adr = adr;
    s.cmd = 0x81;
    s.mode = format;
    s.firstGeneration = FirstGeneration::UsbRecord;
    s.lead[0] = address;
    s.leadCount = 1;
    s.input = data;
    s.count = 14;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x82_SaveConfBlock(unsigned char adr, unsigned char address) {
    _VKKRN_PLUGIN_0x82_DATA rec;
    rec.a1 = address;
    return sendCommand(*this, adr, 0x82, &rec, {address}, FirstGeneration::UsbRecord, address);
}

int VKKRNReader::Exe_0x83_ResetConfBlock(unsigned char adr, unsigned char address) {
    _VKKRN_PLUGIN_0x83_DATA rec;
    rec.a1 = address;
    return sendCommand(*this, adr, 0x83, &rec, {address}, FirstGeneration::UsbRecord, address);
}

int VKKRNReader::Exe_0x85_SetSysTimer(unsigned char adr, unsigned char* timer, int format) {
    _VKKRN_PLUGIN_0x85_DATA rec;
    rec.a1 = timer;
    InputShape s;
    s.adr = adr;
    s.cmd = 0x85;
    s.mode = format;
    s.input = timer;
    s.count = 4;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x86_GetSysTimer(unsigned char adr, unsigned char* out, int format) {
    _VKKRN_PLUGIN_0x86_DATA rec;
    rec.a1 = out;
    FixedReadShape<4> s;
    s.adr = adr;
    s.cmd = 0x86;
    s.mode = format;
    s.out = out;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x87_SetSystemDate(unsigned char adr, unsigned char b1, unsigned char b2,
                                        unsigned char b3, unsigned char b4, unsigned char b5,
                                        unsigned char b6, unsigned char b7, int value) {
    _VKKRN_PLUGIN_0x87_DATA rec;
    rec.a1 = b1;
    rec.a2 = b2;
    rec.a3 = b3;
    rec.a4 = b4;
    rec.a5 = b5;
    rec.a6 = b6;
    rec.a7 = b7;
    rec.a8 = value;
    return sendCommand(*this, adr, 0x87, &rec,
                       {b1, b2, b3, b4, b5, b6, b7, static_cast<unsigned char>(value >> 8),
                        static_cast<unsigned char>(value)});
}

int VKKRNReader::Exe_0x88_GetSystemDate(unsigned char adr, unsigned char* d1, unsigned char* d2,
                                        unsigned char* d3, unsigned char* d4, unsigned char* d5,
                                        unsigned char* d6, unsigned char* d7, int* value) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x88_DATA rec;
        int parse(const unsigned char* d, int n) {
            unsigned char* outs[] = {rec.a1, rec.a2, rec.a3, rec.a4, rec.a5, rec.a6, rec.a7};
            for (int i = 0; i < 7; ++i)
                *outs[i] = replyByte(d, n, i);
            *rec.a8 = replyByte(d, n, 7) << 8 | replyByte(d, n, 8);
            return 0;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x88;
    s.rec.a1 = d1;
    s.rec.a2 = d2;
    s.rec.a3 = d3;
    s.rec.a4 = d4;
    s.rec.a5 = d5;
    s.rec.a6 = d6;
    s.rec.a7 = d7;
    s.rec.a8 = value;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x8A_ReadConfiguration(unsigned char adr, unsigned char b1, unsigned char b2,
                                            unsigned char b3, unsigned int value, unsigned char b5,
                                            unsigned char* blockCount, unsigned char* blockSize,
                                            unsigned char* out) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x8A_DATA rec;
        unsigned char* blockCount = nullptr;
        unsigned char* blockSize = nullptr;
        unsigned char* out = nullptr;
        int request(unsigned char* data) {
            data[0] = rec.a1;
            data[1] = rec.a2;
            data[2] = rec.a3;
            putWord(data + 3, rec.a4);
            data[5] = rec.a5;
            return 6;
        }
        int parse(const unsigned char* d, int n) {
            *blockCount = replyByte(d, n, 0);
            *blockSize = replyByte(d, n, 1);
            const int bytes = *blockCount * (*blockSize + 2);
            if (bytes <= n - 2) std::memcpy(out, d + 2, static_cast<std::size_t>(bytes));
            return 0;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x8A;
    s.blockCount = blockCount;
    s.blockSize = blockSize;
    s.out = out;
    s.rec.a1 = b1;
    s.rec.a2 = b2;
    s.rec.a3 = b3;
    s.rec.a4 = value;
    s.rec.a5 = b5;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x8B_WriteConfiguration(unsigned char adr, unsigned char b1, unsigned char b2,
                                             unsigned char b3, unsigned char blockCount,
                                             unsigned char blockSize, unsigned char* data) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x8B_DATA rec;
        int bytes() const { return rec.a4 * (rec.a5 + 2); }
        int check() { return 5 + bytes() > kMaxRequestData ? kErrOutOfRange : 0; }
        int request(unsigned char* buffer) {
            const unsigned char lead[] = {rec.a1, rec.a2, rec.a3, rec.a4, rec.a5};
            std::memcpy(buffer, lead, sizeof lead);
            std::memcpy(buffer + sizeof lead, rec.a6, static_cast<std::size_t>(bytes()));
            return 5 + bytes();
        }
    } s;
    s.adr = adr;
    s.cmd = 0x8B;
    s.rec.a1 = b1;
    s.rec.a2 = b2;
    s.rec.a3 = b3;
    s.rec.a4 = blockCount;
    s.rec.a5 = blockSize;
    s.rec.a6 = data;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x8C_ResetConfiguration(unsigned char adr, unsigned char b1, unsigned char b2,
                                             unsigned char b3, unsigned int value, unsigned char b5) {
    _VKKRN_PLUGIN_0x8C_DATA rec;
    rec.a1 = b1;
    rec.a2 = b2;
    rec.a3 = b3;
    rec.a4 = value;
    rec.a5 = b5;
    return sendCommand(
        *this, adr, 0x8C, &rec,
        {b1, b2, b3, static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value), b5});
}
