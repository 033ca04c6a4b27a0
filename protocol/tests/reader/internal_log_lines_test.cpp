// Error, receive and diagnostic lines that need the reader's internals: codes of
// the port libraries, diagnostics and their level, and the frame lock.
#include "frame_oracle.h"
#include "internal_fixture.h"

#include <vkcommon/port_handle.h>

#include <regex>
#include <string>
#include <vector>

namespace {

namespace oracle = vkkrn::codec::testing;

class LogLines : public InternalTest {
  protected:
    std::shared_ptr<VKKRNReader> start(int portHnd, const std::string& settings) {
        writeFile("vkkrn.ini", settings);
        return newReader(portHnd);
    }
    std::string log() const { return readFile("vkkrn_log.txt"); }
};

constexpr char kStamp[] = R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})";

TEST_F(LogLines, PortCodesTakeTheTextOfTheReadersPortLibrary) {
    struct Case {
        const char* what;
        int portHnd;
        int code;
        const char* prefix; // of the port library's text
    };
    const Case cases[] = {
        {"serial", 1, -1030, "VIZER: "},
        {"TCP code on a serial reader", 1, -1230, "VIZER: "},
        {"TCP", vk::makePortHandle(vk::PortType::Tcp, 1), -1230, "VKTCP: \\(-1230\\)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto reader = start(c.portHnd, "logfile;log_notimestamp");
        reader->ErrorStrToLogDoc(c.code);
        reader->RecProtStrToLogDoc(0, c.code, false, false);
        const unsigned char bytes[] = {0x06, 0x01, 0x02};
        reader->SetLastRecProt(bytes, 3);
        reader->RecProtStrToLogDoc(3, c.code, false, false);
        const std::string code = std::to_string(c.code);
        const std::regex lines(std::string(kStamp) + "  !!  Error: " + code + "  " + c.prefix +
                               R"([^\r]*\r\n)" + "<<  Error: " + code + "  \\(" + c.prefix +
                               R"([^\r]*\)\r\n)" + "<<  Error: " + code + "  \\(06 01 02   " + c.prefix +
                               R"([^\r]*\)\r\n)");
        EXPECT_TRUE(std::regex_match(log(), lines)) << log();
        std::filesystem::remove(workDir() / "vkkrn_log.txt");
        g_LibVkKrnDrvHnd.DeleteAllReaders();
    }
}

TEST_F(LogLines, APortCodeWithoutAPortLibraryDropsTheLine) {
    for (const int portHnd : {vk::kPlugInPortHandle, 0}) {
        auto reader = start(portHnd, "logfile;log_notimestamp");
        reader->ErrorStrToLogDoc(-1030);
        EXPECT_EQ(reader->GetLastError(), -4004) << portHnd;
        reader->SetLastError(0);
        reader->RecProtStrToLogDoc(0, -1130, false, false);
        EXPECT_EQ(reader->GetLastError(), -4004) << portHnd;
        EXPECT_EQ(log(), "") << portHnd;
        reader->ErrorStrToLogDoc(-4031);
        EXPECT_NE(log().find("  !!  Error: -4031  VKKRN: (-4031) checksum error\r\n"), std::string::npos);
        g_LibVkKrnDrvHnd.DeleteAllReaders();
        std::filesystem::remove(workDir() / "vkkrn_log.txt");
    }
}

TEST_F(LogLines, OtherCodes) {
    auto reader = start(0, "logfile;log_notimestamp");
    reader->ErrorStrToLogDoc(-4040);
    reader->ErrorStrToLogDoc(-5);
    reader->RecProtStrToLogDoc(0, 0, false, false);
    reader->RecProtStrToLogDoc(0, -20, false, false);
    const std::regex lines(std::string(kStamp) +
                           R"(  !!  Error: -4040  VKKRN: Unknown Errorcode \(-4040\)\r\n)" + kStamp +
                           R"(  !!  Error: -5\r\n)" + R"(<<  \r\n<<  Error: -20  \(\)\r\n)");
    EXPECT_TRUE(std::regex_match(log(), lines)) << log();
}

TEST_F(LogLines, DiagnosticsFollowTheirLevelNotTheStopFlag) {
    auto reader = start(0, "logfile;log_notimestamp");
    reader->StringToLogFile("not at level 1", 2);
    ASSERT_EQ(VKKRN_SetReaderPara(reader->GetReaderHnd(), "LOGLEVEL", "2"), 0);
    reader->StringToLogFile("Start", 2);
    reader->StringToLogFile("Count ", 7, 2);
    unsigned char data[1] = {0};
    unsigned char frame[16];
    ASSERT_EQ(VKKRN_BuildSendProtocol(reader->GetReaderHnd(), 1, 0x65, data, 0, frame, 10), 5);
    ASSERT_EQ(VKKRN_SetReaderPara(0, "LOCKPROTTOAPP", ""), 0);
    reader->StringToLogFile("while stopped", 8 | 2);
    const std::regex lines(std::string(kStamp) + R"(  ::  Start\r\n)" + kStamp + R"(  ::  Count 7\r\n)" +
                           kStamp + R"(  ::  while stopped\r\n)");
    EXPECT_TRUE(std::regex_match(log(), lines)) << log();
}

TEST_F(LogLines, ALongDiagnosticIsCut) {
    auto reader = start(0, "logfile;loglevel=4");
    reader->StringToLogFile(std::string(600, 'x').c_str(), 4);
    const std::string text = log();
    ASSERT_EQ(text.size(), 511u) << "with its \"\\r\\n\"";
    EXPECT_EQ(text.substr(509), "\r\n");
    EXPECT_EQ(text[508], 'x');
}

TEST_F(LogLines, NothingWithoutTheLogFileSwitch) {
    auto reader = start(0, "loglevel=15");
    reader->StringToLogFile("diagnostic", 1);
    reader->ErrorStrToLogDoc(-4031);
    EXPECT_FALSE(std::filesystem::exists(workDir() / "vkkrn_log.txt"));
}

TEST_F(LogLines, TheFrameLockKeepsTheFrameMode) {
    auto reader = start(0, "");
    const int h = reader->GetReaderHnd();
    reader->LockFrameMode(2);
    char value[16];
    EXPECT_EQ(VKKRN_SetReaderPara(h, "FRAMESUPPORT", "STANDARD"), -4056);
    EXPECT_EQ(reader->GetLastError(), -4056);
    EXPECT_EQ(VKKRN_SetReaderPara(h, "FRAMESUPPORT", "BOGUS"), -4056) << "the lock before the value";
    EXPECT_EQ(VKKRN_SetReaderPara(h, "FRAMESUPPORT", std::string(257, 'A').c_str()), -4051)
        << "the length first";
    ASSERT_EQ(VKKRN_GetReaderPara(h, "FRAMESUPPORT", value), 0);
    EXPECT_STREQ(value, "ADVANCED");
    reader->UnlockFrameMode();
    EXPECT_EQ(VKKRN_SetReaderPara(h, "FRAMESUPPORT", "standard"), 0);
    EXPECT_EQ(reader->GetCommFrame(), 1);
}

} // namespace
