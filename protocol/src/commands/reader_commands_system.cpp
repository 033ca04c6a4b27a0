// System commands of the reader: baud rate, flash loader, resets, version and
// reader information, channel analysis, RF control and noise, diagnostics and
// antenna tuning.
#include "commands/command_call.h"

using namespace vkkrn;

int VKKRNReader::Exe_0x52_GetBaud(unsigned char adr) {
    _VKKRN_PLUGIN_0x52_DATA rec;
    return sendCommand(*this, adr, 0x52, &rec, {0x00}, FirstGeneration::UsbRecord);
}

namespace {

// 0x55: once the reader answered status 0 it runs its flash loader, and the
// authenticated channel is over. The engine's own reference kept the cipher
// alive through the exchange.
int startFlashLoader(VKKRNReader& reader, unsigned char adr) {
    struct Shape : SendShape {
        void finished(VKKRNReader& r, int rc) {
            if (rc == 0) r.Cipher().reset();
        }
    } s;
    s.adr = adr;
    s.cmd = 0x55;
    s.firstGeneration = FirstGeneration::UsbRecord;
    return runCommand(reader, s);
}

} // namespace

int VKKRNReader::Exe_0x55_StartFlashLoader() {
    return startFlashLoader(*this, 0);
}

int VKKRNReader::Exe_0x55_StartFlashLoaderEx(unsigned char adr) {
    return startFlashLoader(*this, adr);
}

int VKKRNReader::Exe_0x63_CPUReset(unsigned char adr) {
    return sendCommand(*this, adr, 0x63, nullptr, {}, FirstGeneration::UsbRecord);
}

int VKKRNReader::Exe_0x64_SystemReset(unsigned char adr, unsigned char b) {
    _VKKRN_PLUGIN_0x64_DATA rec;
    rec.a1 = b;
    return sendCommand(*this, adr, 0x64, &rec, {b});
}

namespace {

// The whole reply to `out`, raw or hex, after out[0] = 0.
struct ReadOutShape : CommandShape {
    unsigned char* out = nullptr;
    int format = 0;
    void presets() { out[0] = 0; }
    int parse(const unsigned char* d, int n) {
        putOutput(out, d, n, format);
        return 0;
    }
};

} // namespace

int VKKRNReader::Exe_0x65_SoftVersion(unsigned char adr, unsigned char* out, int format) {
    struct Shape : ReadOutShape {
        int usbRequest(_VKKRN_PLUGIN_USB_DATA& usb, unsigned char*) { return usbHeadOnly(usb, 10); }
    } s;
    _VKKRN_PLUGIN_0x65_DATA rec;
    rec.a1 = out;
    s.adr = adr;
    s.cmd = 0x65;
    s.mode = format;
    s.firstGeneration = FirstGeneration::UsbRecord;
    s.out = out;
    s.format = format;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x66_ReaderInfo(unsigned char adr, unsigned char mode, unsigned char* out, int format) {
    struct Shape : ReadOutShape {
        unsigned char requestMode = 0;
        int request(unsigned char* data) {
            data[0] = requestMode;
            return 1;
        }
    } s;
    _VKKRN_PLUGIN_0x66_DATA rec;
    rec.a1 = mode;
    rec.a2 = out;
    s.adr = adr;
    s.cmd = 0x66;
    s.mode = format;
    s.requestMode = mode;
    s.out = out;
    s.format = format;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x68_FFT(unsigned char adr, unsigned char m1, unsigned char m2, unsigned char b3,
                              unsigned char b4, int count, long* values) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x68_DATA rec;
        int request(unsigned char* data) {
            data[0] = rec.a1;
            data[1] = rec.a2;
            data[2] = rec.a3;
            data[3] = rec.a4;
            putWord(data + 4, static_cast<unsigned int>(rec.a5));
            return 6;
        }
        // The value width by m1 and m2: 4 or 2 bytes unsigned, 1 byte signed, or
        // 0 (no values).
        int width() const {
            if ((rec.a1 & 0x01) != 0) return 4;
            if ((rec.a1 & 0x10) != 0) return rec.a2 == 0 ? 4 : (rec.a2 == 1 || rec.a2 == 2 ? 2 : 0);
            if ((rec.a1 & 0x40) != 0) return 2;
            if ((rec.a1 & 0x0C) != 0) return 1;
            return 0;
        }
        int parse(const unsigned char* d, int n) {
            const int w = width();
            if (w == 0) return 0;
            if (n > ((rec.a1 & 0x01) != 0 ? 16 : 516)) return kErrBufferOverflow;
            if (rec.a6 == nullptr) return 0;
            // A partial last value is dropped.
            for (int i = 0; i + w <= n; i += w) {
                long v = 0;
                if (w == 1)
                    v = static_cast<signed char>(d[i]);
                else
                    for (int k = 0; k < w; ++k)
                        v = v << 8 | d[i + k];
                rec.a6[i / w] = v;
            }
            return 0;
        }
    } s;
    s.adr = adr;
    s.cmd = 0x68;
    s.rec.a1 = m1;
    s.rec.a2 = m2;
    s.rec.a3 = b3;
    s.rec.a4 = b4;
    s.rec.a5 = count;
    s.rec.a6 = values;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x69_RFReset(unsigned char adr) {
    return sendCommand(*this, adr, 0x69, nullptr, {}, FirstGeneration::UsbRecord);
}

int VKKRNReader::Exe_0x6A_RFOnOff(unsigned char adr, unsigned char b) {
    _VKKRN_PLUGIN_0x6A_DATA rec;
    rec.a1 = b;
    return sendCommand(*this, adr, 0x6A, &rec, {b}, FirstGeneration::UsbRecord, b);
}

int VKKRNReader::Exe_0x6B_InitNoiseThreshold(unsigned char adr) {
    return sendCommand(*this, adr, 0x6B, nullptr, {});
}

int VKKRNReader::Exe_0x6B_CentralizedRFSync(unsigned char adr, unsigned char a, unsigned char b, int time,
                                            unsigned char c, unsigned char d) {
    _VKKRN_PLUGIN_0x6B_DATA rec;
    rec.a1 = a;
    rec.a2 = b;
    rec.a3 = time;
    rec.a4 = c;
    rec.a5 = d;
    return sendCommand(*this, adr, 0x6B, &rec,
                       {a, c, d, b, static_cast<unsigned char>(time >> 8), static_cast<unsigned char>(time)});
}

int VKKRNReader::Exe_0x6C_SetNoiseLevel(unsigned char adr, unsigned char* levels, int format) {
    _VKKRN_PLUGIN_0x6C_DATA rec;
    rec.a1 = levels;
    InputShape s;
    s.adr = adr;
    s.cmd = 0x6C;
    s.mode = format;
    s.input = levels;
    s.count = 6;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x6D_GetNoiseLevel(unsigned char adr, unsigned char* out, int format) {
    _VKKRN_PLUGIN_0x6D_DATA rec;
    rec.a1 = out;
    FixedReadShape<6> s;
    s.adr = adr;
    s.cmd = 0x6D;
    s.mode = format;
    s.out = out;
    s.record = &rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x6E_RdDiag(unsigned char adr, unsigned char mode, unsigned char* buffer) {
    struct Shape : CommandShape {
        _VKKRN_PLUGIN_0x6E_DATA rec;
        int request(unsigned char* data) {
            data[0] = rec.a1;
            if (rec.a1 != 0x21) return 1;
            data[1] = rec.a2[0];
            return 2;
        }
        int parse(const unsigned char* d, int n) {
            putOutput(rec.a2, d, n, kFormatRaw);
            return 0;
        }
        void unparsed() { rec.a2[0] = 0; }
    } s;
    s.adr = adr;
    s.cmd = 0x6E;
    s.rec.a1 = mode;
    s.rec.a2 = buffer;
    s.record = &s.rec;
    return runCommand(*this, s);
}

int VKKRNReader::Exe_0x6F_AntennaTuning(unsigned char adr) {
    return sendCommand(*this, adr, 0x6F, nullptr, {});
}
