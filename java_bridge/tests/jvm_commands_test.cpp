// The command natives from a real JVM: reader authentication, the core's
// protocols, raw and transparent frames, the synchronous SAM command, the
// baud-rate search and BuildProtocol, against the simulated reader and the
// core's control interface.
#include "commands_fixture.h"

#include <krnsim/authentication.h>
#include <vkdm/vkdm_control.h>
#include <vkkrn.h>
#include <vktesting/test_jvm.h>

#include <gmock/gmock.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using ::testing::HasSubstr;
using vkbridge::B;
using vkbridge::Bytes;
using vkbridge::callReader;
using vkbridge::CommandsJvmTest;
using vkbridge::I;
using vkbridge::kFailureId;
using vkbridge::kIso;
using vkbridge::kKey;
using vkbridge::kStatusId;
using vkbridge::kTxPub;
using vkbridge::kUid;
using vkbridge::L;
using vkbridge::Outcome;
using vkbridge::Z;

TEST_F(CommandsJvmTest, AuthenticationWrapsTheCommandsThatFollow) {
    useKey();
    // A wrong key: the reader's refusal is a status, returned.
    Outcome o = authenticate(0, "FF0102030405060708090A0B0C0D0E0F");
    EXPECT_FALSE(o.thrown);
    EXPECT_EQ(o.value.i, krnsim::kAuthRefused);
    // No such key type: the reader library's code by range, the type sign-extended.
    o = authenticate(static_cast<jbyte>(0x80), kKey);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkReaderDriverException");
    EXPECT_EQ(o.thrown->code, -4051);
    EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_ReaderAuthentication(4294967168, jstring)"));
    // Null key, unlisted module.
    o = authenticate(0, nullptr);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -121);
    EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_ReaderAuthentication(jbyte, jstring)"));
    o = authenticate(0, kKey, 0x10000FFF);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -141);

    o = authenticate(0, kKey);
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.value.i, 0);
    // The core's own protocol travels wrapped in 0xAF now.
    o = callReader(env, "SendProtocol", "(IB)I", {I(handle), B(0x65)});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.value.i, 0);
    const auto sent = requests(0x65);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].secured);
}

TEST_F(CommandsJvmTest, ProtocolByCommandThrowsByRange) {
    struct Row {
        int forced;
        const char* cls; // null: nothing thrown
    } rows[] = {
        {-1230, "de.varek.VkPortDriverException"},
        {-4030, "de.varek.VkReaderDriverException"},
        {-4100, "de.varek.VkdmException"},
        {-999, "de.varek.VkdmException"},
        {-103, "de.varek.VkdmException"},
        {0, nullptr},
        {0x84, nullptr},
    };
    for (const Row& row : rows) {
        VKDM_CTL_ForceResult("SendProtocol", row.forced);
        const Outcome o = callReader(env, "SendProtocol", "(IB)I", {I(handle), B(static_cast<jbyte>(0xB0))});
        if (row.cls == nullptr) {
            EXPECT_FALSE(o.thrown) << row.forced;
            EXPECT_EQ(o.value.i, row.forced);
            continue;
        }
        ASSERT_TRUE(o.thrown) << row.forced;
        EXPECT_EQ(o.thrown->className, row.cls);
        EXPECT_EQ(o.thrown->code, row.forced);
        EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_SendProtocol(0xB0)"));
    }
}

TEST_F(CommandsJvmTest, ProtocolWithDataGivesHexTextAndKeepsTheStatus) {
    answer(0x71, 0x00, {0x01, 0xAB, 0xFF});
    Outcome o = protocol(0x71, "0101");
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(o.text, "01ABFF");
    const auto sent = requests(0x71);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (Bytes{0x01, 0x01}));
    // A status without data: an empty text, the status in the data memory.
    answer(0x71, 0x01, {});
    o = protocol(0x71, "0101");
    ASSERT_FALSE(o.thrown);
    EXPECT_EQ(o.text, "");
    unsigned char status = 0;
    ASSERT_EQ(core()->GetData(kStatusId, &status), 0);
    EXPECT_EQ(status, 0x01);
    // Odd hex: the reader library's code, kept in the data memory.
    o = protocol(0x71, "010");
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkReaderDriverException");
    EXPECT_EQ(o.thrown->code, -4051);
    EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_SendProtocol(0x71, \"010\")"));
    EXPECT_TRUE(o.isNull);
    EXPECT_EQ(static_cast<int>(failureCode()), -4051);
    // Null data.
    o = protocol(0x71, nullptr);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -121);
}

TEST_F(CommandsJvmTest, TransparentFramesSendOnlyTheHexDigits) {
    answer(0x71, 0x00, {0xAB});
    // Standard frame without its CRC, in groups: the library appends the CRC.
    Outcome o = transparent("05-FF 71", true);
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    auto sent = requests(0x71);
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].raw.size(), 5u);
    EXPECT_EQ(Bytes(sent[0].raw.begin(), sent[0].raw.begin() + 3), (Bytes{0x05, 0xFF, 0x71}));
    EXPECT_EQ(o.text.substr(0, 10), "0701710"
                                    "0AB");
    EXPECT_EQ(o.text.size(), 14u);
    // The CRC given by the caller.
    std::string withCrc = "05 ff 71 ";
    char crc[8];
    const unsigned char frame[] = {0x05, 0xFF, 0x71};
    const int c = VKKRN_CalcCRC16CheckSum_T(const_cast<unsigned char*>(frame), 3, 0);
    std::snprintf(crc, sizeof crc, "%02X:%02X", c & 0xFF, (c >> 8) & 0xFF);
    withCrc += crc;
    o = transparent(withCrc.c_str(), false);
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(requests(0x71).size(), 2u);
    // A failure: thrown by range with the frame as Java passed it.
    o = transparent("", false);
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -4051);
    EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_SendTransparent(\"\", CalcCrc=false)"));
    EXPECT_EQ(static_cast<int>(failureCode()), -4051);
}

TEST_F(CommandsJvmTest, SynchronousSamCommand) {
    answer(0xC0, 0x00, {0x90, 0x00});
    Outcome o = samSync({0x00, 0xA4});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(bytesOf(o), (Bytes{0x90, 0x00}));
    auto sent = requests(0xC0);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (Bytes{0x02, 0x0A, 0x00, 0xA4}));
    // A reply of 4 KB.
    Bytes big(4096);
    for (std::size_t k = 0; k < big.size(); ++k)
        big[k] = static_cast<std::uint8_t>(k);
    answer(0xC0, 0x00, big);
    o = samSync({0x01});
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(bytesOf(o), big);
    // A status: its "Status" form; no data: -109.
    answer(0xC0, 0x01, {});
    o = samSync({0x01});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkdmException");
    EXPECT_THAT(o.thrown->message, HasSubstr("Status 0x01"));
    EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_SendSAMCommandSync"));
    EXPECT_TRUE(o.isNull);
    answer(0xC0, 0x00, {});
    o = samSync({0x01});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -109);
    o = samSync({});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -105);
}

TEST_F(CommandsJvmTest, BaudRateSearch) {
    Outcome o = callReader(env, "FindBaudRate", "(I)I", {I(handle)});
    EXPECT_FALSE(o.thrown);
    EXPECT_GE(o.value.i, 0);
    VKDM_CTL_ForceResult("FindBaudRate", -1230);
    o = callReader(env, "FindBaudRate", "(I)I", {I(handle)});
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->className, "de.varek.VkPortDriverException");
    EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_FindBaudRate"));
}

TEST_F(CommandsJvmTest, BuildProtocolFramesWithoutTheCrc) {
    setByte("03 10 08 00 01 00 00", 0x01);
    setByte("03 10 08 01 01 00 00", 0x00);
    Outcome o = build(static_cast<jbyte>(0xB0));
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    EXPECT_EQ(bytesOf(o), (Bytes{0x05, 0xFF, 0xB0, 0x01, 0x00}));
    ASSERT_EQ(callReader(env, "SetProtocolFrameSupport", "(II)I", {I(handle), I(2)}).value.i, 0);
    o = build(static_cast<jbyte>(0xB0));
    EXPECT_EQ(bytesOf(o), (Bytes{0x02, 0x00, 0x07, 0xFF, 0xB0, 0x01, 0x00}));
    // Refusals.
    setByte("03 10 08 00 01 00 00", 0xC0);
    setByte("03 10 08 01 01 00 00", 0x01);
    o = build(static_cast<jbyte>(0xB0));
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -118);
    EXPECT_THAT(o.thrown->message, HasSubstr("VkdmKrnReader_BuildProtocol"));
    o = build(static_cast<jbyte>(0xB1));
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -118);
}

TEST_F(CommandsJvmTest, BuildProtocolReadsBlocksOfTheAddressedItem) {
    ASSERT_EQ(core()->SetTableSize(kIso, 256, 64, 4, 64, 4), 0);
    Bytes uid = {0xE0, 0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    ASSERT_EQ(core()->SetTableData(1, kIso, kUid, uid.data(), 8), 0);
    ASSERT_EQ(core()->SetTableData(1, kIso, 0x08000003, 8u), 0);
    Bytes tx(256);
    for (std::size_t k = 0; k < tx.size(); ++k)
        tx[k] = static_cast<std::uint8_t>(k);
    ASSERT_EQ(core()->SetTableData(1, kIso, kTxPub, tx.data(), 256), 0);
    ASSERT_EQ(core()->SetData("03 10 110 00 96 00 00", uid.data(), 8), 0);
    setByte("03 10 08 00 01 00 00", 0x24);
    setByte("03 10 08 01 01 00 00", 0x01);
    setByte("03 10 09 03 01 00 00", 5);
    setByte("03 10 09 04 01 00 00", 3);
    setByte("03 10 09 05 01 00 00", 4);
    Outcome o = build(static_cast<jbyte>(0xB0));
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    Bytes expected = {0x1C, 0xFF, 0xB0, 0x24, 0x01};
    expected.insert(expected.end(), uid.begin(), uid.end());
    for (std::uint8_t b : {0x05, 0x03, 0x04})
        expected.push_back(b);
    for (std::uint8_t k = 20; k < 32; ++k)
        expected.push_back(k);
    EXPECT_EQ(bytesOf(o), expected);

    // Standard frames but more than 250 data bytes: the reader library builds
    // an advanced frame, whose 16-bit length is lowered.
    setByte("03 10 09 03 01 00 00", 0);
    setByte("03 10 09 04 01 00 00", 63);
    o = build(static_cast<jbyte>(0xB0));
    ASSERT_FALSE(o.thrown) << o.thrown->message;
    const Bytes frame = bytesOf(o);
    const std::size_t data = 13 + 63 * 4;
    ASSERT_EQ(frame.size(), data + 5);
    EXPECT_EQ(frame[0], 0x02);
    EXPECT_EQ((frame[1] << 8) | frame[2], static_cast<int>(frame.size()));

    // A UID not in the table.
    uid[7] = 0x99;
    ASSERT_EQ(core()->SetData("03 10 110 00 96 00 00", uid.data(), 8), 0);
    o = build(static_cast<jbyte>(0xB0));
    ASSERT_TRUE(o.thrown);
    EXPECT_EQ(o.thrown->code, -115);
}

} // namespace

namespace {

std::string hexOf(std::uint8_t a, std::uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", a, b);
    return text;
}

// Two Java threads on two modules: every answer is its own call's.
TEST_F(CommandsJvmTest, TwoThreadsOnTwoModulesGetTheirOwnResults) {
    simulator.reader().setHandler(0x71, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x00, r.data);
    });
    const int second = addModule(true);
    ASSERT_GT(second, 0);
    auto run = [](int module, std::uint8_t id) {
        JNIEnv* threadEnv = vktesting::testJniEnv();
        for (std::uint8_t i = 0; i < 40; ++i) {
            const std::string data = hexOf(id, i);
            jstring text = threadEnv->NewStringUTF(data.c_str());
            Outcome o = callReader(threadEnv, "SendProtocol", "(IBLjava/lang/String;)Ljava/lang/String;",
                                   {I(module), B(0x71), L(text)});
            threadEnv->DeleteLocalRef(text);
            EXPECT_FALSE(o.thrown);
            EXPECT_EQ(o.text, data);
            const std::string frame = "07 FF 71 " + data;
            text = threadEnv->NewStringUTF(frame.c_str());
            o = callReader(threadEnv, "SendTransparent", "(ILjava/lang/String;Z)Ljava/lang/String;",
                           {I(module), L(text), Z(true)});
            threadEnv->DeleteLocalRef(text);
            EXPECT_FALSE(o.thrown);
            // [LEN][ADR][CMD][STATUS][data][CRC]
            EXPECT_EQ(o.text.substr(8, 4), data);
        }
        vktesting::testJvm()->DetachCurrentThread();
    };
    std::thread a(run, handle, 0xA1);
    std::thread b(run, second, 0xB2);
    a.join();
    b.join();
}

} // namespace
