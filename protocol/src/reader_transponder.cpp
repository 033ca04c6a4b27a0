// Transponder, transparent, SAM and card-crypto commands (0xB0-0xB5, 0xBB,
// 0xBD-0xC3, 0xFE). They share one skeleton: the command lock for the whole
// call, the reply length preset to 0, the first-generation USB rule, the
// request laid into the data buffer behind the command's leading bytes, one
// exchange through the engine and the reply data copied out. The commands
// differ only in the TransponderCommand they describe themselves with.
#include "error_codes.h"
#include "reader.h"

#include <vkkrn_codec/hex.h>
#include <vkkrn_plugin.h>

#include <cstdio>
#include <cstring>

namespace vkkrn {

// How a command meets a reader on a first-generation USB port.
enum class FirstGeneration {
    Refused,      // no first-generation form: -4006, nothing sent
    RefusedOnUsb, // refused on every USB port, of either generation
    IsoHeader,    // header 0, lead, r0, r1; payload from the request's third byte
    IsoOneByte,   // header 0, 0, r0, 0; payload from the request's second byte
    Transparent,  // header 0, 0, 0, mode; payload value and request when there is a request
};

struct TransponderCommand {
    unsigned char cmd = 0;
    unsigned char adr = 0;
    unsigned char lead[7] = {}; // leading or parameter bytes laid before the request
    int leadLen = 0;
    // 0xC1's three-byte field (six hex characters with format 1), laid at lead[2].
    const unsigned char* field = nullptr;
    const unsigned char* request = nullptr;
    long long requestLen = 0; // as the caller passed it: characters with format 1
    int format = 0;           // request hex text only with 1; reply bytes only with 0
    FirstGeneration firstGeneration = FirstGeneration::Refused;
    unsigned char headerLead = 0; // header byte 1 of the ISO form: 0xB1's and 0xB5's leading byte
    void* record = nullptr;       // the command's own record, filled by the method
    unsigned char* reply = nullptr;
    int* replyLen = nullptr;
    const int* samTimeout = nullptr; // 0xC0: the port time-out for the exchange, in 100 ms
};

} // namespace vkkrn

namespace {

using namespace vkkrn;

constexpr int kErrNoFirstGenerationForm = -4006;
// The most request data a frame carries (an advanced frame's LEN is 16 bits).
constexpr long long kMaxRequestData = 65528;
constexpr int kFieldLength = 3;
constexpr int kFieldAt = 2;
constexpr int kUsbKindHeaderOnly = 1;
constexpr int kUsbKindPayload = 2;
constexpr unsigned int kUsbReplyAdvanced = 4096;
constexpr unsigned int kUsbReplyStandard = 255;
// Port parameter values are short texts; room to spare.
constexpr std::size_t kPortValueLength = 256;

// The request bytes into `out`: hex text with format 1 (an odd last digit
// alone), else as they are. Their count, or -4052 for a character that is not a
// hex digit.
int takeRequest(const TransponderCommand& c, unsigned char* out) {
    const auto n = static_cast<std::size_t>(c.requestLen);
    if (c.format != 1) {
        if (n > 0) std::memcpy(out, c.request, n);
        return static_cast<int>(n);
    }
    const auto decoded = codec::decodeHexRequest({c.request, n}, {out, (n + 1) / 2});
    return decoded ? static_cast<int>(*decoded) : kErrOddHex;
}

// Request bytes the command lays, leading bytes included.
long long requestBytes(const TransponderCommand& c) {
    return c.leadLen + (c.format == 1 ? (c.requestLen + 1) / 2 : c.requestLen);
}

unsigned char high(unsigned int value) {
    return static_cast<unsigned char>(value >> 8);
}

unsigned char low(unsigned int value) {
    return static_cast<unsigned char>(value);
}

} // namespace

int VKKRNReader::transponderCommand(const TransponderCommand& c) {
    if (RefuseReentry()) return kErrBusy;
    auto lock = Lock();
    bool replyParsing = true;
    int len = 0;
    *c.replyLen = 0;

    const bool usb = GetCommMode() == 1;
    const bool firstGeneration = usb && usbGeneration_.load() == 0;
    if ((firstGeneration && c.firstGeneration == FirstGeneration::Refused) ||
        (usb && c.firstGeneration == FirstGeneration::RefusedOnUsb))
        return failLogged(kErrNoFirstGenerationForm);
    if (c.requestLen < 0 || requestBytes(c) > kMaxRequestData) return failLogged(kErrOutOfRange);

    _VKKRN_PLUGIN_USB_DATA usbRecord;
    const int laid =
        firstGeneration ? layFirstGenerationRequest(c, &usbRecord, &len) : layTransponderRequest(c, &len);
    if (laid < 0) return failLogged(laid);

    const int result =
        exchangeWithPortTimeout(c, firstGeneration ? &usbRecord : c.record, &len, &replyParsing);
    if (result < 0 || len <= 0 || !replyParsing) return result;
    const auto n = static_cast<std::size_t>(len);
    if (c.format == 0) {
        std::memcpy(c.reply, dataBuffer_, n);
        c.reply[n] = 0;
        *c.replyLen = len;
    } else {
        codec::encodeHex({dataBuffer_, n}, std::span<std::uint8_t>(c.reply, 2 * n + 1));
        *c.replyLen = 2 * len;
    }
    return result;
}

int VKKRNReader::layTransponderRequest(const TransponderCommand& c, int* len) {
    unsigned char* d = dataBuffer_;
    std::memcpy(d, c.lead, static_cast<std::size_t>(c.leadLen));
    if (c.field != nullptr) {
        if (c.format == 1) {
            if (!codec::decodeHex({c.field, 2 * kFieldLength}, {d + kFieldAt, kFieldLength}))
                return kErrOddHex;
        } else {
            std::memcpy(d + kFieldAt, c.field, kFieldLength);
        }
    }
    const int n = takeRequest(c, d + c.leadLen);
    if (n < 0) return n;
    *len = c.leadLen + n;
    d[*len] = 0;
    return 0;
}

int VKKRNReader::layFirstGenerationRequest(const TransponderCommand& c, void* usbRecord, int* len) {
    auto& usb = *static_cast<_VKKRN_PLUGIN_USB_DATA*>(usbRecord);
    unsigned char* d = dataBuffer_;
    int payload = 0;
    if (c.firstGeneration == FirstGeneration::Transparent) {
        usb.header4 = c.lead[0];
        if (c.requestLen > 0) {
            // The value, then the request; the mode went into the header.
            d[0] = c.lead[1];
            d[1] = c.lead[2];
            const int n = takeRequest(c, d + 2);
            if (n < 0) return n;
            payload = 2 + n;
        }
    } else {
        const int n = takeRequest(c, d);
        if (n < 0) return n;
        const int take = c.firstGeneration == FirstGeneration::IsoOneByte ? 1 : 2;
        // Header bytes the request does not supply are 0.
        usb.header2 = c.headerLead;
        usb.header3 = n > 0 ? d[0] : 0;
        usb.header4 = take == 2 && n > 1 ? d[1] : 0;
        if (n > take) {
            payload = n - take;
            std::memmove(d, d + take, static_cast<std::size_t>(payload));
        }
    }
    if (payload > 0) {
        usb.kind = kUsbKindPayload;
        usb.length = static_cast<unsigned int>(payload);
        d[payload] = 0;
    } else {
        usb.kind = kUsbKindHeaderOnly;
        usb.length = GetCommFrame() == 2 ? kUsbReplyAdvanced : kUsbReplyStandard;
    }
    *len = payload;
    return 0;
}

int VKKRNReader::exchangeWithPortTimeout(const TransponderCommand& c, void* record, int* len,
                                         bool* replyParsing) {
    const int portType = GetCommMode();
    const bool portTimeout =
        c.samTimeout != nullptr && (portType == 0 || portType == 1 || portType == 2) && GetPortHnd() > 0;
    if (!portTimeout) return Exe_Transceive(c.adr, c.cmd, c.format, record, len, replyParsing);

    // The port parameters store their results as the last error: the command's
    // last error is its exchange's, as for any other command.
    const int lastBefore = GetLastError();
    char key[] = "Timeout";
    char old[kPortValueLength + 1] = {};
    const bool readable = GetPortPara(key, old) == 0;
    if (readable) {
        char value[32];
        std::snprintf(value, sizeof value, "%lld", 100LL * *c.samTimeout);
        SetPortPara(key, value); // a value the port refuses leaves its time-out as it was
    }
    SetLastError(lastBefore);
    const int result = Exe_Transceive(c.adr, c.cmd, c.format, record, len, replyParsing);
    if (readable) {
        const int exchanged = GetLastError();
        old[kPortValueLength] = 0;
        SetPortPara(key, old);
        SetLastError(exchanged);
    }
    return result;
}

using vkkrn::FirstGeneration;
using vkkrn::TransponderCommand;

namespace {

TransponderCommand plainCommand(unsigned char cmd, unsigned char adr, unsigned char* request, long long len,
                                unsigned char* reply, int* replyLen, int format, FirstGeneration rule,
                                void* record) {
    TransponderCommand c;
    c.cmd = cmd;
    c.adr = adr;
    c.request = request;
    c.requestLen = len;
    c.reply = reply;
    c.replyLen = replyLen;
    c.format = format;
    c.firstGeneration = rule;
    c.record = record;
    return c;
}

// 0xB0, 0xB2, 0xB3 and 0xFE: the request alone.
template <typename Record>
int isoCommand(VKKRNReader& reader, unsigned char cmd, unsigned char adr, unsigned char* request, int len,
               unsigned char* reply, int* replyLen, int format, FirstGeneration rule) {
    Record record;
    record.a1 = request;
    record.a2 = len;
    return reader.transponderCommand(
        plainCommand(cmd, adr, request, len, reply, replyLen, format, rule, &record));
}

// 0xB1, 0xB4 and 0xB5: a leading byte, then the request.
template <typename Record>
int leadCommand(VKKRNReader& reader, unsigned char cmd, unsigned char adr, unsigned char lead,
                unsigned char* request, int len, unsigned char* reply, int* replyLen, int format,
                FirstGeneration rule) {
    Record record;
    record.a1 = lead;
    record.a2 = request;
    record.a3 = len;
    TransponderCommand c = plainCommand(cmd, adr, request, len, reply, replyLen, format, rule, &record);
    c.lead[0] = lead;
    c.leadLen = 1;
    c.headerLead = lead;
    return reader.transponderCommand(c);
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
    TransponderCommand c =
        plainCommand(cmd, adr, request, len, reply, replyLen, format, FirstGeneration::Transparent, &record);
    const auto v = static_cast<unsigned int>(value);
    c.lead[0] = static_cast<unsigned char>(mode);
    c.lead[1] = high(v);
    c.lead[2] = low(v);
    c.leadLen = 3;
    return reader.transponderCommand(c);
}

// 0xC2 and 0xC3: two bytes, then the request; the record's bytes stay 0.
template <typename Record>
int cardCommand(VKKRNReader& reader, unsigned char cmd, unsigned char adr, unsigned char b1, unsigned char b2,
                unsigned char* request, int len, unsigned char* reply, int* replyLen, int format) {
    Record record;
    record.a3 = request;
    record.a4 = len;
    TransponderCommand c =
        plainCommand(cmd, adr, request, len, reply, replyLen, format, FirstGeneration::Refused, &record);
    c.lead[0] = b1;
    c.lead[1] = b2;
    c.leadLen = 2;
    return reader.transponderCommand(c);
}

} // namespace

int VKKRNReader::Exe_0xB0_ISOCmd(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                                 int* replyLen, int format) {
    return isoCommand<_VKKRN_PLUGIN_0xB0_DATA>(*this, 0xB0, adr, request, len, reply, replyLen, format,
                                               FirstGeneration::IsoHeader);
}

int VKKRNReader::Exe_0xB2_ISOCmd(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                                 int* replyLen, int format) {
    return isoCommand<_VKKRN_PLUGIN_0xB2_DATA>(*this, 0xB2, adr, request, len, reply, replyLen, format,
                                               FirstGeneration::IsoOneByte);
}

int VKKRNReader::Exe_0xB3_EPCCmd(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                                 int* replyLen, int format) {
    return isoCommand<_VKKRN_PLUGIN_0xB3_DATA>(*this, 0xB3, adr, request, len, reply, replyLen, format,
                                               FirstGeneration::Refused);
}

int VKKRNReader::Exe_0xFE_Transceive(unsigned char adr, unsigned char* request, int len, unsigned char* reply,
                                     int* replyLen) {
    return isoCommand<_VKKRN_PLUGIN_0xFE_DATA>(*this, 0xFE, adr, request, len, reply, replyLen, 0,
                                               FirstGeneration::RefusedOnUsb);
}

int VKKRNReader::Exe_0xB1_ISOCustAndPropCmd(unsigned char adr, unsigned char lead, unsigned char* request,
                                            int len, unsigned char* reply, int* replyLen, int format) {
    return leadCommand<_VKKRN_PLUGIN_0xB1_DATA>(*this, 0xB1, adr, lead, request, len, reply, replyLen, format,
                                                FirstGeneration::IsoHeader);
}

int VKKRNReader::Exe_0xB5_ISOCustAndPropCmd(unsigned char adr, unsigned char lead, unsigned char* request,
                                            int len, unsigned char* reply, int* replyLen, int format) {
    return leadCommand<_VKKRN_PLUGIN_0xB1_DATA>(*this, 0xB5, adr, lead, request, len, reply, replyLen, format,
                                                FirstGeneration::IsoHeader);
}

int VKKRNReader::Exe_0xB4_EPC_UHF_Cmd(unsigned char adr, unsigned char lead, unsigned char* request, int len,
                                      unsigned char* reply, int* replyLen, int format) {
    return leadCommand<_VKKRN_PLUGIN_0xB4_DATA>(*this, 0xB4, adr, lead, request, len, reply, replyLen, format,
                                                FirstGeneration::Refused);
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
    TransponderCommand c = plainCommand(0xBB, adr, request, len, reply, reinterpret_cast<int*>(replyLen), 0,
                                        FirstGeneration::Refused, &record);
    const unsigned char lead[] = {b1, b2, b3, high(value1), low(value1), high(value2), low(value2)};
    std::memcpy(c.lead, lead, sizeof lead);
    c.leadLen = sizeof lead;
    return transponderCommand(c);
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
    TransponderCommand c =
        plainCommand(0xC0, adr, request, len, reply, replyLen, 0, FirstGeneration::Refused, &record);
    c.lead[0] = static_cast<unsigned char>(slot);
    c.lead[1] = static_cast<unsigned char>(timeout);
    c.leadLen = 2;
    c.samTimeout = &timeout;
    return transponderCommand(c);
}

int VKKRNReader::Exe_0xC1_DESFireCmd(unsigned char adr, unsigned char b1, unsigned char b2,
                                     unsigned char* field, unsigned char b4, unsigned char* request, int len,
                                     unsigned char* reply, int* replyLen, int format) {
    _VKKRN_PLUGIN_0xC1_DATA record;
    record.a5 = request;
    record.a6 = len;
    TransponderCommand c =
        plainCommand(0xC1, adr, request, len, reply, replyLen, format, FirstGeneration::Refused, &record);
    c.lead[0] = b1;
    c.lead[1] = b2;
    c.lead[5] = b4;
    c.leadLen = 6;
    c.field = field;
    return transponderCommand(c);
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
