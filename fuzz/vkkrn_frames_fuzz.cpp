// Frames arrive unchecked from readers and callers. The first input byte picks
// the reader (standard or advanced frame mode, with or without the fake cipher)
// and the data format; the rest is the frame, as bytes or hex text. Oracles:
// an accepted frame has CRC residue 0; an accepted frame whose form the choice
// rule picks rebuilds byte for byte; a standard frame converted to advanced and
// back is restored.
#include "fake_cipher.h"

#include "reader/reader.h"
#include "registry/drv_hnd.h"

#include <vkkrn.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

struct Readers {
    int standard = VKKRN_NewReader(0);
    int advanced = VKKRN_NewReader(0);
    Readers() {
        check(standard > 0 && advanced > 0);
        check(VKKRN_SetReaderPara(advanced, "FRAMESUPPORT", "ADVANCED") == 0);
    }
};

Readers& readers() {
    static Readers r;
    return r;
}

bool isAdvanced(const std::uint8_t* frame) {
    return frame[0] == 0x02;
}

bool residueZero(std::uint8_t* frame, int len) {
    return VKKRN_CalcCRC16CheckSum_T(frame, len, 0) == 0;
}

// The form the choice rule picks for n data bytes.
bool picksAdvanced(bool advancedMode, bool reply, int n) {
    return advancedMode || n > (reply ? 249 : 250);
}

std::vector<std::uint8_t> g_out(0x20010);
std::vector<std::uint8_t> g_data(0x20010);
std::vector<std::uint8_t> g_rebuilt(0x10010);

void splitAndRebuild(int reader, bool advancedMode, bool ciphered, std::vector<std::uint8_t>& input, bool hex,
                     int captureFormat, const std::vector<std::uint8_t>& frame) {
    const int len = static_cast<int>(input.size());
    unsigned char adr = 0, cmd = 0;
    int n = 0;
    // A request.
    if (VKKRN_SplitSendProtocol(reader, input.data(), len, &adr, &cmd, g_data.data(), &n, hex ? 2 : 0) == 0) {
        std::vector<std::uint8_t> copy = frame;
        check(residueZero(copy.data(), static_cast<int>(copy.size())));
        if (picksAdvanced(advancedMode, false, n) == isAdvanced(frame.data())) {
            const int built =
                VKKRN_BuildSendProtocol(reader, adr, cmd, g_data.data(), n, g_rebuilt.data(), 20);
            check(built == static_cast<int>(frame.size()));
            check(std::equal(frame.begin(), frame.end(), g_rebuilt.begin()));
        }
    }
    // A reply, unwrapped when ciphered.
    const int format = hex ? (captureFormat ? 11 : 1) : (captureFormat ? 10 : 0);
    const int status =
        VKKRN_SplitRecProtocol(reader, input.data(), len, &adr, &cmd, g_data.data(), &n, format);
    if (status < 0) return;
    check(status <= 0xFF);
    const bool unwrapped = ciphered && frame[isAdvanced(frame.data()) ? 4 : 2] == 0xAF;
    if (unwrapped) return; // the parts are the inner frame's
    std::vector<std::uint8_t> copy = frame;
    check(residueZero(copy.data(), static_cast<int>(copy.size())));
    if (format == 1) {
        check(n % 2 == 0);
        return;
    }
    if (picksAdvanced(advancedMode, true, n) == isAdvanced(frame.data())) {
        const int built =
            VKKRN_BuildRecProtocol(reader, adr, cmd, status, g_data.data(), n, g_rebuilt.data(), 0);
        check(built == static_cast<int>(frame.size()));
        check(std::equal(frame.begin(), frame.end(), g_rebuilt.begin()));
    }
}

void convertBothWays(const std::vector<std::uint8_t>& frame) {
    const int len = static_cast<int>(frame.size());
    std::copy(frame.begin(), frame.end(), g_out.begin());
    const int toStandard = VKKRN_Conv2StdProtocol(g_out.data(), len);
    if (toStandard > 0) check(residueZero(g_out.data(), toStandard));
    std::copy(frame.begin(), frame.end(), g_out.begin());
    const int toAdvanced = VKKRN_Conv2AdvProtocol(g_out.data(), len);
    if (toAdvanced <= 0) return;
    check(residueZero(g_out.data(), toAdvanced));
    if (isAdvanced(frame.data()) || toAdvanced > 0xFF) return;
    const int back = VKKRN_Conv2StdProtocol(g_out.data(), toAdvanced);
    check(back == frame[0]);
    check(std::equal(g_out.begin(), g_out.begin() + back, frame.begin()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 0x10002) return 0;
    const std::uint8_t selector = data[0];
    const bool advancedMode = (selector & 1) != 0;
    const bool hex = (selector & 2) != 0;
    const bool ciphered = (selector & 4) != 0;
    const int capture = (selector & 8) != 0;
    const int reader = advancedMode ? readers().advanced : readers().standard;
    auto object = g_LibVkKrnDrvHnd.SearchReader(reader);
    if (ciphered)
        object->Cipher().store(std::make_shared<vkkrn::testing::FakeCipher>());
    else
        object->Cipher().reset();

    std::vector<std::uint8_t> input(data + 1, data + size);
    input.reserve(1);
    // The frame the exports see: the input itself, or the bytes its hex text names.
    std::vector<std::uint8_t> frame;
    if (hex) {
        if (input.size() % 2 != 0) return 0;
        for (std::size_t i = 0; i < input.size(); i += 2) {
            auto digit = [](std::uint8_t c) {
                return c >= '0' && c <= '9'   ? c - '0'
                       : c >= 'A' && c <= 'F' ? c - 'A' + 10
                       : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                              : -1;
            };
            const int high = digit(input[i]), low = digit(input[i + 1]);
            if (high < 0 || low < 0) frame.clear();
            if (high < 0 || low < 0) break;
            frame.push_back(static_cast<std::uint8_t>(high << 4 | low));
        }
    } else {
        frame = input;
    }
    if (frame.empty()) {
        // Still exercise the refusal paths.
        unsigned char adr, cmd;
        int n;
        VKKRN_SplitRecProtocol(reader, input.data(), static_cast<int>(input.size()), &adr, &cmd,
                               g_data.data(), &n, hex ? 1 : 0);
        return 0;
    }
    splitAndRebuild(reader, advancedMode, ciphered, input, hex, capture, frame);
    convertBothWays(frame);
    return 0;
}
