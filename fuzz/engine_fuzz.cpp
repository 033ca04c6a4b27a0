// Arbitrary replies through the transceive engine (plain and inside the 0xAF
// wrap with the fake cipher), through the transparent exchange, through the
// first-generation USB splitter, and arbitrary reply data through the reply
// parsing of the reader commands (outputs sized exactly as their contracts say,
// on the heap, so that a byte written past them is caught). Input: one selector
// byte, then the reply (for the commands: a command index, then the reply data).
#include "builtin_plugins.h"
#include "drv_hnd.h"
#include "fake_cipher.h"
#include "reader.h"

#include <vkkrn.h>
#include <vkkrn_plugin.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Hands out the fuzz input as the port's reply.
class ReplyPlugIn : public VKKRN_PlugIn {
  public:
    int transceive_protocol(char*, int, char* replyOut, int replyOutSize) override {
        const std::size_t n = std::min(reply.size(), static_cast<std::size_t>(replyOutSize));
        if (n > 0) std::memcpy(replyOut, reply.data(), n);
        return static_cast<int>(n);
    }
    int receive_protocol(char* replyOut, int replyOutSize) override {
        return transceive_protocol(nullptr, 0, replyOut, replyOutSize);
    }
    std::vector<std::uint8_t> reply;
};

// Splits every reply itself: the fuzz input is the reply data, status 0.
class DataPlugIn : public VKKRN_PlugIn {
  public:
    int transceive_protocol(char*, int, char*, int) override { return 1; }
    int split_protocol(char, char, char*, int, char* dataOut, int dataOutSize, int* dataLen) override {
        const std::size_t n = std::min(data.size(), static_cast<std::size_t>(dataOutSize));
        if (n > 0) std::memcpy(dataOut, data.data(), n);
        *dataLen = static_cast<int>(n);
        return 0;
    }
    std::vector<std::uint8_t> data;
};

struct Target {
    Target() {
        handle = VKKRN_NewReader(VKKRN_PLUGIN);
        reader = g_LibVkKrnDrvHnd.SearchReader(handle);
        plugIn = new ReplyPlugIn;
        reader->PlugIn_Install(plugIn);
        reader->SetReaderPara("CHKRECBUSADR", "1");
        commandHandle = VKKRN_NewReader(VKKRN_PLUGIN);
        dataPlugIn = new DataPlugIn;
        g_LibVkKrnDrvHnd.SearchReader(commandHandle)->PlugIn_Install(dataPlugIn);
    }
    int handle = 0;
    std::shared_ptr<VKKRNReader> reader;
    ReplyPlugIn* plugIn = nullptr; // owned by the reader
    int commandHandle = 0;
    DataPlugIn* dataPlugIn = nullptr; // owned by its reader
};

// One reader command over reply data of `n` bytes, its outputs sized to the
// contract for that reply.
void runCommand(int reader, std::uint8_t which, std::size_t n, bool hex) {
    const int format = hex ? 1 : 0;
    const std::size_t whole = hex ? 2 * n + 1 : n + 1; // the whole reply as text
    std::vector<unsigned char> out(whole);
    std::vector<unsigned char> a(hex ? 5 : 3), b(hex ? 5 : 3), c(hex ? 5 : 3);
    unsigned char head[2];
    unsigned char byte1 = 0, byte2 = 0;
    int count = 0;
    unsigned char request[16] = {};
    switch (which % 20) {
    case 0: VKKRN_0x1E_TableDataExchange(reader, 1, 0, 0, 0, 0, 0, request, 0, out.data(), &count); break;
    case 1: VKKRN_0x1F_MAXDataExchange(reader, 1, 0, 0, 0, request, 0, out.data(), &count, format); break;
    case 2: VKKRN_0x21_ReadBuffer(reader, 1, 0, &byte1, &byte2, out.data(), format); break;
    case 3: VKKRN_0x22_ReadBuffer(reader, 1, 0, head, &count, out.data(), format); break;
    case 4: VKKRN_0x31_ReadDataBufferInfo(reader, 1, a.data(), b.data(), c.data(), format); break;
    case 5: VKKRN_0x65_SoftVersion(reader, 1, out.data(), format); break;
    case 6: VKKRN_0x66_ReaderInfo(reader, 1, 0, out.data(), format); break;
    case 7: {
        std::vector<long> values(516);
        VKKRN_0x68_ChannelAnalyze(reader, 1, hex ? 0x10 : 0x04, which >> 5, 0, 0, 0, values.data());
        break;
    }
    case 8: {
        std::vector<unsigned char> levels(hex ? 13 : 7);
        VKKRN_0x6D_GetNoiseLevel(reader, 1, levels.data(), format);
        break;
    }
    case 9: VKKRN_0x6E_RdDiag(reader, 1, 0, out.data()); break;
    case 10: VKKRN_0x74_ReadInput(reader, 1, &byte1); break;
    case 11: VKKRN_0x75_AdjAntenna(reader, 1, a.data(), format); break;
    case 12: {
        std::vector<unsigned char> exact(n > 0 ? n : 1);
        VKKRN_0x76_CheckAntennas(reader, 1, 0, exact.data(), &count);
        break;
    }
    case 13: {
        std::vector<unsigned char> block(hex ? 29 : 15);
        VKKRN_0x80_ReadConfBlock(reader, 1, 0, block.data(), format);
        break;
    }
    case 14: {
        std::vector<unsigned char> timer(hex ? 9 : 5);
        VKKRN_0x86_GetSysTimer(reader, 1, timer.data(), format);
        break;
    }
    case 15: {
        unsigned char d[7];
        VKKRN_0x88_GetSystemDate(reader, 1, d, d + 1, d + 2, d + 3, d + 4, d + 5, d + 6, &count);
        break;
    }
    case 16: {
        std::vector<unsigned char> blocks(n > 2 ? n - 2 : 1);
        VKKRN_0x8A_ReadConfiguration(reader, 1, 0, 0, 0, 0, 0, &byte1, &byte2, blocks.data());
        break;
    }
    case 17: VKKRN_0x9F_Piggyback_Command(reader, 1, 0, 0, 0, request, 0, out.data(), &count); break;
    case 18: {
        std::vector<long> values(516);
        VKKRN_0x68_ChannelAnalyze(reader, 1, hex ? 0x01 : 0x40, 0, 0, 0, 0, values.data());
        break;
    }
    default: VKKRN_0x6E_RdDiag(reader, 1, 0x21, out.data()); break;
    }
}

Target& target() {
    static Target t;
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 0x10001) return 0;
    const std::uint8_t selector = data[0];
    Target& t = target();
    t.plugIn->reply.assign(data + 1, data + size);
    if (selector & 0x01)
        t.reader->Cipher().store(std::make_shared<vkkrn::testing::FakeCipher>());
    else
        t.reader->Cipher().reset();
    t.reader->SetCommFrame((selector & 0x02) ? 2 : 1);

    if ((selector & 0x0C) == 0x0C && (selector & 0x40) != 0) {
        if (size < 2) return 0;
        t.dataPlugIn->data.assign(data + 2, data + size);
        runCommand(t.commandHandle, data[1], size - 2, (selector & 0x80) != 0);
        return 0;
    }
    switch ((selector >> 2) % 4) {
    case 0: {
        auto lock = t.reader->Lock();
        int len = 2;
        bool parsing = true;
        std::memset(t.reader->DataBuffer(), 0x11, 2);
        t.reader->Exe_Transceive(1, 0x65, 0, nullptr, &len, &parsing);
        break;
    }
    case 1: {
        unsigned char frame[] = {0x05, 0x01, 0x65, 0xFD, 0x2D};
        std::vector<unsigned char> rx(static_cast<std::size_t>(selector >> 4) * 64 + 1);
        t.reader->Exe_SendTransparent(frame, 5, rx.data(), static_cast<int>(rx.size()), 0, selector & 0x80);
        break;
    }
    case 2: {
        std::vector<unsigned char> rx(0x10001);
        t.reader->Exe_Receive(rx.data(), static_cast<int>(rx.size()), selector & 0x80);
        break;
    }
    default: {
        VKKRN_PlugIn_Usb usb(nullptr);
        std::vector<char> reply(data + 1, data + size);
        std::vector<char> out(static_cast<std::size_t>(selector >> 4) * 16 + 1);
        int len = -1;
        usb.split_protocol(static_cast<char>(0xB0), 0, reply.data(), static_cast<int>(reply.size()),
                           out.data(), static_cast<int>(out.size()), &len);
        break;
    }
    }
    return 0;
}
