// The protocol log file as the frame exports with capture write it. Each test
// runs in its own working directory; "vkkrn.ini" there is read when a reader is
// made.
#include "frame_oracle.h"

#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

using vkkrn::codec::testing::Bytes;
namespace oracle = vkkrn::codec::testing;

class ProtocolLog : public vktesting::TempDirTest {
  protected:
    void start(const std::string& settings) {
        if (!settings.empty()) writeFile("vkkrn.ini", settings);
        reader_ = VKKRN_NewReader(0);
        ASSERT_GT(reader_, 0);
    }

    int send(std::uint8_t cmd, Bytes data, int format = 10) {
        std::vector<unsigned char> frame(data.size() + 16);
        data.reserve(1);
        return VKKRN_BuildSendProtocol(reader_, 0xFF, cmd, data.data(), static_cast<int>(data.size()),
                                       frame.data(), format);
    }

    int receive(Bytes reply) {
        unsigned char adr, cmd;
        std::vector<unsigned char> data(reply.size() + 1);
        int n;
        reply.reserve(1);
        return VKKRN_SplitRecProtocol(reader_, reply.data(), static_cast<int>(reply.size()), &adr, &cmd,
                                      data.data(), &n, 10);
    }

    std::string log() const { return readFile("vkkrn_log.txt"); }

    int reader_ = 0;
};

std::string hexOf(const Bytes& bytes) {
    std::string text;
    for (auto b : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X ", b);
        text += pair;
    }
    return text;
}

TEST_F(ProtocolLog, ExactLinesWithoutTimeStamps) {
    start("logfile;log_notimestamp");
    const Bytes request = oracle::standardRequest(0xFF, 0x65, {});
    const Bytes reply = oracle::standardReply(0xFF, 0x65, 0x00, {0x01});
    Bytes corrupt = reply;
    corrupt.back() ^= 0x01;
    const Bytes warning = oracle::standardReply(0x02, 0x65, 0x84, {});
    const Bytes unknown = oracle::standardReply(0x02, 0x65, 0x09, {});
    ASSERT_EQ(send(0x65, {}), 5);
    ASSERT_EQ(receive(reply), 0);
    ASSERT_EQ(receive(corrupt), -4031);
    ASSERT_EQ(receive({0x05}), -4030);
    ASSERT_EQ(receive({0x05, 0xFF, 0x65, 0x00, 0x00}), -4030) << "first byte below 6: no line";
    ASSERT_EQ(receive(warning), 0x84);
    ASSERT_EQ(receive(unknown), 0x09);
    ASSERT_EQ(send(0xA2, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}), 11);
    const Bytes keyFrame = oracle::standardRequest(0xFF, 0xA2, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
    EXPECT_EQ(log(), ">>  " + hexOf(request) + "\r\n" +       //
                         "<<  " + hexOf(reply) + "  OK\r\n" + //
                         "<<  Error: -4031  (" + hexOf(corrupt) + "  VKKRN: (-4031) checksum error)\r\n" +
                         "<<  Error: -4030  (05   VKKRN: (-4030) protocol length error)\r\n" + //
                         "<<  " + hexOf(warning) + "  Reader: RF-Warning\r\n" +                //
                         "<<  " + hexOf(unknown) + "  VKKRN: Unknown Statusbyte (0x09)\r\n" +  //
                         ">>  0B FF A2 ** ** ** ** ** ** " + hexOf({keyFrame[9], keyFrame[10]}) + "\r\n");
}

TEST_F(ProtocolLog, GermanTextsInTheLines) {
    start("logfile;log_notimestamp");
    ASSERT_EQ(VKKRN_SetReaderPara(0, "LANGUAGE", "7"), 0);
    const Bytes reply = oracle::standardReply(0x01, 0x65, 0x11, {});
    ASSERT_EQ(receive(reply), 0x11);
    ASSERT_EQ(receive({0x07}), -4030);
    EXPECT_EQ(log(), "<<  " + hexOf(reply) +
                         "  Leser: Parameter au\xDF"
                         "erhalb des Wertebereichs\r\n" +
                         "<<  Error: -4030  (07   VKKRN: (-4030) Fehlerhafte Protokolll\xE4"
                         "nge)\r\n");
}

TEST_F(ProtocolLog, LinesCarryATimeStamp) {
    start("logfile");
    ASSERT_EQ(send(0x65, {}), 5);
    ASSERT_EQ(receive(oracle::standardReply(0xFF, 0x65, 0, {})), 0);
    // strftime "%x %X" in the C locale, then the milliseconds.
    const std::regex lines(
        R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}  >>  05 FF 65 [0-9A-F]{2} [0-9A-F]{2} \r\n)"
        R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}  <<  06 FF 65 00 [0-9A-F]{2} [0-9A-F]{2}   OK\r\n)");
    EXPECT_TRUE(std::regex_match(log(), lines)) << log();
}

TEST_F(ProtocolLog, SwitchesLevelAndFileName) {
    start("");
    ASSERT_EQ(send(0x65, {}), 5);
    EXPECT_FALSE(std::filesystem::exists(workDir() / "vkkrn_log.txt")) << "LOGFILE is off by default";
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGFILE", "2"), 0);
    ASSERT_EQ(send(0x65, {}), 5);
    EXPECT_FALSE(std::filesystem::exists(workDir() / "vkkrn_log.txt")) << "only 1 switches on";
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGFILE", "1"), 0);
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGLEVEL", "2"), 0);
    ASSERT_EQ(send(0x65, {}), 5);
    EXPECT_FALSE(std::filesystem::exists(workDir() / "vkkrn_log.txt")) << "level without bit 0";
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGLEVEL", "3"), 0);
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGFILENAME", "other.log"), 0);
    ASSERT_EQ(send(0x65, {}), 5);
    EXPECT_NE(readFile("other.log").find("  >>  05 FF 65 "), std::string::npos);
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGFILENAME", "missing/dir/file.log"), 0);
    EXPECT_EQ(send(0x65, {}), 5) << "an unwritable log loses the line silently";
    const std::string other = readFile("other.log");
    EXPECT_EQ(std::count(other.begin(), other.end(), '\n'), 1);
}

TEST_F(ProtocolLog, LockProtToAppSilencesTheLog) {
    start("logfile;log_notimestamp");
    const int second = VKKRN_NewReader(0);
    ASSERT_GT(second, 0);
    EXPECT_EQ(VKKRN_GetReaderPara(0, "ISPROTTOAPPLOCKED", nullptr), -4002);
    char unused[4] = "x";
    EXPECT_EQ(VKKRN_GetReaderPara(0, "IsProtToAppLocked", unused), 1);
    EXPECT_STREQ(unused, "x") << "the value is not written";
    ASSERT_EQ(VKKRN_SetReaderPara(0, "LOCKPROTTOAPP", ""), 0);
    ASSERT_EQ(send(0x65, {}), 5);
    ASSERT_EQ(receive(oracle::standardReply(0xFF, 0x65, 0, {})), 0);
    EXPECT_EQ(log(), "");
    ASSERT_EQ(VKKRN_SetReaderPara(0, "UnlockProtToApp", ""), 0);
    ASSERT_EQ(send(0x65, {}), 5);
    EXPECT_EQ(log().substr(0, 4), ">>  ");
}

} // namespace
