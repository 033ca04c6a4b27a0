// Binding port functions by id, without readers (a reader loads the TCP library).
// The library path holds a serial library that lacks most names, and no other.
// dlsym is wrapped at link time to count the lookups.
#include "registry/drv_hnd.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" void* __real_dlsym(void* handle, const char* name);

namespace {

std::mutex g_lookupMutex;
std::map<std::string, int> g_lookups;

int lookups(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_lookupMutex);
    return g_lookups[name];
}

void countLookup(const char* name) {
    std::lock_guard<std::mutex> lock(g_lookupMutex);
    ++g_lookups[name];
}

bool isLoaded(const char* file) {
    void* handle = ::dlopen(file, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);
    return handle != nullptr;
}

} // namespace

// Only lookups in a library's handle are counted. A sanitizer runtime linked into
// this program (clang links it statically) finds the functions it wraps with
// dlsym(RTLD_NEXT, ...) before it has set itself up, so those calls pass
// straight through, in code it does not instrument at all (ThreadSanitizer's
// no_sanitize still records the function's entry).
#if __has_attribute(disable_sanitizer_instrumentation)
#define UNINSTRUMENTED __attribute__((disable_sanitizer_instrumentation))
#else
#define UNINSTRUMENTED __attribute__((no_sanitize("address", "thread")))
#endif
extern "C" UNINSTRUMENTED void* __wrap_dlsym(void* handle, const char* name) {
    if (handle != RTLD_NEXT && handle != RTLD_DEFAULT) countLookup(name);
    return __real_dlsym(handle, name);
}

namespace {

TEST(Binder, IdsOutsideTheRangesOpenNothing) {
    for (unsigned id : {0u, 999u, 1300u, 1999u, 4000u, 0xFFFFFFFFu})
        EXPECT_EQ(g_LibVkKrnDrvHnd.GetFunctionPtr(id), nullptr) << id;
    EXPECT_FALSE(isLoaded("libvkcom.so"));
    EXPECT_FALSE(isLoaded("libvkusb.so"));
    EXPECT_FALSE(isLoaded("libvktcp.so"));
}

TEST(Binder, AnIdWithoutARowGivesNull) {
    for (unsigned id : {1004u, 1012u, 1033u, 1099u})
        EXPECT_EQ(g_LibVkKrnDrvHnd.GetFunctionPtr(id), nullptr) << id;
    EXPECT_TRUE(isLoaded("libvkcom.so")); // the library was opened all the same
    EXPECT_EQ(lookups("VIZER_GetDLLVersion"), 0);
    void* version = g_LibVkKrnDrvHnd.GetFunctionPtr(1000);
    EXPECT_NE(version, nullptr);
    EXPECT_EQ(version, ::dlsym(::dlopen("libvkcom.so", RTLD_NOW | RTLD_NOLOAD), "VIZER_GetDLLVersion"));
}

TEST(Binder, AMissingLibraryIsTriedAgain) {
    EXPECT_EQ(g_LibVkKrnDrvHnd.GetFunctionPtr(1134), nullptr);
    EXPECT_EQ(g_LibVkKrnDrvHnd.GetFunctionPtr(1230), nullptr);
    EXPECT_EQ(g_LibVkKrnDrvHnd.LoadVkUsbLib(), nullptr);
    EXPECT_FALSE(isLoaded("libvkusb.so"));
}

TEST(Binder, AMissingNameIsLookedUpAgain) {
    EXPECT_EQ(g_LibVkKrnDrvHnd.GetFunctionPtr(1024), nullptr);
    EXPECT_EQ(g_LibVkKrnDrvHnd.GetFunctionPtr(1024), nullptr);
    EXPECT_EQ(lookups("VIZER_SetPortPara"), 2);
    // A found name is looked up once.
    EXPECT_NE(g_LibVkKrnDrvHnd.GetFunctionPtr(1000), nullptr);
    EXPECT_NE(g_LibVkKrnDrvHnd.GetFunctionPtr(1000), nullptr);
    EXPECT_EQ(lookups("VIZER_GetDLLVersion"), 1);
}

TEST(Binder, ThreadsBindingAtOnceGetOneAddress) {
    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<void*> addresses(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (!go.load())
                std::this_thread::yield();
            addresses[static_cast<std::size_t>(i)] = g_LibVkKrnDrvHnd.GetFunctionPtr(1000);
        });
    }
    while (ready.load() < kThreads)
        std::this_thread::yield();
    go = true;
    for (auto& t : threads)
        t.join();
    ASSERT_NE(addresses[0], nullptr);
    for (void* address : addresses)
        EXPECT_EQ(address, addresses[0]);
    EXPECT_EQ(lookups("VIZER_GetDLLVersion"), 1);
}

TEST(Binder, UnloadClosesWhatWasOpened) {
    {
        VKKRNDrvHnd registry;
        ASSERT_NE(registry.GetFunctionPtr(1000), nullptr);
        EXPECT_TRUE(isLoaded("libvkcom.so"));
    }
    EXPECT_FALSE(isLoaded("libvkcom.so"));
}

} // namespace
