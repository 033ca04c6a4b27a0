// Reader commands of the reader's data buffer: read (short and long form),
// information, clear and initialise, and its notification and software triggers.
#include "commands/command_call.h"

using namespace vkkrn;

int VKKRNReader::Exe_0x21_ReadBuffer(unsigned char adr, unsigned char b, unsigned char* head,
                                     unsigned char* count, unsigned char* out, int format) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x21_DATA rec;
        int format = 0;
        void presets() {
            *rec.a2 = 0;
            *rec.a3 = 0;
            rec.a4[0] = '0';
        }
        int request(unsigned char* data) {
            data[0] = rec.a1;
            return 1;
        }
        int parse(const unsigned char* d, int n) {
            *rec.a2 = d[0];
            *rec.a3 = d[1];
            if (d[1] != 0) putOutput(rec.a4, d + 2, n - 2, format);
            return 0;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x21;
    s.mode = format;
    s.parseFrom = 2;
    s.format = format;
    s.rec.a1 = b;
    s.rec.a2 = head;
    s.rec.a3 = count;
    s.rec.a4 = out;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x22_ReadBuffer(unsigned char adr, int number, unsigned char* head, int* count,
                                     unsigned char* out, int format) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x22_DATA rec;
        int format = 0;
        void presets() {
            rec.a2[0] = 0;
            *rec.a3 = 0;
            rec.a4[0] = '0';
        }
        int request(unsigned char* data) {
            putWord(data, static_cast<unsigned int>(rec.a1));
            return 2;
        }
        int parse(const unsigned char* d, int n) {
            rec.a2[0] = d[0];
            int header = 1;
            if ((d[0] & 0x80) != 0) {
                rec.a2[1] = d[1];
                header = 2;
            }
            // The count only when both its bytes came; data only as far as the
            // reply holds them.
            const int records = n >= header + 2 ? d[header] << 8 | d[header + 1] : 0;
            *rec.a3 = records;
            if (records > 0) putOutput(rec.a4, d + header + 2, n - header - 2, format);
            return 0;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x22;
    s.mode = format;
    s.parseFrom = 2;
    s.format = format;
    s.rec.a1 = number;
    s.rec.a2 = head;
    s.rec.a3 = count;
    s.rec.a4 = out;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x31_ReadDataBufferInfo(unsigned char adr, unsigned char* first, unsigned char* second,
                                             unsigned char* third, int format) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x31_DATA rec;
        int format = 0;
        void presets() {
            rec.a1[0] = '0';
            rec.a2[0] = '0';
            rec.a3[0] = '0';
        }
        int parse(const unsigned char* d, int n) {
            putFixedOutput(rec.a1, d, n, 0, 2, format);
            putFixedOutput(rec.a2, d, n, 2, 2, format);
            putFixedOutput(rec.a3, d, n, 4, 2, format);
            return 0;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x31;
    s.mode = format;
    s.format = format;
    s.rec.a1 = first;
    s.rec.a2 = second;
    s.rec.a3 = third;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x32_ClearDataBuffer(unsigned char adr) {
    return sendCommand(*this, adr, 0x32, nullptr, {});
}

int VKKRNReader::Exe_0x33_InitBuffer(unsigned char adr) {
    return sendCommand(*this, adr, 0x33, nullptr, {});
}

int VKKRNReader::Exe_0x34_ForceNotifyTrigger(unsigned char adr, unsigned char b) {
    _VKKRN_PLUGIN_0x34_DATA rec;
    rec.a1 = b;
    return sendCommand(*this, adr, 0x34, &rec, {b});
}

int VKKRNReader::Exe_0x35_SoftwareTrigger(unsigned char adr, unsigned char b1, unsigned char b2,
                                          unsigned char b3, unsigned int time) {
    _VKKRN_PLUGIN_0x35_DATA rec;
    rec.a1 = b1;
    rec.a2 = b2;
    rec.a3 = b3;
    rec.a4 = time;
    return sendCommand(*this, adr, 0x35, &rec,
                       {b1, b2, b3, static_cast<unsigned char>(time >> 8), static_cast<unsigned char>(time)});
}
