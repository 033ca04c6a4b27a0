// Reader commands for the transponders in the field and for data exchanged with
// them: destroy, halt, quiet-bit reset, EAS request, table and MAX data exchange.
#include "commands/command_call.h"

using namespace vkkrn;

int VKKRNReader::Exe_0x18_Destroy(unsigned char adr, unsigned char mode, unsigned char* identifier,
                                  unsigned char* code) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x18_DATA rec;
        int check() { return rec.a1 == 0 || rec.a1 == 1 ? 0 : kErrOutOfRange; }
        int request(unsigned char* data) {
            data[0] = rec.a1;
            int n = 1;
            if (rec.a1 == 1) {
                std::memcpy(data + n, rec.a2, 19);
                n += 19;
            } else if ((rec.a2[0] & 0xC0) == 0) {
                std::memcpy(data + n, rec.a2, 12);
                n += 12;
            } else {
                // An identifier of 8 bytes: its last four positions are 0x00.
                std::memcpy(data + n, rec.a2, 8);
                std::memset(data + n + 8, 0, 4);
                n += 12;
            }
            std::memcpy(data + n, rec.a3, 3);
            return n + 3;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x18;
    s.rec.a1 = mode;
    s.rec.a2 = identifier;
    s.rec.a3 = code;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x1A_Halt(unsigned char adr) {
    return sendCommand(*this, adr, 0x1A, nullptr, {});
}

int VKKRNReader::Exe_0x1B_ResetQuietBit(unsigned char adr) {
    return sendCommand(*this, adr, 0x1B, nullptr, {}, FirstGeneration::UsbRecord);
}

int VKKRNReader::Exe_0x1C_EASRequest(unsigned char adr) {
    return sendCommand(*this, adr, 0x1C, nullptr, {}, FirstGeneration::UsbRecord);
}

int VKKRNReader::Exe_0x1E_TableDataExchange(unsigned char adr, unsigned char b1, unsigned char b2,
                                            unsigned char b3, unsigned char b4, unsigned char b5,
                                            unsigned char* data, int count, unsigned char* out,
                                            int* outLength) {
    ExchangeShape<_VKKRN_PLUGIN_0x1E_DATA> s;
    s.adr = adr;
    s.cmd = 0x1E;
    s.firstGeneration = FirstGeneration::RefusedUnlocked;
    const unsigned char lead[] = {b1, b2, b3, b4, b5};
    s.lead = lead;
    s.leadCount = 5;
    s.input = data;
    s.count = count;
    s.out = out;
    s.outLength = outLength;
    s.rec.a1 = b1;
    s.rec.a2 = b2;
    s.rec.a3 = b3;
    s.rec.a4 = b4;
    s.rec.a5 = b5;
    s.rec.a6 = data;
    s.rec.a7 = count;
    s.rec.a8 = out;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x1F_MAXDataExchange(unsigned char adr, unsigned char b1, unsigned char b2,
                                          unsigned char b3, unsigned char* data, int count,
                                          unsigned char* out, int* outLength, int format) {
    ExchangeShape<_VKKRN_PLUGIN_0x1F_DATA> s;
    s.adr = adr;
    s.cmd = 0x1F;
    s.mode = format;
    s.firstGeneration = FirstGeneration::RefusedUnlocked;
    const unsigned char lead[] = {b1, b2, b3};
    s.lead = lead;
    s.leadCount = 3;
    s.input = data;
    s.count = count;
    s.format = format;
    s.out = out;
    s.outLength = outLength;
    s.rec.a1 = b1;
    s.rec.a2 = b2;
    s.rec.a3 = b3;
    s.rec.a4 = data;
    s.rec.a5 = count;
    s.rec.a6 = out;
    s.record = &s.rec;
    return runCommand(*this, s);
}
