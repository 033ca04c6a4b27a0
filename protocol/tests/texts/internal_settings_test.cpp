#include "internal_fixture.h"
#include "texts/settings_file.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

struct SettingsCase {
    const char* name;
    std::string text;
    bool logFile;
    bool noTimestamp;
    int logLevel;
};

const SettingsCase kSettingsCases[] = {
    {"empty", "", false, false, 1},
    {"level and file", "loglevel=3;logfile", true, false, 3},
    {"no timestamp", "log_notimestamp", false, true, 1},
    {"all", "logfile\nlog_notimestamp\nloglevel=12\n", true, true, 12},
    {"substring nologfile", "nologfile", true, false, 1},
    {"case matters", "LOGFILE;LogLevel=5;LOG_NOTIMESTAMP", false, false, 1},
    {"level without value", "loglevel", false, false, 1},
    {"level then delimiters only", "loglevel=;;=", false, false, 1},
    {"empty tokens skipped", "loglevel;;==7", false, false, 7},
    {"blanks before the number", "loglevel =  42 rest", false, false, 42},
    {"negative level", "loglevel=-2", false, false, -2},
    {"no number", "loglevel=high", false, false, 1},
    {"number beyond int", "loglevel=2147483648", false, false, 1},
    {"number below int", "loglevel=-2147483649", false, false, 1},
    {"int maximum", "loglevel=2147483647", false, false, 2147483647},
    {"overlong digits", "loglevel=" + std::string(600, '9'), false, false, 1},
    {"first occurrence counts", "loglevel=4;loglevel=9", false, false, 4},
    {"prefix glued to key", "xloglevelY=6", false, false, 6},
    {"text past 1024 bytes", std::string(1020, ' ') + "logfile loglevel=5", false, false, 1},
    {"key ends at byte 1024", std::string(1017, ' ') + "logfile", true, false, 1},
    {"number cut at byte 1024", std::string(1014, ' ') + "loglevel=57", false, false, 5},
    {"NUL ends the text", std::string("loglevel=2", 10) + std::string(1, '\0') + "logfile", false, false, 2},
    {"NUL first", std::string(1, '\0') + "logfile", false, false, 1},
};

class SettingsParser : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsParser, ReadsSwitchesAndLevel) {
    const SettingsCase& c = GetParam();
    const vkkrn::ReaderSettings s = vkkrn::parseReaderSettings(c.text.data(), c.text.size());
    EXPECT_EQ(s.logFile, c.logFile);
    EXPECT_EQ(s.noTimestamp, c.noTimestamp);
    EXPECT_EQ(s.logLevel, c.logLevel);
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsParser, ::testing::ValuesIn(kSettingsCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

using SettingsFile = InternalTest;

TEST_F(SettingsFile, IsReadAtEveryConstruction) {
    auto first = newReader(0);
    EXPECT_EQ(first->GetLogLevel(), 1);
    EXPECT_EQ(first->GetLogFileFlag(), 0);

    writeFile("vkkrn.ini", "loglevel=3;logfile");
    auto second = newReader(0);
    EXPECT_EQ(second->GetLogLevel(), 3);
    EXPECT_EQ(second->GetLogFileFlag(), 1);
    EXPECT_EQ(second->GetNoTimestampFlag(), 0);
    EXPECT_EQ(first->GetLogLevel(), 1); // readers made earlier keep theirs

    writeFile("vkkrn.ini", "log_notimestamp");
    auto third = newReader(0);
    EXPECT_EQ(third->GetLogLevel(), 1);
    EXPECT_EQ(third->GetNoTimestampFlag(), 1);
    EXPECT_EQ(readFile("vkkrn.ini"), "log_notimestamp"); // never written
}

TEST_F(SettingsFile, ADirectoryOfThatNameIsIgnored) {
    ASSERT_EQ(::mkdir("vkkrn.ini", 0755), 0);
    auto reader = newReader(0);
    EXPECT_EQ(reader->GetLogLevel(), 1);
}

// A file this process may read but not write is ignored. Root may write any
// file, so the reader is made in a child that gives up root first.
TEST_F(SettingsFile, AReadOnlyFileIsIgnored) {
    writeFile("vkkrn.ini", "loglevel=3;logfile");
    ASSERT_EQ(::chmod("vkkrn.ini", 0444), 0);
    ASSERT_EQ(::chmod(workDir().c_str(), 0755), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
        const int handle = VKKRN_NewReader(0);
        auto reader = g_LibVkKrnDrvHnd.SearchReader(handle);
        const bool defaults = reader && reader->GetLogLevel() == 1 && reader->GetLogFileFlag() == 0;
        ::_exit(defaults ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
