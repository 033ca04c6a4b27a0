// Arbitrary replies through the transceive engine (plain and inside the 0xAF
// wrap with the fake cipher), through the transparent exchange, through the
// first-generation USB splitter, and through a reply-reader task's unwrap and
// split. Input: one selector byte, then the reply.
#include "builtin_plugins.h"
#include "drv_hnd.h"
#include "fake_cipher.h"
#include "reader.h"

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

struct Target {
    Target() {
        handle = VKKRN_NewReader(VKKRN_PLUGIN);
        reader = g_LibVkKrnDrvHnd.SearchReader(handle);
        plugIn = new ReplyPlugIn;
        reader->PlugIn_Install(plugIn);
        reader->SetReaderPara("CHKRECBUSADR", "1");
    }
    int handle = 0;
    std::shared_ptr<VKKRNReader> reader;
    ReplyPlugIn* plugIn = nullptr; // owned by the reader
};

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

    switch ((selector >> 2) % 5) {
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
