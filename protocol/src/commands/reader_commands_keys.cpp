// The piggyback command, the reader login and the key writes. Key and login
// bytes are placed in the data buffer only, which the next command overwrites;
// the capture and the protocol log mask the key bytes.
#include "commands/command_call.h"

using namespace vkkrn;

int VKKRNReader::Exe_0x9F_PiggybackCommand(unsigned char adr, unsigned char b1, unsigned char b2,
                                           unsigned char b3, unsigned char* data, int count,
                                           unsigned char* out, int* outLength) {
    struct Shape : ExchangeShape<_VKKRN_PLUGIN_0x9F_DATA> {
        void presets() { *outLength = 0; }
    } s;
    s.adr = adr;
    s.cmd = 0x9F;
    const unsigned char lead[] = {b1, b2, b3};
    s.lead = lead;
    s.leadCount = 3;
    s.input = data;
    s.count = count;
    s.out = out;
    s.outLength = outLength;
    s.closingZero = true;
    s.rec.a1 = b1;
    s.rec.a2 = b2;
    s.rec.a3 = b3;
    s.rec.a4 = data;
    s.rec.a5 = count;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0xA0_RdLogin(unsigned char adr, unsigned char* login, int format) {
    _VKKRN_PLUGIN_0xA0_DATA rec;
    rec.a1 = login;
    InputShape s;
    s.adr = adr;
    s.cmd = 0xA0;
    s.mode = format;
    s.input = login;
    s.count = 4;
    s.closingZero = true;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0xA2_WriteMifareKeys(unsigned char adr, unsigned char b1, unsigned char b2,
                                          unsigned char* key, int format) {
    _VKKRN_PLUGIN_0xA2_DATA rec;
    rec.a1 = b1;
    rec.a2 = b2;
    rec.a3 = key;
    InputShape s;
    s.adr = adr;
    s.cmd = 0xA2;
    s.mode = format;
    s.lead[0] = b1;
    s.lead[1] = b2;
    s.leadCount = 2;
    s.input = key;
    s.count = 6;
    s.closingZero = true;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0xA3_Write_DES_AES_Keys(unsigned char adr, unsigned char b1, unsigned char b2,
                                             unsigned char b3, unsigned char keyLength, unsigned char* key,
                                             int format) {
    _VKKRN_PLUGIN_0xA3_DATA rec;
    rec.a1 = b1;
    rec.a2 = b2;
    rec.a3 = b3;
    rec.a4 = keyLength;
    rec.a5 = key;
    InputShape s;
    s.adr = adr;
    s.cmd = 0xA3;
    s.mode = format;
    s.lead[0] = b1;
    s.lead[1] = b2;
    s.lead[2] = b3;
    s.lead[3] = keyLength;
    s.leadCount = 4;
    s.input = key;
    s.count = keyLength;
    s.closingZero = true;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0xAD_WriteReaderAuthentKey(unsigned char adr, unsigned char b1, unsigned char b2,
                                                unsigned char keyLength, unsigned char* key, int format) {
    _VKKRN_PLUGIN_0xAD_DATA rec;
    rec.a1 = b1;
    rec.a2 = b2;
    rec.a3 = keyLength;
    rec.a4 = key;
    InputShape s;
    s.adr = adr;
    s.cmd = 0xAD;
    s.mode = format;
    s.lead[0] = b1;
    s.lead[1] = b2;
    s.lead[2] = keyLength;
    s.leadCount = 3;
    s.input = key;
    s.count = keyLength;
    s.closingZero = true;
    s.record = &rec;
    return runCommand(*this, s);
}
