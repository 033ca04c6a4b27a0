// Arbitrary replies through the transceive engine (plain and inside the 0xAF
// wrap with the fake cipher), through the transparent exchange, through the
// first-generation USB splitter, through the transponder commands' reply copy,
// and arbitrary reply data through the reply parsing of the reader commands
// (outputs sized exactly as their contracts say, on the heap, so that a byte
// written past them is caught); arbitrary requests through the first-generation
// request records, and through a reply-reader task's unwrap and split. Input:
// one selector byte, then the reply (for the reader commands: a command index,
// then the reply data; or the request). Arbitrary replies to both exchanges of
// the reader authentication with the real cipher: never a success, the frame
// mode and its lock restored.
#include "exchange/builtin_plugins.h"
#include "fake_cipher.h"
#include "reader/reader.h"
#include "registry/drv_hnd.h"

#include <vkkrn.h>
#include <vkkrn_plugin.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
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

// Hands out the fuzz input as the reply data of any command, with a status.
class DataPlugIn : public VKKRN_PlugIn {
  public:
    int transceive_protocol(char*, int, char*, int) override { return 1; }
    int split_protocol(char, char, char*, int, char* dataOut, int dataOutSize, int* dataLen) override {
        const std::size_t n = std::min(data.size(), static_cast<std::size_t>(dataOutSize));
        if (n > 0) std::memcpy(dataOut, data.data(), n);
        *dataLen = static_cast<int>(n);
        return status;
    }
    std::vector<std::uint8_t> data;
    int status = 0;
};

// Hands out one reply per exchange, in turn.
class SequencePlugIn : public VKKRN_PlugIn {
  public:
    int transceive_protocol(char*, int, char* replyOut, int replyOutSize) override {
        if (next >= replies.size()) return -1230;
        const std::vector<std::uint8_t>& reply = replies[next++];
        const std::size_t n = std::min(reply.size(), static_cast<std::size_t>(replyOutSize));
        if (n > 0) std::memcpy(replyOut, reply.data(), n);
        return static_cast<int>(n);
    }
    std::vector<std::vector<std::uint8_t>> replies;
    std::size_t next = 0;
};

struct Target {
    Target() {
        handle = VKKRN_NewReader(VKKRN_PLUGIN);
        reader = g_LibVkKrnDrvHnd.SearchReader(handle);
        plugIn = new ReplyPlugIn;
        reader->PlugIn_Install(plugIn);
        reader->SetReaderPara("CHKRECBUSADR", "1");
        commandHandle = VKKRN_NewReader(VKKRN_PLUGIN);
        dataReader = g_LibVkKrnDrvHnd.SearchReader(commandHandle);
        dataPlugIn = new DataPlugIn;
        dataReader->PlugIn_Install(dataPlugIn);
        // A USB port no device answers: the first generation, whose requests
        // are built and then fail at the transfer.
        usbReader = g_LibVkKrnDrvHnd.SearchReader(VKKRN_NewReader(0x10000001));
        authReader = g_LibVkKrnDrvHnd.SearchReader(VKKRN_NewReader(VKKRN_PLUGIN));
        authPlugIn = new SequencePlugIn;
        authReader->PlugIn_Install(authPlugIn);
        authReader->SetReaderPara("CHKRECBUSADR", "1");
    }
    int handle = 0;
    std::shared_ptr<VKKRNReader> reader;
    ReplyPlugIn* plugIn = nullptr; // owned by the reader
    int commandHandle = 0;
    std::shared_ptr<VKKRNReader> dataReader;
    DataPlugIn* dataPlugIn = nullptr; // owned by dataReader
    std::shared_ptr<VKKRNReader> usbReader;
    std::shared_ptr<VKKRNReader> authReader;
    SequencePlugIn* authPlugIn = nullptr; // owned by authReader
};

// The reply data into a buffer of exactly the size the command's contract
// asks for: L + 1 bytes, or 2L + 1 as hex text.
void replyCopy(Target& t, std::uint8_t selector, const std::uint8_t* data, std::size_t size) {
    t.dataPlugIn->data.assign(data, data + size);
    t.dataPlugIn->status = selector >> 7;
    const int format = (selector >> 5) % 3;
    const std::size_t l = std::min(size, static_cast<std::size_t>(0x10001));
    std::vector<unsigned char> reply(format == 0 ? l + 1 : 2 * l + 1);
    unsigned char request[] = {0x01, 0x00};
    int len = 0;
    if (selector & 0x04) {
        unsigned int ulen = 0;
        t.dataReader->Exe_0xBB_C1G2_TranspCmd(1, 0, 0, 0, 0, 0, request, 2, reply.data(), &ulen);
        std::vector<unsigned char> raw(l + 1);
        t.dataReader->Exe_0xC0_SAMCmd_Sync(1, 0, 1, request, 2, raw.data(), &len);
    } else {
        t.dataReader->Exe_0xB0_ISOCmd(1, request, 2, reply.data(), &len, format);
    }
}

// A first-generation request record from the fuzz input as a request.
void firstGenerationRequest(Target& t, std::uint8_t selector, const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> request(data, data + size);
    request.push_back(0);
    const int n = static_cast<int>(size);
    const int format = (selector >> 5) % 3;
    unsigned char reply[16];
    int len = 0;
    switch ((selector >> 7) << 1 | (selector & 0x01)) {
    case 0: t.usbReader->Exe_0xB0_ISOCmd(1, request.data(), n, reply, &len, format); break;
    case 1: t.usbReader->Exe_0xB2_ISOCmd(1, request.data(), n, reply, &len, format); break;
    case 2: t.usbReader->Exe_0xB5_ISOCustAndPropCmd(1, 0x21, request.data(), n, reply, &len, format); break;
    default: t.usbReader->Exe_0xBE_ISOTranspCmd(1, 7, 0x0102, request.data(), n, reply, &len, format); break;
    }
}

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

std::atomic<int> g_taskCalls{0};

void onTask(void*, int, int, int, unsigned char, unsigned char* data, int len) {
    volatile unsigned char sink = 0;
    for (int i = 0; i < len; ++i)
        sink = sink ^ data[i]; // every byte handed out is readable
    g_taskCalls.fetch_add(1);
}

// The reply reader (task 5) receives the input once and calls back; the task
// ends by itself.
void runReplyReader(Target& t) {
    _VKKRN_TASK_INIT record{};
    record.ucBusAdr = 1;
    record.uiTimeout = 0;
    record.uiCallbackVariant = 1;
    record.callback.form1 = &onTask;
    const int before = g_taskCalls.load();
    if (t.reader->StartThreadAsyncTask(5, &record, nullptr) != 0) return;
    while (g_taskCalls.load() == before)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    while (t.reader->RemoveThreadAsyncTask() != -4081)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
}

// The authentication against arbitrary replies: the first input byte is the
// length of the first reply, the rest the second.
void authenticate(Target& t, std::uint8_t selector, const std::uint8_t* data, std::size_t size) {
    if (size < 1) return;
    const std::size_t first = std::min<std::size_t>(data[0], size - 1);
    t.authPlugIn->replies.assign({{data + 1, data + 1 + first}, {data + 1 + first, data + size}});
    t.authPlugIn->next = 0;
    const int mode = (selector & 0x02) ? 2 : 1;
    t.authReader->SetCommFrame(mode);
    unsigned char key[32];
    for (unsigned i = 0; i < sizeof key; ++i)
        key[i] = static_cast<unsigned char>(i * 7);
    const int rc = t.authReader->Exe_0xAE_ReaderAuthent(
        1, 0, static_cast<unsigned char>((selector & 0x03) % 3), 32, key, 0);
    if (rc == 0 || t.authReader->GetCommFrame() != mode || t.authReader->IsFrameLocked() ||
        t.authReader->Cipher().holds())
        __builtin_trap();
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

    t.usbReader->SetCommFrame((selector & 0x02) ? 2 : 1);

    if ((selector & 0x0C) == 0x0C && (selector & 0x40) != 0) {
        if (size < 2) return 0;
        t.dataPlugIn->data.assign(data + 2, data + size);
        t.dataPlugIn->status = 0;
        runCommand(t.commandHandle, data[1], size - 2, (selector & 0x80) != 0);
        return 0;
    }
    switch ((selector >> 2) % 8) {
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
    case 3: runReplyReader(t); break;
    case 4:
    case 5: replyCopy(t, selector, data + 1, size - 1); break;
    case 6: firstGenerationRequest(t, selector, data + 1, size - 1); break;
    default: {
        if ((selector & 0xA0) == 0xA0) {
            authenticate(t, selector, data + 1, size - 1);
            break;
        }
        VKKRN_PlugIn_Usb usb(nullptr, g_LibVkKrnDrvHnd);
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
