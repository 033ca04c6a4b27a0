// The transponder, transparent, SAM and card-crypto commands through the exports
// of libvkkrn.so, against the simulated reader on loopback TCP (libvktcp) and on
// a pseudo-terminal (libvkcom).
#include "error_lines.h"
#include "loaded_library.h"
#include "sim_reader_test.h"

#include <krnsim/frame.h>
#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

using krnsim::Bytes;
using krnsim::Fault;
using krnsim::Millis;

constexpr int kReplySize = 0x10001;
constexpr std::uint8_t kGuard = 0xEE;

Bytes textBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

krnsim::Tag tag(std::uint8_t last, std::uint8_t type, bool readOnly = false) {
    krnsim::Tag t;
    t.uid = {0xE0, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, last};
    t.type = type;
    t.blockSize = 4;
    t.blockCount = 8;
    for (int i = 0; i < 32; ++i)
        t.blocks.push_back(static_cast<std::uint8_t>(last + i));
    t.readOnly = readOnly;
    return t;
}

Bytes uidOf(const krnsim::Tag& t) {
    return Bytes(t.uid.begin(), t.uid.end());
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Commands : public SimReaderTest {
  protected:
    void SetUp() override {
        SimReaderTest::SetUp();
        ASSERT_EQ(errors_.attach(reader_), 0);
        reply_.assign(kReplySize + 1, kGuard);
    }

    std::string portTimeout() {
        char key[] = "Timeout";
        char value[128] = {};
        EXPECT_EQ(VKKRN_PI_GetPortPara(reader_, key, value), 0);
        return value;
    }
    std::size_t requests() { return sim().log().size(); }
    krnsim::LogEntry lastRequest() {
        const auto entries = sim().log().entries();
        return entries.empty() ? krnsim::LogEntry{} : entries.back();
    }

    int b0(const Bytes& request, int format) {
        Bytes r = request;
        r.push_back(0);
        replyLen_ = -1;
        return VKKRN_0xB0_ISOCmd(reader_, 1, r.data(), static_cast<int>(request.size()), reply_.data(),
                                 &replyLen_, format);
    }
    // The reply as it came: bytes (format 0) or the hex text read back as bytes.
    Bytes replied(int format) const {
        if (replyLen_ <= 0) return {};
        if (format == 0) return Bytes(reply_.begin(), reply_.begin() + replyLen_);
        Bytes out;
        for (int i = 0; i + 1 < replyLen_; i += 2)
            out.push_back(static_cast<std::uint8_t>(
                std::stoi(std::string(reinterpret_cast<const char*>(&reply_[static_cast<std::size_t>(i)]), 2),
                          nullptr, 16)));
        return out;
    }
    // Bytes as the format wants them in a request: hex text only for format 1.
    static Bytes asRequest(const Bytes& bytes, int format) {
        return format == 1 ? textBytes(hexText(bytes)) : bytes;
    }

    Bytes reply_;
    int replyLen_ = -1;
    ErrorLines errors_;
};

INSTANTIATE_TEST_SUITE_P(Links, Commands, ::testing::Values(LinkKind::Tcp, LinkKind::Pty),
                         [](const auto& info) { return std::string(linkName(info.param)); });

TEST_P(Commands, InventoryFindsTheTagsInEveryFormat) {
    const krnsim::Tag a = tag(0x0A, 0x03);
    const krnsim::Tag b = tag(0x0B, 0x05);
    for (int count = 0; count <= 2; ++count) {
        sim().clearTags();
        Bytes expected{static_cast<std::uint8_t>(count)};
        const krnsim::Tag* const inField[] = {&a, &b};
        for (int i = 0; i < count; ++i) {
            sim().addTag(*inField[i]);
            expected = cat(cat(expected, {inField[i]->type}), uidOf(*inField[i]));
        }
        for (const int format : {0, 1, 2}) {
            std::fill(reply_.begin(), reply_.end(), kGuard);
            const int status = b0(asRequest({0x01, 0x00}, format), format);
            EXPECT_EQ(lastRequest().data, (Bytes{0x01, 0x00}));
            if (count == 0) {
                EXPECT_EQ(status, 1) << "no tag in the field, format " << format;
                EXPECT_EQ(replyLen_, 0);
                EXPECT_EQ(reply_[0], kGuard);
                continue;
            }
            EXPECT_EQ(status, 0) << count << " tags, format " << format;
            const int l = static_cast<int>(expected.size());
            EXPECT_EQ(replyLen_, format == 0 ? l : 2 * l) << format;
            EXPECT_EQ(replied(format), expected) << count << " tags, format " << format;
            if (format == 0) {
                EXPECT_EQ(reply_[expected.size()], 0);
            } else {
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply_.data()), 2 * expected.size()),
                          hexText(expected));
                EXPECT_EQ(reply_[2 * expected.size()], 0);
            }
            EXPECT_EQ(reply_[static_cast<std::size_t>(replyLen_) + 1], kGuard) << "nothing after the NUL";
        }
    }
}

TEST_P(Commands, ReadWriteAndTheField) {
    const krnsim::Tag a = tag(0x0A, 0x03);
    const krnsim::Tag ro = tag(0x0C, 0x03, true);
    sim().addTag(a);
    sim().addTag(ro);
    const Bytes addressed = cat(Bytes{0x23, 0x01}, uidOf(a));

    // Addressed read of blocks 2 and 3, as bytes and as hex text of either case.
    const Bytes expected{0x02, 0x04, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19};
    EXPECT_EQ(b0(cat(addressed, {0x02, 0x02}), 0), 0);
    EXPECT_EQ(replied(0), expected);
    std::string lower = hexText(cat(addressed, {0x02, 0x02}));
    for (char& ch : lower)
        ch = static_cast<char>(std::tolower(ch));
    EXPECT_EQ(b0(textBytes(lower), 1), 0);
    EXPECT_EQ(replied(1), expected);
    EXPECT_EQ(replyLen_, 2 * static_cast<int>(expected.size()));

    // Write, then read back.
    const Bytes write = cat(cat(Bytes{0x24, 0x01}, uidOf(a)), {0x05, 0x01, 0x04, 0xDE, 0xAD, 0xBE, 0xEF});
    EXPECT_EQ(b0(textBytes(hexText(write)), 1), 0);
    EXPECT_EQ(replyLen_, 0);
    EXPECT_EQ(b0(cat(addressed, {0x05, 0x01}), 2), 0);
    EXPECT_EQ(replied(2), (Bytes{0x01, 0x04, 0xDE, 0xAD, 0xBE, 0xEF}));

    // The read-only tag refuses with status 3, no data.
    const Bytes refused = cat(cat(Bytes{0x24, 0x01}, uidOf(ro)), {0x00, 0x01, 0x04, 1, 2, 3, 4});
    std::fill(reply_.begin(), reply_.end(), kGuard);
    EXPECT_EQ(b0(refused, 0), 3);
    EXPECT_EQ(replyLen_, 0);
    EXPECT_EQ(reply_[0], kGuard) << "no data, nothing written";

    // Moved out of the field between two calls.
    sim().setTagInField(a.uid, false);
    EXPECT_EQ(b0(cat(addressed, {0x02, 0x01}), 0), 1);
    EXPECT_EQ(replyLen_, 0);
}

// One call of each export with its own arguments; what the reader received.
struct RequestCase {
    const char* name;
    std::function<int(int reader, unsigned char* reply, int* replyLen)> call;
    std::uint8_t cmd;
    Bytes data;
};

TEST_P(Commands, EveryExportLaysItsRequest) {
    static unsigned char req[] = {0xAA, 0xBB, 0};
    static unsigned char odd[] = "123";
    static unsigned char field[] = "00A0FF";
    static unsigned char fieldBytes[] = {0x00, 0xA0, 0xFF};
    static unsigned char hexReq[] = "aAbB";
    const RequestCase cases[] = {
        {"0xB0 bytes",
         [](int h, unsigned char* o, int* l) { return VKKRN_0xB0_ISOCmd(h, 1, req, 2, o, l, 0); },
         0xB0,
         {0xAA, 0xBB}},
        {"0xB0 odd hex",
         [](int h, unsigned char* o, int* l) { return VKKRN_0xB0_ISOCmd(h, 1, odd, 3, o, l, 1); },
         0xB0,
         {0x12, 0x03}},
        {"0xB2",
         [](int h, unsigned char* o, int* l) { return VKKRN_0xB2_ISOCmd(h, 1, hexReq, 4, o, l, 1); },
         0xB2,
         {0xAA, 0xBB}},
        {"0xB3",
         [](int h, unsigned char* o, int* l) { return VKKRN_0xB3_EPCCmd(h, 1, req, 2, o, l, 2); },
         0xB3,
         {0xAA, 0xBB}},
        {"0xB1 lead only",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xB1_ISOCustAndPropCmd(h, 1, 0x21, req, 0, o, l, 0);
         },
         0xB1,
         {0x21}},
        {"0xB4 lead only",
         [](int h, unsigned char* o, int* l) { return VKKRN_0xB4_EPC_UHF_Cmd(h, 1, 0x22, req, 0, o, l, 1); },
         0xB4,
         {0x22}},
        {"0xB5 lead only",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xB5_ISOCustAndPropCmd(h, 1, 0x23, req, 0, o, l, 0);
         },
         0xB5,
         {0x23}},
        {"0xB5 lead and hex",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xB5_ISOCustAndPropCmd(h, 1, 0x23, hexReq, 4, o, l, 1);
         },
         0xB5,
         {0x23, 0xAA, 0xBB}},
        {"0xFE as given",
         [](int h, unsigned char* o, int* l) { return VKKRN_0xFE_Transceive(h, 1, odd, 3, o, l); },
         0xFE,
         {'1', '2', '3'}},
        {"0xBB values cut to 16 bits",
         [](int h, unsigned char* o, int* l) {
             unsigned int n = 0;
             const int rc = VKKRN_0xBB_C1G2_TranspCmd(h, 1, 1, 6, 0, 0x12345, 72, req, 2, o, &n);
             *l = static_cast<int>(n);
             return rc;
         },
         0xBB,
         {0x01, 0x06, 0x00, 0x23, 0x45, 0x00, 0x48, 0xAA, 0xBB}},
        {"0xBD",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xBD_ISOTranspCmd(h, 1, 2, 0x0102, req, 2, o, l, 0);
         },
         0xBD,
         {0x02, 0x01, 0x02, 0xAA, 0xBB}},
        {"0xBE hex",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xBE_ISOTranspCmd(h, 1, 0x103, 0x10002, odd, 3, o, l, 1);
         },
         0xBE,
         {0x03, 0x00, 0x02, 0x12, 0x03}},
        {"0xBF without request",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xBF_ISOTranspCmd(h, 1, 1, 88, req, 0, o, l, 0);
         },
         0xBF,
         {0x01, 0x00, 0x58}},
        {"0xC0 low bytes",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xC0_SAMCmd_Sync(h, 1, 0x102, 30, req, 2, o, l);
         },
         0xC0,
         {0x02, 0x1E, 0xAA, 0xBB}},
        {"0xC1 hex field",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xC1_DESFireCmd(h, 1, 1, 2, field, 4, hexReq, 4, o, l, 1);
         },
         0xC1,
         {0x01, 0x02, 0x00, 0xA0, 0xFF, 0x04, 0xAA, 0xBB}},
        {"0xC1 byte field",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xC1_DESFireCmd(h, 1, 1, 2, fieldBytes, 4, req, 2, o, l, 0);
         },
         0xC1,
         {0x01, 0x02, 0x00, 0xA0, 0xFF, 0x04, 0xAA, 0xBB}},
        {"0xC2",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xC2_MifarePlusCmd(h, 1, 7, 8, req, 2, o, l, 0);
         },
         0xC2,
         {0x07, 0x08, 0xAA, 0xBB}},
        {"0xC3",
         [](int h, unsigned char* o, int* l) {
             return VKKRN_0xC3_DESFireCmd(h, 1, 7, 8, hexReq, 4, o, l, 1);
         },
         0xC3,
         {0x07, 0x08, 0xAA, 0xBB}},
    };
    for (const RequestCase& c : cases) {
        int len = -1;
        EXPECT_GE(c.call(reader_, reply_.data(), &len), 0) << c.name;
        const krnsim::LogEntry e = lastRequest();
        EXPECT_EQ(e.command, c.cmd) << c.name;
        EXPECT_EQ(hexText(e.data), hexText(c.data)) << c.name;
    }
    EXPECT_TRUE(errors_.codes.empty());
}

TEST_P(Commands, KeyBytesOf0xB2AreMaskedInTheCapture) {
    unsigned char req[] = {0xB0, 0x01, 0x11, 0x22, 0x33};
    int len = 0;
    ASSERT_EQ(VKKRN_0xB2_ISOCmd(reader_, 1, req, 5, reply_.data(), &len, 0), 0);
    EXPECT_EQ(lastRequest().data, (Bytes{0xB0, 0x01, 0x11, 0x22, 0x33})) << "the reader gets the keys";
    unsigned char sent[64] = {};
    const int n = VKKRN_GetLastSendProt(reader_, sent, 0);
    ASSERT_EQ(n, 10);
    EXPECT_EQ(Bytes(sent + 3, sent + 8), (Bytes{0xB0, 0x01, 0xFF, 0xFF, 0xFF}));
}

TEST_P(Commands, ReplyCopies) {
    // Status above 0 with data: copied and returned.
    sim().setHandler(0xB3, [](const krnsim::Request&, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x02, {0x01, 0xAB});
    });
    unsigned char req[] = {0x00};
    int len = -1;
    EXPECT_EQ(VKKRN_0xB3_EPCCmd(reader_, 1, req, 1, reply_.data(), &len, 2), 2);
    EXPECT_EQ(len, 4);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply_.data()), "01AB");
    EXPECT_EQ(reply_[5], kGuard);

    // 0xBB and 0xC0 copy bytes and a NUL.
    unsigned char data[] = {0x90, 0x00};
    std::fill(reply_.begin(), reply_.end(), kGuard);
    unsigned int bbLen = 7;
    EXPECT_EQ(VKKRN_0xBB_C1G2_TranspCmd(reader_, 1, 0, 0, 0, 0, 0, data, 2, reply_.data(), &bbLen), 0);
    EXPECT_EQ(bbLen, 2u);
    EXPECT_EQ(Bytes(reply_.begin(), reply_.begin() + 4), (Bytes{0x90, 0x00, 0x00, kGuard}));
    std::fill(reply_.begin(), reply_.end(), kGuard);
    EXPECT_EQ(VKKRN_0xC0_SAMCmd_Sync(reader_, 1, 0, 30, data, 2, reply_.data(), &len), 0);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(Bytes(reply_.begin(), reply_.begin() + 4), (Bytes{0x90, 0x00, 0x00, kGuard}));

    // The longest standard reply frame, its data echoed whole.
    Bytes big(249, 0x5A);
    std::fill(reply_.begin(), reply_.end(), kGuard);
    EXPECT_EQ(VKKRN_0xFE_Transceive(reader_, 1, big.data(), 249, reply_.data(), &len), 0);
    EXPECT_EQ(len, 249);
    EXPECT_EQ(reply_[249], 0);
    EXPECT_EQ(reply_[250], kGuard);

    // Silence and a bad CRC: length 0, buffer untouched.
    ASSERT_EQ(setPort("Timeout", "100"), 0);
    for (const Fault& fault : {Fault::silence(), Fault::badCrc()}) {
        std::fill(reply_.begin(), reply_.end(), kGuard);
        sim().queueFault(fault);
        len = 5;
        unsigned char inv[] = {0x01, 0x00};
        EXPECT_LT(VKKRN_0xB0_ISOCmd(reader_, 1, inv, 2, reply_.data(), &len, 0), 0);
        EXPECT_EQ(len, 0);
        EXPECT_EQ(reply_[0], kGuard);
    }
}

TEST_P(Commands, BadInputSendsNothing) {
    unsigned char req[] = {0x01, 0x00, 0};
    unsigned char text[] = "01G0";
    unsigned char field[] = "00A0FZ";
    int len = 0;
    unsigned int ulen = 0;
    unsigned char* out = reply_.data();
    struct Case {
        const char* name;
        std::function<int()> call;
        int expected;
    };
    const Case cases[] = {
        {"null request", [&] { return VKKRN_0xB0_ISOCmd(-1, 1, nullptr, 2, out, &len, 0); }, -4002},
        {"null reply", [&] { return VKKRN_0xB1_ISOCustAndPropCmd(-1, 1, 0, req, 2, nullptr, &len, 0); },
         -4002},
        {"null length", [&] { return VKKRN_0xB2_ISOCmd(-1, 1, req, 2, out, nullptr, 0); }, -4002},
        {"null 0xBB length",
         [&] { return VKKRN_0xBB_C1G2_TranspCmd(-1, 1, 0, 0, 0, 0, 0, req, 2, out, nullptr); }, -4002},
        {"null 0xC1 field",
         [&] { return VKKRN_0xC1_DESFireCmd(-1, 1, 0, 0, nullptr, 0, req, 2, out, &len, 0); }, -4002},
        {"null 0xC0 request", [&] { return VKKRN_0xC0_SAMCmd_Sync(-1, 1, 0, 0, nullptr, 2, out, &len); },
         -4002},
        {"negative handle", [&] { return VKKRN_0xB3_EPCCmd(-1, 1, req, 2, out, &len, 0); }, -4022},
        {"handle 0", [&] { return VKKRN_0xB4_EPC_UHF_Cmd(0, 1, 0, req, 2, out, &len, 0); }, -4021},
        {"unknown handle", [&] { return VKKRN_0xFE_Transceive(reader_ + 1000, 1, req, 2, out, &len); },
         -4023},
        {"negative length", [&] { return VKKRN_0xB0_ISOCmd(reader_, 1, req, -1, out, &len, 0); }, -4051},
        {"limit + 1", [&] { return VKKRN_0xFE_Transceive(reader_, 1, req, 65529, out, &len); }, -4051},
        {"limit + 1 with the lead",
         [&] { return VKKRN_0xB5_ISOCustAndPropCmd(reader_, 1, 0, req, 65528, out, &len, 0); }, -4051},
        {"limit + 1 in hex",
         [&] { return VKKRN_0xC2_MifarePlusCmd(reader_, 1, 0, 0, req, 2 * 65527 - 1, out, &len, 1); }, -4051},
        {"0xBB 0xFFFFFFFF",
         [&] { return VKKRN_0xBB_C1G2_TranspCmd(reader_, 1, 0, 0, 0, 0, 0, req, 0xFFFFFFFFu, out, &ulen); },
         -4051},
        {"0xBD negative", [&] { return VKKRN_0xBD_ISOTranspCmd(reader_, 1, 0, 0, req, -5, out, &len, 0); },
         -4051},
        {"text", [&] { return VKKRN_0xB0_ISOCmd(reader_, 1, text, 4, out, &len, 1); }, -4052},
        {"0xC1 field text",
         [&] { return VKKRN_0xC1_DESFireCmd(reader_, 1, 0, 0, field, 0, req, 2, out, &len, 1); }, -4052},
    };
    const std::size_t before = requests();
    for (const Case& c : cases) {
        errors_.codes.clear();
        len = 9;
        ulen = 9;
        EXPECT_EQ(c.call(), c.expected) << c.name;
        EXPECT_EQ(reply_[0], kGuard) << c.name;
        if (c.expected == -4051 || c.expected == -4052) {
            EXPECT_EQ(len == 0 || ulen == 0, true) << c.name;
            EXPECT_EQ(lastError(), c.expected) << c.name;
            EXPECT_EQ(errors_.codes, std::vector<int>{c.expected}) << c.name << ": its error line";
        } else {
            EXPECT_EQ(len, 9) << c.name << ": untouched before the reader";
        }
    }
    EXPECT_EQ(requests(), before) << "nothing sent";
}

TEST_P(Commands, SamCommandRunsUnderItsOwnTimeout) {
    // The port's time-out as the port library has it, read straight from it.
    LoadedLibrary tcp("libvktcp.so");
    LoadedLibrary com("libvkcom.so");
    // Each called through its own type: the TCP library takes its key as const.
    using TcpParaFn = int (*)(int, const char*, char*);
    using ComParaFn = int (*)(int, char*, char*);
    std::function<int(int, char*, char*)> read;
    if (GetParam() == LinkKind::Tcp)
        read = tcp.symbol<TcpParaFn>("VKTCP_GetSocketPara");
    else
        read = com.symbol<ComParaFn>("VIZER_GetPortPara");
    const int port = link_->handle;
    auto timeoutNow = [read, port] {
        char key[] = "Timeout";
        char value[128] = {};
        return read(port, key, value) == 0 ? std::string(value) : std::string("?");
    };
    std::vector<std::string> seen;
    std::mutex seenMutex;
    sim().setHandler(0xC0, [&](const krnsim::Request& r, krnsim::ConnectionContext&) {
        std::lock_guard<std::mutex> lock(seenMutex);
        seen.push_back(timeoutNow());
        return krnsim::Reply::frame(0x00, Bytes(r.data.begin() + 2, r.data.end()));
    });
    unsigned char data[] = {0x00, 0xA4};
    int len = 0;
    auto sam = [&](int timeout) {
        return VKKRN_0xC0_SAMCmd_Sync(reader_, 1, 0, timeout, data, 2, reply_.data(), &len);
    };

    ASSERT_EQ(setPort("Timeout", "500"), 0);
    EXPECT_EQ(sam(30), 0);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(timeoutNow(), "500") << "restored";
    {
        std::lock_guard<std::mutex> lock(seenMutex);
        EXPECT_EQ(seen, std::vector<std::string>{"3000"});
    }

    // Restored after silence and after a bad CRC too; result and last error the exchange's.
    sim().queueFault(Fault::silence());
    EXPECT_EQ(sam(1), link_->timeoutCode());
    EXPECT_EQ(lastError(), link_->timeoutCode());
    EXPECT_EQ(len, 0);
    EXPECT_EQ(timeoutNow(), "500");
    sim().queueFault(Fault::badCrc());
    EXPECT_EQ(sam(30), -4031);
    EXPECT_EQ(lastError(), -4031);
    EXPECT_EQ(timeoutNow(), "500");

    // A SAM slower than the old time-out, within its own.
    ASSERT_EQ(setPort("Timeout", "100"), 0);
    sim().queueFault(Fault::delay(Millis(300)));
    EXPECT_EQ(sam(30), 0);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(timeoutNow(), "100");

    // 100,000 ms is more than the port takes: the old time-out stays, the result is the exchange's.
    ASSERT_EQ(setPort("Timeout", "3000"), 0);
    {
        std::lock_guard<std::mutex> lock(seenMutex);
        seen.clear();
    }
    EXPECT_EQ(sam(1000), 0);
    EXPECT_EQ(lastError(), 0);
    EXPECT_EQ(timeoutNow(), "3000");
    {
        std::lock_guard<std::mutex> lock(seenMutex);
        EXPECT_EQ(seen, std::vector<std::string>{"3000"});
    }
    // Any int: 100 x INT_MAX does not wrap into a small time-out.
    EXPECT_EQ(sam(0x7FFFFFFF), 0);
    EXPECT_EQ(timeoutNow(), "3000");
}

TEST(CommandsWithoutReaders, TheHandleLadderEndsAtTheEmptyList) {
    unsigned char req[] = {0x01, 0x00};
    unsigned char out[16];
    int len = 3;
    EXPECT_EQ(VKKRN_0xB0_ISOCmd(5, 1, req, 2, out, &len, 0), -4001);
    EXPECT_EQ(len, 3);
}

// A handler that calls a command of its own reader.
struct Reentry {
    int reader = 0;
    int result = 0;
    int len = 7;
};

void reenterCommand(void* any, unsigned char*, int, int) {
    auto* r = static_cast<Reentry*>(any);
    unsigned char req[] = {0x01, 0x00};
    unsigned char out[64];
    r->result = VKKRN_0xB0_ISOCmd(r->reader, 1, req, 2, out, &r->len, 0);
}

TEST_P(Commands, ACommandFromItsReadersOwnHandlerIsRefused) {
    Reentry state{reader_};
    _VKKRN_EVENT_INIT r{};
    r.pAny = &state;
    r.uiUse = 5;
    r.uiFlag = 7;
    r.callback.form7 = &reenterCommand;
    ASSERT_EQ(VKKRN_AddEventHandler(reader_, &r), 0);
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "SENDPROTTOAPP", "1"), 0);
    unsigned char req[] = {0x01, 0x00};
    int len = 0;
    sim().addTag(tag(0x0A, 0x03));
    EXPECT_EQ(VKKRN_0xB0_ISOCmd(reader_, 1, req, 2, reply_.data(), &len, 0), 0);
    EXPECT_EQ(state.result, -4032);
    EXPECT_EQ(state.len, 7) << "nothing written";
    ASSERT_EQ(VKKRN_DelEventHandler(reader_, &r), 0);
    EXPECT_EQ(VKKRN_0xB0_ISOCmd(reader_, 1, req, 2, reply_.data(), &len, 0), 0) << "no lock left behind";
}

} // namespace
