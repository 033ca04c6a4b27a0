// The trace object and the version information, inside the core (no load
// hooks): the test opens the sessions it needs.
#include "kesto_trace.h"
#include "kesto_version_info.h"

#include <vktesting/temp_dir.h>

#include <QDir>
#include <QStandardItem>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace board_link::test {
namespace {

namespace vv = vkplatform::version;

class TraceTest : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1); }
    vktesting::TempDir config;
};

std::vector<QString>* debugLines = nullptr;
void captureDebug(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (debugLines != nullptr) debugLines->push_back(text);
}

TEST_F(TraceTest, TextFormFollowsLevelAndMask) {
    struct Case {
        std::uint8_t level;
        std::uint32_t mask;
        int trcLevel;
        bool signal;
        bool debug;
    };
    const Case cases[] = {
        {255, 4, 255, true, false}, {3, 4, 3, true, false}, {3, 4, 4, false, false},
        {3, 1, 2, false, true},     {3, 5, 1, true, true},  {3, 0, 1, false, false},
    };
    std::vector<QString> lines;
    debugLines = &lines;
    const QtMessageHandler previous = qInstallMessageHandler(captureDebug);
    for (const Case& c : cases) {
        KestoTrace trace;
        trace.openSession(c.level, c.mask);
        std::vector<QString> signalled;
        QObject::connect(&trace, &KestoTrace::traceSignal, [&](const QString& s) { signalled.push_back(s); });
        lines.clear();
        trace.trace(c.trcLevel, QStringLiteral("line"));
        EXPECT_EQ(signalled.size(), c.signal ? 1u : 0u) << int(c.level) << "/" << c.mask << "/" << c.trcLevel;
        EXPECT_EQ(lines.size(), c.debug ? 1u : 0u) << int(c.level) << "/" << c.mask << "/" << c.trcLevel;
        if (c.debug && !lines.empty()) {
            EXPECT_EQ(lines[0], QStringLiteral("line"));
        }
    }
    qInstallMessageHandler(previous);
    debugLines = nullptr;
}

TEST_F(TraceTest, ListFormWithoutAModelMakesNothing) {
    KestoTrace trace;
    trace.openSession(255, KestoTrace::kMaskSignal);
    int clears = 0;
    QObject::connect(&trace, &KestoTrace::clearTrace, [&] { ++clears; });
    // Items made here and never placed would leak (LeakSanitizer would say so).
    for (int i = 0; i < 3; ++i)
        trace.trace(1, QStringList{QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_EQ(KestoTrace::rowModel(), nullptr);
    EXPECT_EQ(clears, 0);
}

TEST_F(TraceTest, ModelTakesFormatterRowsWhateverTheLevel) {
    KestoTrace trace;
    trace.openSession(1, KestoTrace::kMaskModel);
    QStandardItemModel* model = KestoTrace::rowModel();
    ASSERT_NE(model, nullptr);
    int clears = 0;
    QObject::connect(&trace, &KestoTrace::clearTrace, [&] { ++clears; });

    QStringList registerRow;
    ASSERT_TRUE(trace.processor().registerRow(RegisterAccess::Write, 0x12, 0xFF, 0x34, QStringLiteral("OK"),
                                              registerRow));
    GetFirmwareInfoObject info;
    QStringList telegramRow;
    ASSERT_TRUE(trace.processor().telegramRow(TraceDirection::Write, true, &info, telegramRow));
    trace.trace(200, registerRow);
    trace.trace(200, telegramRow);

    // Row limit 0: clearTrace before every append; nothing clears the model.
    EXPECT_EQ(trace.rowLimit(), 0);
    EXPECT_EQ(clears, 2);
    ASSERT_EQ(model->rowCount(), 2);
    for (int c = 0; c < registerRow.size(); ++c)
        EXPECT_EQ(model->item(0, c)->text(), registerRow[c]);
    for (int c = 0; c < telegramRow.size(); ++c)
        EXPECT_EQ(model->item(1, c)->text(), telegramRow[c]);
}

// --- version information ---

constexpr vv::Translation kEnglishUs[] = {{0x0409, 0x04b0}, {0x0407, 0x04e4}};
constexpr vv::String kMainStrings[] = {
    {"\\StringFileInfo\\040904b0\\ProductVersion", "5.4.3"},
    {"\\StringFileInfo\\040904b0\\InternalName", "bench"},
    {"\\StringFileInfo\\041904b0\\ProductVersion", "fallback"},
};
constexpr vv::String kSecondStrings[] = {{"\\StringFileInfo\\041904b0\\ProductVersion", "9.9"}};
constexpr vv::Block kMain{kEnglishUs, 2, kMainStrings, 3};
constexpr vv::Block kMainWithoutTranslation{nullptr, 0, kMainStrings, 3};
constexpr vv::Block kSecond{nullptr, 0, kSecondStrings, 1};

TEST(VersionInfoTest, LookupUsesTheFirstTranslationOrTheFallback) {
    const KestoVersionInfo info(&kMain, &kSecond);
    EXPECT_EQ(info.productVersion(), QStringLiteral("5.4.3"));
    EXPECT_EQ(info.internalName(), QStringLiteral("bench"));
    EXPECT_EQ(info.secondProductVersion(), QStringLiteral("9.9"));
    EXPECT_EQ(info.versionString(QStringLiteral("CompanyName"), 1), QString());
    EXPECT_EQ(info.versionString(QStringLiteral("ProductVersion"), 2), QString());

    const KestoVersionInfo untranslated(&kMainWithoutTranslation, nullptr);
    EXPECT_EQ(untranslated.productVersion(), QStringLiteral("fallback"));
    EXPECT_EQ(untranslated.secondProductVersion(), QString());

    // No main block: the second one is not read either.
    const KestoVersionInfo none(nullptr, &kSecond);
    EXPECT_FALSE(none.hasSecondBlock());
    EXPECT_EQ(none.secondProductVersion(), QString());
    EXPECT_EQ(none.productVersion(), QString());

    // This host has none.
    EXPECT_FALSE(KestoVersionInfo::instance().hasMainBlock());
}

TEST(VersionInfoTest, LogFolderUsesTheInternalName) {
    vktesting::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const KestoVersionInfo info(&kMain, nullptr);
    const QString folder = info.logFolder();
    EXPECT_TRUE(folder.endsWith(QStringLiteral("/bench/")));
    EXPECT_TRUE(QDir(folder).exists());
}

TEST(VersionInfoTest, OwnVersionCopiesWithinTheSizes) {
    const std::string longName(60, 'N');
    const vv::Translation translation[] = {{0x0009, 0x04b0}};
    const vv::String strings[] = {{"\\StringFileInfo\\000904b0\\ProductName", longName.c_str()},
                                  {"\\StringFileInfo\\000904b0\\ProductVersion", "1.2"}};
    const vv::Block own{translation, 1, strings, 2};
    char name[51];
    char version[10];
    std::memset(name, 'x', sizeof name);
    std::memset(version, 'x', sizeof version);
    ASSERT_TRUE(readOwnVersion(own, name, 50, version, 10));
    EXPECT_EQ(std::string(name, 50), std::string(50, 'N'));
    EXPECT_EQ(name[50], 'x'); // no terminator past the size
    EXPECT_STREQ(version, "1.2");
    EXPECT_EQ(std::string(version + 3, 7), std::string(7, '\0'));

    // Size taken modulo 256: 258 is 2.
    char small[4] = {'x', 'x', 'x', 'x'};
    ASSERT_TRUE(readOwnVersion(own, small, 258, version, 10));
    EXPECT_EQ(std::string(small, 4), "NNxx");

    // A missing string: false, nothing written.
    const vv::Block nameOnly{translation, 1, strings, 1};
    std::memset(name, 'x', sizeof name);
    EXPECT_FALSE(readOwnVersion(nameOnly, name, 50, version, 10));
    EXPECT_EQ(name[0], 'x');
}

} // namespace
} // namespace board_link::test
