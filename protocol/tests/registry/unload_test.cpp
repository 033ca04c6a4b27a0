// Unloading libvkkrn destroys its readers, which unregister from the TCP
// library, and closes the port libraries it opened. Runs in a child process that
// opens and closes the library itself; this program does not link it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Exit codes of the child.
enum : int { kOk = 0, kNoLibrary = 10, kNoReader, kNoFake, kHandlerLeft, kTcpStillLoaded, kStillLoaded };

int unloadInChild() {
    void* krn = ::dlopen("libvkkrn.so", RTLD_NOW);
    if (krn == nullptr) return kNoLibrary;
    auto newReader = reinterpret_cast<int (*)(int)>(::dlsym(krn, "VKKRN_NewReader"));
    for (int portHandle : {0x20000001, 0x20000002, 0x70000001, 0})
        if (newReader(portHandle) <= 0) return kNoReader;
    int remaining = -1;
    int unloaded = 0;
    {
        void* tcp = ::dlopen("libvktcp.so", RTLD_NOW | RTLD_NOLOAD);
        if (tcp == nullptr) return kNoFake;
        auto count = reinterpret_cast<int (*)(int)>(::dlsym(tcp, "FAKE_TcpHandlerCount"));
        auto report = reinterpret_cast<void (*)(int*, int*)>(::dlsym(tcp, "FAKE_TcpReportAtUnload"));
        if (count == nullptr || report == nullptr || count(-1) != 2) return kNoFake;
        report(&remaining, &unloaded);
        ::dlclose(tcp);
    }
    ::dlclose(krn);
    if (unloaded != 1) return kTcpStillLoaded;
    if (remaining != 0) return kHandlerLeft;
    if (::dlopen("libvkkrn.so", RTLD_NOW | RTLD_NOLOAD) != nullptr) return kStillLoaded;
    return kOk;
}

TEST(Unload, DestroysReadersAndClosesPortLibraries) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(unloadInChild());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kOk);
}

} // namespace
