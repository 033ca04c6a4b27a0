// Reader handles through the exports of libvkkrn.so. Each test runs in a process
// of its own, so numbering starts at 1.
#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

class Handles : public vktesting::TempDirTest {
  protected:
    void TearDown() override {
        for (int h = VKKRN_GetReaderList(0); h > 0; h = VKKRN_GetReaderList(0))
            VKKRN_DeleteReader(h);
        vktesting::TempDirTest::TearDown();
    }
};

std::vector<int> walk() {
    std::vector<int> handles;
    for (int h = VKKRN_GetReaderList(0); h > 0; h = VKKRN_GetReaderList(h))
        handles.push_back(h);
    return handles;
}

TEST_F(Handles, CountFromOneAndAreNotReused) {
    EXPECT_EQ(VKKRN_NewReader(0), 1);
    EXPECT_EQ(VKKRN_NewReader(0), 2);
    EXPECT_EQ(VKKRN_NewReader(-1), -4024); // uses up 3
    EXPECT_EQ(VKKRN_NewReader(0), 4);
    EXPECT_EQ(VKKRN_DeleteReader(4), 0);
    EXPECT_EQ(VKKRN_DeleteReader(4), -4023);
    EXPECT_EQ(VKKRN_NewReader(0), 5);
    EXPECT_EQ(VKKRN_NewReader(VKKRN_PLUGIN), 6);
}

TEST_F(Handles, ListWalksCreationOrderWithoutDeletedReaders) {
    EXPECT_EQ(VKKRN_GetReaderList(0), -4001);
    EXPECT_EQ(VKKRN_GetReaderList(-3), -4022);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(VKKRN_NewReader(0), i + 1);
    EXPECT_EQ(VKKRN_DeleteReader(2), 0);
    EXPECT_EQ(VKKRN_DeleteReader(5), 0);
    EXPECT_EQ(walk(), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(VKKRN_GetReaderList(4), 0);
    EXPECT_EQ(VKKRN_GetReaderList(2), -4020);
    EXPECT_EQ(VKKRN_GetReaderList(7), -4020);
    EXPECT_EQ(VKKRN_NewReader(0), 6);
    EXPECT_EQ(walk(), (std::vector<int>{1, 3, 4, 6}));
}

TEST_F(Handles, DeleteChecksItsHandle) {
    EXPECT_EQ(VKKRN_DeleteReader(-1), -4022);
    EXPECT_EQ(VKKRN_DeleteReader(0), -4021);
    EXPECT_EQ(VKKRN_DeleteReader(1), -4001);
    ASSERT_EQ(VKKRN_NewReader(0), 1);
    EXPECT_EQ(VKKRN_DeleteReader(2), -4023);
    EXPECT_EQ(VKKRN_DeleteReader(1), 0);
    EXPECT_EQ(VKKRN_DeleteReader(1), -4001);
}

TEST(Exports, EveryExportResolvesByName) {
    void* library = ::dlopen("libvkkrn.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    for (const char* name :
         {"VKKRN_NewReader", "VKKRN_DeleteReader", "VKKRN_GetReaderList", "VKKRN_GetDLLVersion",
          "VKKRN_GetErrorText", "VKKRN_GetLastError", "VKKRN_PI_Get", "VKKRN_PI_Install", "VKKRN_PI_Remove",
          "VKKRN_PI_OpenPort", "VKKRN_PI_ClosePort", "VKKRN_PI_GetPortPara", "VKKRN_PI_SetPortPara",
          "VKKRN_PI_GetDLLVersion", "VKKRN_PI_GetErrorText", "_ZTV12VKKRN_PlugIn", "_ZTI12VKKRN_PlugIn"})
        EXPECT_NE(::dlsym(library, name), nullptr) << name;
    EXPECT_EQ(::dlsym(library, "g_LibVkKrnDrvHnd"), nullptr);
    ::dlclose(library);
}

// Readers left at exit are destroyed by the library, cleanly.
TEST_F(Handles, ExitWithReadersLeft) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int portHandle : {0, 1, 0x20000001, VKKRN_PLUGIN})
            if (VKKRN_NewReader(portHandle) <= 0) ::_exit(2);
        std::exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
