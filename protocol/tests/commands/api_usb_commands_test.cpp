// Transponder and transparent commands on USB readers of both generations,
// through the exports of libvkkrn.so, against a stand-in libvkusb that records
// every transfer: the first generation's compact request form and its refusals,
// the second generation's frames, and the SAM command's port time-out.
#include "error_lines.h"
#include "fake_usb_transfer.h"

#include <krnsim/frame.h>
#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kUsbPort = 0x10000001;
constexpr const char* kFirstGeneration = FakeUsbTransfer::kFirstGeneration;
constexpr const char* kSecondGeneration = FakeUsbTransfer::kSecondGeneration;

class UsbCommands : public vktesting::TempDirTest {
  protected:
    void SetUp() override {
        vktesting::TempDirTest::SetUp();
        reply_.assign(0x10001, 0xEE);
    }
    void TearDown() override {
        if (reader_ > 0) VKKRN_DeleteReader(reader_);
        vktesting::TempDirTest::TearDown();
    }
    void start(const char* deviceName) {
        usb_.setName(deviceName);
        reader_ = VKKRN_NewReader(kUsbPort);
        ASSERT_GT(reader_, 0);
        ASSERT_EQ(errors_.attach(reader_), 0);
    }
    void queue(int result, const Bytes& bytes = {}) { usb_.queue(result, bytes); }
    // A first-generation reply [LEN][CMD][STATUS][data].
    void queueFirst(std::uint8_t cmd, std::uint8_t status, const Bytes& data = {}) {
        Bytes r{static_cast<std::uint8_t>(3 + data.size()), cmd, status};
        r.insert(r.end(), data.begin(), data.end());
        queue(static_cast<int>(r.size()), r);
    }
    int lastError() {
        int code = 1;
        char text[256];
        VKKRN_GetLastError(reader_, &code, text);
        return code;
    }

    FakeUsbTransfer usb_;
    int reader_ = 0;
    Bytes reply_;
    int replyLen_ = -1;
    ErrorLines errors_;
};

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes head(std::uint8_t cmd, Bytes header, unsigned int length) {
    header.insert(header.begin(), cmd);
    header.push_back(static_cast<std::uint8_t>(length >> 8));
    header.push_back(static_cast<std::uint8_t>(length));
    return header;
}

Bytes withPayload(Bytes h, const Bytes& payload) {
    h.insert(h.end(), payload.begin(), payload.end());
    return h;
}

TEST_F(UsbCommands, FirstGenerationRecordsFromTheRequest) {
    start(kFirstGeneration);
    using Call = std::function<int(int, unsigned char*, int*)>;
    struct Case {
        const char* name;
        const char* frames; // FRAMESUPPORT
        Bytes request;
        Call call;
        Bytes payloadTransfer; // empty: the head alone
        Bytes headTransfer;
    };
    static Bytes req;
    static int reqLen = 0;
    auto b0 = [](int format) {
        return [format](int h, unsigned char* o, int* l) {
            return VKKRN_0xB0_ISOCmd(h, 1, req.data(), reqLen, o, l, format);
        };
    };
    const Bytes p256(256, 0x44);
    const Case cases[] = {
        {"0xB0 2 bytes", "STANDARD", {0x01, 0x00}, b0(0), {}, head(0xB0, {0, 0, 0x01, 0x00}, 255)},
        {"0xB0 2 bytes, advanced", "ADVANCED", {0x01, 0x00}, b0(0), {}, head(0xB0, {0, 0, 0x01, 0x00}, 4096)},
        {"0xB0 5 bytes",
         "STANDARD",
         {0x23, 0x00, 0x01, 0x02, 0x03},
         b0(0),
         withPayload(head(0xB0, {0, 0, 0x23, 0x00}, 3), {0x01, 0x02, 0x03}),
         head(0xB0, {0, 0, 0x23, 0x00}, 255)},
        {"0xB0 hex", "STANDARD", text("2300010203"), b0(1),
         withPayload(head(0xB0, {0, 0, 0x23, 0x00}, 3), {0x01, 0x02, 0x03}),
         head(0xB0, {0, 0, 0x23, 0x00}, 255)},
        {"0xB0 format 2 takes bytes",
         "STANDARD",
         {0x23, 0x00, 0x01},
         b0(2),
         withPayload(head(0xB0, {0, 0, 0x23, 0x00}, 1), {0x01}),
         head(0xB0, {0, 0, 0x23, 0x00}, 255)},
        {"0xB0 1 byte", "STANDARD", {0x01}, b0(0), {}, head(0xB0, {0, 0, 0x01, 0x00}, 255)},
        {"0xB0 no byte", "ADVANCED", {}, b0(0), {}, head(0xB0, {0, 0, 0, 0}, 4096)},
        {"0xB0 payload 256", "STANDARD", withPayload({0x24, 0x00}, p256), b0(0),
         withPayload(head(0xB0, {0, 0, 0x24, 0x00}, 256), p256), head(0xB0, {0, 0, 0x24, 0x00}, 255)},
        {"0xB2 2 bytes",
         "STANDARD",
         {0xA0, 0x01},
         [](int h, unsigned char* o, int* l) { return VKKRN_0xB2_ISOCmd(h, 1, req.data(), 2, o, l, 0); },
         withPayload(head(0xB2, {0, 0, 0xA0, 0}, 1), {0x01}),
         head(0xB2, {0, 0, 0xA0, 0}, 255)},
        {"0xB2 1 byte",
         "STANDARD",
         {0xA0},
         [](int h, unsigned char* o, int* l) { return VKKRN_0xB2_ISOCmd(h, 1, req.data(), 1, o, l, 0); },
         {},
         head(0xB2, {0, 0, 0xA0, 0}, 255)},
        {"0xB1 lead in the header",
         "STANDARD",
         {0x05, 0x06, 0x07},
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xB1_ISOCustAndPropCmd(h, 1, 0x42, req.data(), 3, o, l, 0);
         },
         withPayload(head(0xB1, {0, 0x42, 0x05, 0x06}, 1), {0x07}),
         head(0xB1, {0, 0x42, 0x05, 0x06}, 255)},
        {"0xB5 lead in the header",
         "STANDARD",
         text("0506"),
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xB5_ISOCustAndPropCmd(h, 1, 0x43, req.data(), 4, o, l, 1);
         },
         {},
         head(0xB5, {0, 0x43, 0x05, 0x06}, 255)},
        {"0xBD value and hex request", "STANDARD", text("0A0B0C"),
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xBD_ISOTranspCmd(h, 1, 0x07, 0x0102, req.data(), 6, o, l, 1);
         },
         withPayload(head(0xBD, {0, 0, 0, 0x07}, 5), {0x01, 0x02, 0x0A, 0x0B, 0x0C}),
         head(0xBD, {0, 0, 0, 0x07}, 255)},
        {"0xBE without request",
         "ADVANCED",
         {},
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xBE_ISOTranspCmd(h, 1, 0x08, 0x0102, req.data(), 0, o, l, 0);
         },
         {},
         head(0xBE, {0, 0, 0, 0x08}, 4096)},
    };
    for (const Case& c : cases) {
        usb_.reset();
        ASSERT_EQ(VKKRN_SetReaderPara(reader_, "FRAMESUPPORT", c.frames), 0);
        req = c.request;
        reqLen = static_cast<int>(req.size());
        req.push_back(0);
        const std::uint8_t cmd = c.headTransfer[0];
        if (!c.payloadTransfer.empty()) queue(0);
        queueFirst(cmd, 0x00, {0xAB});
        int len = -1;
        std::fill(reply_.begin(), reply_.end(), 0xEE);
        EXPECT_EQ(c.call(reader_, reply_.data(), &len), 0) << c.name;
        const auto t = usb_.transfers();
        ASSERT_EQ(t.size(), c.payloadTransfer.empty() ? 1u : 2u) << c.name;
        if (!c.payloadTransfer.empty()) {
            EXPECT_EQ(t[0].mode, 2) << c.name;
            EXPECT_EQ(t[0].bytes, c.payloadTransfer) << c.name;
        }
        EXPECT_EQ(t.back().interfaceName, "NUBO-RCI") << c.name;
        EXPECT_EQ(t.back().mode, 1) << c.name;
        EXPECT_EQ(t.back().bytes, c.headTransfer) << c.name;
        if (len == 2) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply_.data())), "AB") << c.name;
        } else {
            EXPECT_EQ(len, 1) << c.name;
            EXPECT_EQ(reply_[0], 0xAB) << c.name;
        }
    }

    // Format 2: bytes in, hex text out.
    usb_.reset();
    req = {0x01, 0x00};
    queueFirst(0xB0, 0x00, {0xAB, 0x01});
    int len = 0;
    EXPECT_EQ(VKKRN_0xB0_ISOCmd(reader_, 1, req.data(), 2, reply_.data(), &len, 2), 0);
    EXPECT_EQ(len, 4);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply_.data()), "AB01");

    // A payload of 257 bytes: the plug-in refuses, nothing goes out.
    usb_.reset();
    req = withPayload({0x24, 0x00}, Bytes(257, 0x44));
    EXPECT_EQ(VKKRN_0xB0_ISOCmd(reader_, 1, req.data(), static_cast<int>(req.size()), reply_.data(), &len, 0),
              -4070);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(usb_.count(), 0);
}

TEST_F(UsbCommands, FirstGenerationRefusals) {
    start(kFirstGeneration);
    unsigned char req[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0};
    unsigned char* o = reply_.data();
    int len = 0;
    unsigned int ulen = 0;
    struct Case {
        const char* name;
        std::function<int()> call;
    };
    const Case cases[] = {
        {"0xB3", [&] { return VKKRN_0xB3_EPCCmd(reader_, 1, req, 2, o, &len, 0); }},
        {"0xB4", [&] { return VKKRN_0xB4_EPC_UHF_Cmd(reader_, 1, 0, req, 2, o, &len, 0); }},
        {"0xBB", [&] { return VKKRN_0xBB_C1G2_TranspCmd(reader_, 1, 0, 0, 0, 0, 0, req, 2, o, &ulen); }},
        {"0xC0", [&] { return VKKRN_0xC0_SAMCmd_Sync(reader_, 1, 0, 30, req, 2, o, &len); }},
        {"0xC1", [&] { return VKKRN_0xC1_DESFireCmd(reader_, 1, 0, 0, req, 0, req, 2, o, &len, 0); }},
        {"0xC2", [&] { return VKKRN_0xC2_MifarePlusCmd(reader_, 1, 0, 0, req, 2, o, &len, 0); }},
        {"0xC3", [&] { return VKKRN_0xC3_DESFireCmd(reader_, 1, 0, 0, req, 2, o, &len, 0); }},
        {"0xFE", [&] { return VKKRN_0xFE_Transceive(reader_, 1, req, 2, o, &len); }},
    };
    for (const Case& c : cases) {
        errors_.codes.clear();
        len = 5;
        ulen = 5;
        EXPECT_EQ(c.call(), -4006) << c.name;
        EXPECT_TRUE(len == 0 || ulen == 0) << c.name;
        EXPECT_EQ(lastError(), -4006) << c.name;
        EXPECT_EQ(errors_.codes, std::vector<int>{-4006}) << c.name << ": its error line";
    }
    EXPECT_EQ(usb_.count(), 0) << "nothing sent";
    EXPECT_EQ(usb_.timeoutsSet(), "") << "the refused SAM command leaves the port alone";
}

TEST_F(UsbCommands, SecondGenerationSendsFramesAndRefusesRawTransceive) {
    start(kSecondGeneration);
    unsigned char req[] = {0x01, 0x00};
    int len = 0;
    EXPECT_EQ(VKKRN_0xFE_Transceive(reader_, 1, req, 2, reply_.data(), &len), -4006);
    EXPECT_EQ(usb_.count(), 0);

    const Bytes answer = krnsim::buildReply(krnsim::Form::Standard, 1, 0xB0, 0x00, Bytes{0x00});
    queue(static_cast<int>(answer.size()), answer);
    EXPECT_EQ(VKKRN_0xB0_ISOCmd(reader_, 1, req, 2, reply_.data(), &len, 0), 0);
    EXPECT_EQ(len, 1);
    const auto t = usb_.transfers();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].interfaceName, "NUBO-RCI2");
    EXPECT_EQ(t[0].bytes, krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB0, Bytes{0x01, 0x00}));
}

TEST_F(UsbCommands, SamTimeoutOnASecondGenerationReader) {
    start(kSecondGeneration);
    unsigned char req[] = {0x00, 0xA4};
    int len = 0;
    const Bytes answer = krnsim::buildReply(krnsim::Form::Standard, 1, 0xC0, 0x00, Bytes{0x90, 0x00});
    queue(static_cast<int>(answer.size()), answer);
    EXPECT_EQ(VKKRN_0xC0_SAMCmd_Sync(reader_, 1, 0, 7, req, 2, reply_.data(), &len), 0);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(usb_.timeoutsSet(), "700\n3000\n") << "set for the exchange, then the old value back";

    // "Timeout" cannot be read: nothing set, nothing restored, the exchange runs.
    usb_.reset();
    usb_.failTimeout(-1150, 0);
    queue(static_cast<int>(answer.size()), answer);
    EXPECT_EQ(VKKRN_0xC0_SAMCmd_Sync(reader_, 1, 0, 5, req, 2, reply_.data(), &len), 0);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(lastError(), 0);
    EXPECT_EQ(usb_.timeoutsSet(), "");
    EXPECT_EQ(usb_.count(), 1);

    // Setting fails: the exchange runs with the port's time-out; result and last error its own.
    usb_.reset();
    usb_.failTimeout(0, -1151);
    queue(static_cast<int>(answer.size()), answer);
    EXPECT_EQ(VKKRN_0xC0_SAMCmd_Sync(reader_, 1, 0, 5, req, 2, reply_.data(), &len), 0);
    EXPECT_EQ(lastError(), 0);
    EXPECT_EQ(usb_.timeoutsSet(), "500\n3000\n");
}

} // namespace
