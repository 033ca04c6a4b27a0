// The session trace a board library writes while it is loaded: one library per
// process (both would write the same "trace.txt").
#include "board_library_fixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QXmlStreamReader>

#include <filesystem>
#include <fstream>

namespace board_link::test {
namespace {

namespace fs = std::filesystem;

// Every "trace.txt" under `dir`.
std::vector<fs::path> traceFiles(const fs::path& dir) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().filename() == "trace.txt") found.push_back(entry.path());
    return found;
}

// Element names with their attributes, in document order.
std::vector<std::string> elements(const fs::path& file) {
    QFile in(QString::fromStdString(file.string()));
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&in);
    std::vector<std::string> names;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            std::string text = xml.name().toString().toStdString();
            for (const QXmlStreamAttribute& a : xml.attributes())
                text += " " + a.name().toString().toStdString() + "=\"" + a.value().toString().toStdString() +
                        "\"";
            names.push_back(text);
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return names;
}

void unload(HMODULE module, const Library& library) {
    ASSERT_EQ(::dlclose(module), 0);
    const std::string path = std::string(BOARD_LINK_SIM_DIR) + "/lib" + library.name + ".so";
    EXPECT_EQ(::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

class SessionFileTest : public LibraryProcessTest, public ::testing::WithParamInterface<Library> {};
INSTANTIATE_TEST_SUITE_P(Libraries, SessionFileTest, ::testing::Values(kKx10Library, kKx20Library),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(SessionFileTest, LoadAndUnloadLeaveAnEmptySession) {
    load(GetParam());
    unload(module, GetParam());
    const auto files = traceFiles(config.path());
    ASSERT_EQ(files.size(), 1u);
    // No host names and no version resources: the settings directory itself.
    EXPECT_EQ(fs::canonical(files[0].parent_path()), fs::canonical(config.path()));
    EXPECT_EQ(elements(files[0]),
              (std::vector<std::string>{"session", "information guiversion=\"\" fwversion=\"\""}));
}

TEST_P(SessionFileTest, HostNamesChooseTheFolder) {
    QCoreApplication::setOrganizationName(QStringLiteral("Host Maker"));
    QCoreApplication::setApplicationName(QStringLiteral("bench"));
    load(GetParam());
    unload(module, GetParam());
    const auto files = traceFiles(config.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(fs::canonical(files[0].parent_path()), fs::canonical(config.path() / "Host Maker"));
}

TEST_P(SessionFileTest, UnusableFolderLeavesTheLibraryWorking) {
    // A file where the settings directory must be.
    const fs::path blocker = config.path() / "blocker";
    std::ofstream(blocker) << "in the way";
    ::setenv("XDG_CONFIG_HOME", (blocker / "config").c_str(), 1);
    auto board = std::make_shared<boardsim::Board>();
    boardsim::TelegramBoard model(board);
    boardsim::plug(board, GetParam().product);
    load(GetParam());
    KXx0HANDLE handle = api.GetKX10();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(api.mosaInitialize(handle), 0);
    api.ReleaseKX10(handle);
    unload(module, GetParam());
    EXPECT_TRUE(traceFiles(config.path()).empty());
}

} // namespace
} // namespace board_link::test
