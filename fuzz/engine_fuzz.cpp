// Arbitrary replies through the transceive engine (plain and inside the 0xAF
// wrap with the fake cipher), through the transparent exchange, through the
// first-generation USB splitter and through the transponder commands' reply
// copy; arbitrary requests through the first-generation request records.
// Input: one selector byte, then the reply (or the request).
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

struct Target {
    Target() {
        handle = VKKRN_NewReader(VKKRN_PLUGIN);
        reader = g_LibVkKrnDrvHnd.SearchReader(handle);
        plugIn = new ReplyPlugIn;
        reader->PlugIn_Install(plugIn);
        reader->SetReaderPara("CHKRECBUSADR", "1");
        dataReader = g_LibVkKrnDrvHnd.SearchReader(VKKRN_NewReader(VKKRN_PLUGIN));
        dataPlugIn = new DataPlugIn;
        dataReader->PlugIn_Install(dataPlugIn);
        // A USB port no device answers: the first generation, whose requests
        // are built and then fail at the transfer.
        usbReader = g_LibVkKrnDrvHnd.SearchReader(VKKRN_NewReader(0x10000001));
    }
    int handle = 0;
    std::shared_ptr<VKKRNReader> reader;
    ReplyPlugIn* plugIn = nullptr; // owned by the reader
    std::shared_ptr<VKKRNReader> dataReader;
    DataPlugIn* dataPlugIn = nullptr; // owned by dataReader
    std::shared_ptr<VKKRNReader> usbReader;
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

    t.usbReader->SetCommFrame((selector & 0x02) ? 2 : 1);

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
    case 4:
    case 5: replyCopy(t, selector, data + 1, size - 1); break;
    case 6: firstGenerationRequest(t, selector, data + 1, size - 1); break;
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
