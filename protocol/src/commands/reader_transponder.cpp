// Transponder, transparent, SAM and card-crypto commands (0xB0-0xB5, 0xBB,
// 0xBD-0xC3, 0xFE). They run the command course of command_call.h with one
// shape: leading or parameter bytes, then the caller's request (hex text only
// with format 1, an odd last digit standing alone), the first-generation USB
// form of the ISO and ISO transparent commands, and the reply data copied out
// as bytes or hex text. The synchronous SAM command also swaps the port's
// "Timeout" around its exchange.
#include "commands/command_call.h"

#include <cstdio>
#include <cstring>

using namespace vkkrn;

namespace {

// How a command meets a reader on a first-generation USB port.
enum class UsbForm {
    Refused,     // no first-generation form: -4006, nothing sent
    Iso,         // header 0, lead, r0, r1; payload from the request's third byte
    IsoOneByte,  // header 0, 0, r0, 0; payload from the request's second byte
    Transparent, // header 0, 0, 0, mode; payload value and request when there is a request
};

constexpr int kFieldLength = 3;
constexpr int kFieldAt = 2;
constexpr unsigned int kUsbReplyAdvanced = 4096;
constexpr unsigned int kUsbReplyStandard = 255;
// Port parameter values are short texts; room to spare.
constexpr std::size_t kPortValueLength = 256;

struct TransponderShape : CommandShape {
    VKKRNReader* reader = nullptr;
    unsigned char lead[7] = {}; // leading or parameter bytes laid before the request
    int leadLen = 0;
    // 0xC1's three-byte field (six hex characters with format 1), laid at lead[2].
    const unsigned char* field = nullptr;
    const unsigned char* input = nullptr; // the caller's request
    long long inputLen = 0;               // as the caller passed it: characters with format 1
    int format = 0;                       // request hex text only with 1; reply bytes only with 0
    bool refusedOnUsb = false;            // refused on USB readers of either generation
    UsbForm usbForm = UsbForm::Refused;
    unsigned char headerLead = 0; // header byte 1 of the ISO form: 0xB1's and 0xB5's leading byte
    unsigned char* reply = nullptr;
    int* replyLen = nullptr;
    const int* samTimeout = nullptr; // 0xC0: the port time-out for the exchange, in 100 ms
    bool timeoutSwapped = false;
    char oldTimeout[kPortValueLength + 1] = {};

    void presets() { *replyLen = 0; }
    int checkFirst() { return refusedOnUsb && reader->GetCommMode() == 1 ? kErrFirstGenerationUsb : 0; }
    // Request bytes the command lays, leading bytes included, within what a frame carries.
    int check() {
        const long long bytes = leadLen + (format == kFormatHex ? (inputLen + 1) / 2 : inputLen);
        return inputLen < 0 || bytes > kMaxRequestData ? kErrOutOfRange : 0;
    }

    // The request bytes at `out`: their count, or -4052 for a character that is
    // not a hex digit.
    int takeRequest(unsigned char* out) const {
        const auto n = static_cast<std::size_t>(inputLen);
        if (format != kFormatHex) {
            if (n > 0) std::memcpy(out, input, n);
            return static_cast<int>(n);
        }
        const auto decoded = codec::decodeHexRequest({input, n}, {out, (n + 1) / 2});
        return decoded ? static_cast<int>(*decoded) : kErrOddHex;
    }

    int request(unsigned char* d) {
        std::memcpy(d, lead, static_cast<std::size_t>(leadLen));
        if (field != nullptr) {
            if (format == kFormatHex) {
                if (!codec::decodeHex({field, 2 * kFieldLength}, {d + kFieldAt, kFieldLength}))
                    return kErrOddHex;
            } else {
                std::memcpy(d + kFieldAt, field, kFieldLength);
            }
        }
        const int n = takeRequest(d + leadLen);
        if (n < 0) return n;
        d[leadLen + n] = 0;
        if (samTimeout != nullptr) swapTimeout();
        return leadLen + n;
    }

    int usbRequest(_VKKRN_PLUGIN_USB_DATA& usb, unsigned char* d) {
        int payload = 0;
        if (usbForm == UsbForm::Transparent) {
            usb.header4 = lead[0];
            if (inputLen > 0) {
                // The value, then the request; the mode went into the header.
                d[0] = lead[1];
                d[1] = lead[2];
                const int n = takeRequest(d + 2);
                if (n < 0) return n;
                payload = 2 + n;
            }
        } else {
            const int n = takeRequest(d);
            if (n < 0) return n;
            const int take = usbForm == UsbForm::IsoOneByte ? 1 : 2;
            // Header bytes the request does not supply are 0.
            usb.header2 = headerLead;
            usb.header3 = n > 0 ? d[0] : 0;
            usb.header4 = take == 2 && n > 1 ? d[1] : 0;
            if (n > take) {
                payload = n - take;
                std::memmove(d, d + take, static_cast<std::size_t>(payload));
            }
        }
        if (payload == 0)
            return usbHeadOnly(usb, reader->GetCommFrame() == 2 ? kUsbReplyAdvanced : kUsbReplyStandard,
                               usb.header3);
        usb.kind = 2;
        usb.length = static_cast<unsigned int>(payload);
        d[payload] = 0;
        return payload;
    }

    int parse(const unsigned char* d, int n) {
        *replyLen = putOutput(reply, d, n, format);
        return 0;
    }

    // The SAM command's exchange runs under 100 x its time-out argument (ms) when
    // the port's "Timeout" can be read; a value the port refuses leaves the
    // port's own. The port parameters store their results as the last error:
    // the command's last error stays its exchange's, as for any other command.
    void swapTimeout() {
        const int portType = reader->GetCommMode();
        if (portType != 0 && portType != 1 && portType != 2) return;
        if (reader->GetPortHnd() <= 0) return;
        const int lastBefore = reader->GetLastError();
        char key[] = "Timeout";
        if (reader->GetPortPara(key, oldTimeout) == 0) {
            oldTimeout[kPortValueLength] = 0;
            char value[32];
            std::snprintf(value, sizeof value, "%lld", 100LL * *samTimeout);
            reader->SetPortPara(key, value);
            timeoutSwapped = true;
        }
        reader->SetLastError(lastBefore);
    }

    void finished(VKKRNReader& r, int) {
        if (!timeoutSwapped) return;
        const int exchanged = r.GetLastError();
        char key[] = "Timeout";
        r.SetPortPara(key, oldTimeout);
        r.SetLastError(exchanged);
    }
};

TransponderShape shapeOf(VKKRNReader& reader, unsigned char cmd, unsigned char adr, unsigned char* request,
                         long long len, unsigned char* reply, int* replyLen, int format, UsbForm usbForm,
                         void* record) {
    TransponderShape s;
    s.reader = &reader;
    s.cmd = cmd;
    s.adr = adr;
    s.mode = format;
    s.format = format;
    s.input = request;
    s.inputLen = len;
    s.reply = reply;
    s.replyLen = replyLen;
    s.usbForm = usbForm;
    s.firstGeneration = usbForm == UsbForm::Refused ? FirstGeneration::Refused : FirstGeneration::UsbRecord;
    s.record = record;
    return s;
}

// 0xB0, 0xB2, 0xB3 and 0xFE: the request alone.
template <typename Record>
int isoCommand(VKKRNReader& reader, unsigned char cmd, unsigned char adr, unsigned char* request, int len,
               unsigned char* reply, int* replyLen, int format, UsbForm rule) {
    Record record;
    record.a1 = request;
    record.a2 = len;
    TransponderShape c = shapeOf(reader, cmd, adr, request, len, reply, replyLen, format, rule, &record);
    c.refusedOnUsb = cmd == 0xFE;
    return runCommand(reader, c);
}

// 0xB1, 0xB4 and 0xB5: a leading byte, then the request.
template <typename Record>
int leadCommand(VKKRNReader& reader, unsigned char cmd, unsigned char adr, unsigned char lead,
                unsigned char* request, int len, unsigned char* reply, int* replyLen, int format,
                UsbForm rule) {
    Record record;
    record.a1 = lead;
    record.a2 = request;
    record.a3 = len;
    TransponderShape c = shapeOf(reader, cmd, adr, request, len, reply, replyLen, format, rule, &record);
    c.lead[0] = lead;
    c.leadLen = 1;
    c.headerLead = lead;
    return runCommand(reader, c);
}

// 0xBD, 0xBE and 0xBF: mode, 16-bit value, request.
template <typename Record>
int transparentCommand(VKKRNReader& reader, unsigned char cmd, unsigned char adr, int mode, int value,
                       unsigned char* request, int len, unsigned char* reply, int* replyLen, int format) {
    Record record;
    record.a1 = static_cast<unsigned char>(mode);
    record.a2 = value;
    record.a3 = request;
    record.a4 = len;
    TransponderShape c =
        shapeOf(reader, cmd, adr, request, len, reply, replyLen, format, UsbForm::Transparent, &record);
    c.lead[0] = static_cast<unsigned char>(mode);
    putWord(c.lead + 1, static_cast<unsigned int>(value));
    c.leadLen = 3;
    return runCommand(reader, c);
}

// 0xC2 and 0xC3: two bytes, then the request; the record's bytes stay 0.
template <typename Record>
int cardCommand(VKKRNReader& reader, unsigned char cmd, unsigned char adr, unsigned char b1, unsigned char b2,
                unsigned char* request, int len, unsigned char* reply, int* replyLen, int format) {
    Record record;
    record.a3 = request;
    record.a4 = len;
    TransponderShape c =
        shapeOf(reader, cmd, adr, request, len, reply, replyLen, format, UsbForm::Refused, &record);
    c.lead[0] = b1;
    c.lead[1] = b2;
    c.leadLen = 2;
    return runCommand(reader, c);
}

} // namespace

int VKKRNReader::Exe_0xB0_ISOCmd(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                                 int* replyLen, int format) {
    return isoCommand<_VKKRN_PLUGIN_0xB0_DATA>(*this, 0xB0, adr, request, len, reply, replyLen, format,
                                               UsbForm::Iso);
}

int VKKRNReader::Exe_0xB2_ISOCmd(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                                 int* replyLen, int format) {
    return isoCommand<_VKKRN_PLUGIN_0xB2_DATA>(*this, 0xB2, adr, request, len, reply, replyLen, format,
                                               UsbForm::IsoOneByte);
}

int VKKRNReader::Exe_0xB3_EPCCmd(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                                 int* replyLen, int format) {
    return isoCommand<_VKKRN_PLUGIN_0xB3_DATA>(*this, 0xB3, adr, request, len, reply, replyLen, format,
                                               UsbForm::Refused);
}

int VKKRNReader::Exe_0xFE_Transceive(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                                     int* replyLen) {
    return isoCommand<_VKKRN_PLUGIN_0xFE_DATA>(*this, 0xFE, adr, request, len, reply, replyLen, 0,
                                               UsbForm::Refused);
}

int VKKRNReader::Exe_0xB1_ISOCustAndPropCmd(unsigned char adr, unsigned char lead, unsigned char* request,
                                            int len, unsigned char* reply, int* replyLen, int format) {
    return leadCommand<_VKKRN_PLUGIN_0xB1_DATA>(*this, 0xB1, adr, lead, request, len, reply, replyLen, format,
                                                UsbForm::Iso);
}

int VKKRNReader::Exe_0xB5_ISOCustAndPropCmd(unsigned char adr, unsigned char lead, unsigned char* request,
                                            int len, unsigned char* reply, int* replyLen, int format) {
    return leadCommand<_VKKRN_PLUGIN_0xB1_DATA>(*this, 0xB5, adr, lead, request, len, reply, replyLen, format,
                                                UsbForm::Iso);
}

int VKKRNReader::Exe_0xB4_EPC_UHF_Cmd(unsigned char adr, unsigned char lead, unsigned char* request, int len,
                                      unsigned char* reply, int* replyLen, int format) {
    return leadCommand<_VKKRN_PLUGIN_0xB4_DATA>(*this, 0xB4, adr, lead, request, len, reply, replyLen, format,
                                                UsbForm::Refused);
}

int VKKRNReader::Exe_0xBB_C1G2_TranspCmd(unsigned char adr, unsigned char b1, unsigned char b2,
                                         unsigned char b3, unsigned int value1, unsigned int value2,
                                         unsigned char* request, unsigned int len, unsigned char* reply,
                                         unsigned int* replyLen) {
    _VKKRN_PLUGIN_0xBB_DATA record;
    record.a1 = b1;
    record.a2 = b2;
    record.a3 = b3;
    record.a4 = value1;
    record.a5 = value2;
    record.a6 = request;
    record.a7 = len;
    // The reply length is an unsigned int: the int of the same size is its alias.
    TransponderShape c = shapeOf(*this, 0xBB, adr, request, len, reply, reinterpret_cast<int*>(replyLen), 0,
                                 UsbForm::Refused, &record);
    c.lead[0] = b1;
    c.lead[1] = b2;
    c.lead[2] = b3;
    putWord(c.lead + 3, value1);
    putWord(c.lead + 5, value2);
    c.leadLen = 7;
    return runCommand(*this, c);
}

int VKKRNReader::Exe_0xBD_ISOTranspCmd(unsigned char adr, int mode, int value, unsigned char* request,
                                       int len, unsigned char* reply, int* replyLen, int format) {
    return transparentCommand<_VKKRN_PLUGIN_0xBD_DATA>(*this, 0xBD, adr, mode, value, request, len, reply,
                                                       replyLen, format);
}

int VKKRNReader::Exe_0xBE_ISOTranspCmd(unsigned char adr, int mode, int value, unsigned char* request,
                                       int len, unsigned char* reply, int* replyLen, int format) {
    return transparentCommand<_VKKRN_PLUGIN_0xBE_DATA>(*this, 0xBE, adr, mode, value, request, len, reply,
                                                       replyLen, format);
}

int VKKRNReader::Exe_0xBF_ISOTranspCmd(unsigned char adr, int mode, int value, unsigned char* request,
                                       int len, unsigned char* reply, int* replyLen, int format) {
    return transparentCommand<_VKKRN_PLUGIN_0xBF_DATA>(*this, 0xBF, adr, mode, value, request, len, reply,
                                                       replyLen, format);
}

int VKKRNReader::Exe_0xC0_SAMCmd_Sync(unsigned char adr, int slot, int timeout, unsigned char* request,
                                      int len, unsigned char* reply, int* replyLen) {
    _VKKRN_PLUGIN_0xC0_DATA record;
    record.a1 = slot;
    record.a2 = timeout;
    record.a3 = request;
    record.a4 = len;
    record.a5 = reply;
    TransponderShape c =
        shapeOf(*this, 0xC0, adr, request, len, reply, replyLen, 0, UsbForm::Refused, &record);
    c.lead[0] = static_cast<unsigned char>(slot);
    c.lead[1] = static_cast<unsigned char>(timeout);
    c.leadLen = 2;
    c.samTimeout = &timeout;
    return runCommand(*this, c);
}

int VKKRNReader::Exe_0xC1_DESFireCmd(unsigned char adr, unsigned char b1, unsigned char b2,
                                     unsigned char* field, unsigned char b4, unsigned char* request, int len,
                                     unsigned char* reply, int* replyLen, int format) {
    _VKKRN_PLUGIN_0xC1_DATA record;
    record.a5 = request;
    record.a6 = len;
    TransponderShape c =
        shapeOf(*this, 0xC1, adr, request, len, reply, replyLen, format, UsbForm::Refused, &record);
    c.lead[0] = b1;
    c.lead[1] = b2;
    c.lead[5] = b4;
    c.leadLen = 6;
    c.field = field;
    return runCommand(*this, c);
}

int VKKRNReader::Exe_0xC2_MifarePlusCmd(unsigned char adr, unsigned char b1, unsigned char b2,
                                        unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                        int format) {
    return cardCommand<_VKKRN_PLUGIN_0xC2_DATA>(*this, 0xC2, adr, b1, b2, request, len, reply, replyLen,
                                                format);
}

int VKKRNReader::Exe_0xC3_DESFireCmd(unsigned char adr, unsigned char b1, unsigned char b2,
                                     unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                     int format) {
    return cardCommand<_VKKRN_PLUGIN_0xC3_DATA>(*this, 0xC3, adr, b1, b2, request, len, reply, replyLen,
                                                format);
}
