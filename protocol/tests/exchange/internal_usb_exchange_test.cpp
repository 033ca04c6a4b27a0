// The USB plug-ins against a stand-in libvkusb that records every transfer and
// answers from a script: the first generation's own request form and reply
// split, and the second generation's pass-through.
#include "exchange/builtin_plugins.h"
#include "usb_reader.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

class UsbExchange : public UsbReaderTest {
  protected:
    void queue(int result, const Bytes& bytes = {}) { usb_.queue(result, bytes); }
    std::vector<FakeUsbTransfer::Transfer> transfers() { return usb_.transfers(); }
    struct Result {
        int rc;
        int len;
        Bytes data;
    };
    Result run(std::uint8_t cmd, _VKKRN_PLUGIN_USB_DATA record, const Bytes& payload = {}) {
        auto lock = reader_->Lock();
        if (!payload.empty()) std::memcpy(reader_->DataBuffer(), payload.data(), payload.size());
        int len = static_cast<int>(payload.size());
        bool parsing = true;
        const int rc = reader_->Exe_Transceive(0xFF, cmd, 0, &record, &len, &parsing);
        return {rc, len, Bytes(reader_->DataBuffer(), reader_->DataBuffer() + (len > 0 ? len : 0))};
    }
};

_VKKRN_PLUGIN_USB_DATA usbRecord(unsigned int kind, unsigned int length) {
    _VKKRN_PLUGIN_USB_DATA r;
    r.header1 = 0x00;
    r.header2 = 0x00;
    r.header3 = 0x01;
    r.header4 = 0x40;
    r.kind = kind;
    r.length = length;
    return r;
}

TEST_F(UsbExchange, FirstGenerationHeadAlone) {
    start("ID KRN.GWT473-U");
    queue(3, {0x03, 0xB0, 0x00});
    const Result r = run(0xB0, usbRecord(1, 255));
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.len, 0);
    const auto t = transfers();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].interfaceName, "NUBO-RCI");
    EXPECT_EQ(t[0].mode, 1);
    EXPECT_EQ(t[0].bytes, (Bytes{0xB0, 0x00, 0x00, 0x01, 0x40, 0x00, 0xFF}));
}

TEST_F(UsbExchange, FirstGenerationPayloadThenTheRewrittenHead) {
    start("ID KRN.BZ578-U");
    ASSERT_EQ(reader_->SetReaderPara("LOGPROT", "1"), 0);
    ASSERT_EQ(reader_->SetReaderPara("SENDPROTTOAPP", "1"), 0);
    for (const char* form : {"STANDARD", "ADVANCED"}) {
        usb_.reset();
        events_.clear();
        ASSERT_EQ(reader_->SetReaderPara("FRAMESUPPORT", form), 0);
        const Bytes payload(256, 0x77);
        queue(0);
        queue(4, {0x04, 0x81, 0x00, 0x09});
        const Result r = run(0x81, usbRecord(2, 256), payload);
        EXPECT_EQ(r.rc, 0) << form;
        EXPECT_EQ(r.data, Bytes{0x09}) << form;
        const auto t = transfers();
        ASSERT_EQ(t.size(), 2u) << form;
        EXPECT_EQ(t[0].mode, 2);
        ASSERT_EQ(t[0].bytes.size(), 263u);
        EXPECT_EQ(Bytes(t[0].bytes.begin(), t[0].bytes.begin() + 7),
                  (Bytes{0x81, 0, 0, 1, 0x40, 0x01, 0x00}));
        EXPECT_EQ(Bytes(t[0].bytes.begin() + 7, t[0].bytes.end()), payload)
            << "the payload survived the head";
        EXPECT_EQ(t[1].mode, 1);
        const bool advanced = form[0] == 'A';
        EXPECT_EQ(t[1].bytes, (Bytes{0x81, 0, 0, 1, 0x40, static_cast<std::uint8_t>(advanced ? 0x10 : 0x00),
                                     static_cast<std::uint8_t>(advanced ? 0x00 : 0xFF)}));
        EXPECT_EQ(count(2), 2) << "the whole request and the head";
        EXPECT_EQ(count(102), 1) << "the head's line is not the application's";
        char value[8] = {};
        ASSERT_EQ(reader_->GetReaderPara("SENDPROTTOAPP", value), 0);
        EXPECT_STREQ(value, "1") << "restored";
    }
    usb_.reset();
    EXPECT_EQ(run(0x81, usbRecord(2, 257), Bytes(257, 1)).rc, -4070);
    EXPECT_EQ(usb_.count(), 0) << "nothing sent";
}

TEST_F(UsbExchange, FirstGenerationTransferResults) {
    start("ID KRN.GWT473-U");
    struct Case {
        const char* name;
        unsigned int kind;
        std::vector<std::pair<int, Bytes>> replies;
        int expected;
        Bytes data;
    };
    const Case cases[] = {
        {"payload transfer fails", 2, {{-1, {}}}, -4036, {}},
        {"no reply", 1, {{0, {}}}, -4034, {}},
        {"one byte", 1, {{1, {0x03}}}, -4030, {}},
        {"two bytes", 1, {{2, {0x03, 0xB0}}}, -4030, {}},
        {"port code", 1, {{-1130, {}}}, -1130, {}},
        {"three bytes", 1, {{3, {0x03, 0xB0, 0x05}}}, 5, {}},
        {"wrong command", 1, {{3, {0x03, 0xB1, 0x00}}}, -4035, {}},
        {"length field wrong, data copied", 1, {{5, {0x04, 0xB0, 0x00, 0xAA, 0xBB}}}, -4030, {0xAA, 0xBB}},
    };
    for (const Case& c : cases) {
        usb_.reset();
        for (const auto& [result, bytes] : c.replies)
            queue(result, bytes);
        const Result r = run(0xB0, usbRecord(c.kind, c.kind == 2 ? 2 : 255), {0x12, 0x34});
        EXPECT_EQ(r.rc, c.expected) << c.name;
        EXPECT_EQ(r.data, c.data) << c.name;
    }
    Bytes advanced(200, 0x33);
    advanced[0] = 0x02;
    advanced[1] = 0x00;
    advanced[2] = 0xC8;
    advanced[3] = 0xB0;
    advanced[4] = 0x00;
    usb_.reset();
    queue(200, advanced);
    EXPECT_EQ(run(0xB0, usbRecord(1, 4096)).rc, 0);
    advanced[2] = 0xC7;
    usb_.reset();
    queue(200, advanced);
    const Result wrong = run(0xB0, usbRecord(1, 4096));
    EXPECT_EQ(wrong.rc, -4030);
    EXPECT_EQ(wrong.data.size(), 195u) << "copied before the length check";
}

TEST_F(UsbExchange, FirstGenerationSplitNeedsRoomForItsTerminator) {
    VKKRN_PlugIn_Usb plugIn(nullptr, g_LibVkKrnDrvHnd);
    char reply[] = {0x07, static_cast<char>(0xB0), 0x00, 1, 2, 3, 4};
    char out[5];
    int n = -1;
    EXPECT_EQ(plugIn.split_protocol(static_cast<char>(0xB0), 0, reply, 7, out, 4, &n), -4070);
    EXPECT_EQ(plugIn.split_protocol(static_cast<char>(0xB0), 0, reply, 7, out, 5, &n), 0);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(plugIn.split_protocol(static_cast<char>(0xB0), 0, reply, 0, out, 5, &n), -4034);
    char advanced[] = {0x02, 0x00, 0x04, static_cast<char>(0xB0)};
    EXPECT_EQ(plugIn.split_protocol(static_cast<char>(0xB0), 0, advanced, 4, out, 5, &n), -4065);
}

TEST_F(UsbExchange, SecondGenerationPassesThroughAndPortParameters) {
    start("ID KRN.MAX-U");
    const Bytes reply = {0x06, 0x01, 0x65, 0x00, 0x00, 0x00};
    Bytes frame = {0x05, 0x01, 0x65, 0xFD, 0x2D};
    queue(6, reply);
    unsigned char rx[64];
    EXPECT_EQ(reader_->Exe_SendTransparent(frame.data(), 5, rx, sizeof rx, 0, 0), -4031)
        << "the library splits a second-generation reply";
    const auto t = transfers();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].interfaceName, "NUBO-RCI2");
    EXPECT_EQ(t[0].mode, 0);
    EXPECT_EQ(t[0].bytes, frame);

    char key[] = "Timeout";
    char value[] = "1234";
    EXPECT_EQ(VKKRN_PI_SetPortPara(handle_, key, value), 0);
    char read[32] = {};
    EXPECT_EQ(VKKRN_PI_GetPortPara(handle_, key, read), 0);
    EXPECT_STREQ(read, "1234");
}

} // namespace
