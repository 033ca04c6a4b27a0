#include "internal_fixture.h"

#include <vkkrn_plugin.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using Registry = InternalTest;

TEST_F(Registry, WrapGivesTheNextFreeHandle) {
    VKKRNDrvHnd registry(0x0FFFFFFD);
    EXPECT_EQ(registry.CreateNewReader(0), 0x0FFFFFFE);
    EXPECT_EQ(registry.CreateNewReader(-1), -4024); // uses 0x0FFFFFFF
    EXPECT_EQ(registry.CreateNewReader(0), 1);
    EXPECT_EQ(registry.CreateNewReader(0), 2);
    EXPECT_EQ(registry.GetReaderList(0), 0x0FFFFFFE);
    EXPECT_EQ(registry.GetReaderList(0x0FFFFFFE), 1);
}

struct HandleStep {
    const char* name;
    int counter;
    std::vector<int> inUse;
    int expected;
};

TEST(NextReaderHandle, CountsWrapsAndSkipsHandlesInUse) {
    const HandleStep steps[] = {
        {"count", 0, {}, 1},
        {"count on", 41, {7}, 42},
        {"wrap", 0x0FFFFFFF, {}, 1},
        {"wrap past used", 0x0FFFFFFF, {1, 2, 4}, 3},
        {"skip before the top", 0x0FFFFFFD, {0x0FFFFFFE, 0x0FFFFFFF}, 1},
        {"invalid counter", -5, {1}, 2},
    };
    for (const HandleStep& s : steps) {
        auto inUse = [&s](int h) { return std::find(s.inUse.begin(), s.inUse.end(), h) != s.inUse.end(); };
        EXPECT_EQ(vkkrn::nextReaderHandle(s.counter, inUse), s.expected) << s.name;
    }
}

TEST_F(Registry, NegativePortHandleUsesANumber) {
    VKKRNDrvHnd registry;
    EXPECT_EQ(registry.CreateNewReader(0), 1);
    EXPECT_EQ(registry.CreateNewReader(-1), -4024);
    EXPECT_EQ(registry.GetLastError(), -4024);
    EXPECT_EQ(registry.CreateNewReader(INT32_MIN), -4024);
    EXPECT_EQ(registry.CreateNewReader(0), 4);
    EXPECT_EQ(registry.GetLastError(), 0);
    EXPECT_EQ(registry.EnumReader(), 2);
}

// The handle check of every export that takes a reader, in its order, and
// where each code is stored.
struct LadderCase {
    const char* name;
    int handle;        // 0 and negatives as given; kExisting and kUnknown below
    bool nullArgument; // the export's pointer argument is null
    bool withReaders;  // a reader exists (else the registry is empty)
    int expected;
};
constexpr int kExisting = 1000001;
constexpr int kUnknown = 1000002;

const LadderCase kLadder[] = {
    {"negative", -7, false, true, -4022},   {"negative before null", -7, true, true, -4022},
    {"zero", 0, false, true, -4021},        {"zero before null", 0, true, true, -4021},
    {"null", kExisting, true, true, -4002}, {"null before empty", 1, true, false, -4002},
    {"empty", 1, false, false, -4001},      {"unknown", kUnknown, false, true, -4023},
};

struct LadderExport {
    const char* name;
    bool takesPointer;
    std::function<int(int handle, bool nullArgument)> call;
};

class Ladder : public InternalTest {};

TEST_F(Ladder, ChecksInOrderAndStoresTheLibraryError) {
    static char key[] = "Timeout";
    static char value[64];
    static int code;
    static char text[256];
    VKKRN_PlugIn plugIn;
    const std::vector<LadderExport> exports = {
        {"DeleteReader", false, [](int h, bool) { return VKKRN_DeleteReader(h); }},
        {"GetLastError", true,
         [](int h, bool null) { return VKKRN_GetLastError(h, null ? nullptr : &code, text); }},
        {"GetLastError text", true,
         [](int h, bool null) { return VKKRN_GetLastError(h, &code, null ? nullptr : text); }},
        {"PI_Install", true,
         [&plugIn](int h, bool null) { return VKKRN_PI_Install(h, null ? nullptr : &plugIn); }},
        {"PI_Remove", false, [](int h, bool) { return VKKRN_PI_Remove(h); }},
        {"PI_GetPortPara", false, [](int h, bool) { return VKKRN_PI_GetPortPara(h, key, value); }},
        {"PI_OpenPort", false, [](int h, bool) { return VKKRN_PI_OpenPort(h, nullptr); }},
    };
    for (const LadderExport& e : exports) {
        for (const LadderCase& c : kLadder) {
            if (c.nullArgument && !e.takesPointer) continue;
            g_LibVkKrnDrvHnd.DeleteAllReaders();
            int existing = 0;
            std::shared_ptr<VKKRNReader> reader;
            if (c.withReaders) reader = newReader(0, &existing);
            if (reader) reader->SetLastError(-4999);
            int handle = c.handle == kUnknown ? existing + 1000 : c.handle;
            if (c.handle == kExisting) handle = existing;
            g_LibVkKrnDrvHnd.SetLastError(12345);
            const int result = e.call(handle, c.nullArgument);
            SCOPED_TRACE(std::string(e.name) + " / " + c.name);
            EXPECT_EQ(result, c.expected);
            EXPECT_EQ(libraryLastError(), c.expected);
            if (reader) {
                EXPECT_EQ(reader->GetLastError(), -4999);
            }
        }
    }
}

TEST_F(Ladder, AFoundReaderClearsTheLibraryErrorFirst) {
    int handle = 0;
    auto reader = newReader(0, &handle);
    reader->SetLastError(-4060);
    g_LibVkKrnDrvHnd.SetLastError(-4023);
    int code = 0;
    char text[256] = {};
    EXPECT_EQ(VKKRN_GetLastError(handle, &code, text), 0);
    EXPECT_EQ(code, -4060);
    EXPECT_STREQ(text, "VKKRN: (-4060) no plug-in module installed");
    EXPECT_EQ(libraryLastError(), 0);
}

// Port handles by type and running number: which give a reader with a port.
struct PortTypeCase {
    const char* name;
    int portHandle;
    int commMode;
    int storedHandle;
};

const PortTypeCase kPortTypes[] = {
    {"zero", 0, 255, 0},
    {"type 3", 0x30000001, 255, 0},
    {"type 6", 0x6FFFFFFF, 255, 0},
    {"plug-in", VKKRN_PLUGIN, 7, VKKRN_PLUGIN},
    {"plug-in type, number 0", 0x70000000, 255, 0},
    {"serial number 0 of type 1", 0x10000000, 255, 0},
    {"TCP number 0", 0x20000000, 255, 0},
};

TEST_F(Registry, PortTypesWithoutAPortLibrary) {
    for (const PortTypeCase& c : kPortTypes) {
        SCOPED_TRACE(c.name);
        int handle = 0;
        auto reader = newReader(c.portHandle, &handle);
        ASSERT_TRUE(reader);
        EXPECT_EQ(reader->GetCommMode(), c.commMode);
        EXPECT_EQ(reader->GetPortHnd(), c.storedHandle);
        EXPECT_EQ(libraryLastError(), 0);
        auto lock = reader->Lock();
        EXPECT_EQ(reader->PlugInLocked(), nullptr);
    }
}

TEST_F(Registry, CommModeOutsideTheTableLeavesNoPlugIn) {
    auto reader = newReader(VKKRN_PLUGIN);
    auto lock = reader->Lock();
    EXPECT_EQ(reader->SetCommMode(3), -4004);
    EXPECT_EQ(reader->GetCommMode(), 255);
    EXPECT_EQ(reader->PlugInLocked(), nullptr);
    EXPECT_EQ(reader->GetLastError(), 0);
    EXPECT_EQ(reader->SetCommMode(7), 0);
    EXPECT_EQ(reader->GetCommMode(), 7);
}

TEST_F(Registry, ReaderDefaults) {
    auto reader = newReader(0);
    EXPECT_EQ(reader->GetCommFrame(), 1);
    EXPECT_EQ(reader->GetBusyTimeout(), 5);
    EXPECT_EQ(reader->GetRepeatCount(), 1);
    EXPECT_EQ(reader->GetLogLevel(), 1);
    EXPECT_EQ(reader->GetUsbGeneration(), 0);
    EXPECT_EQ(reader->GetActiveFlag(), 0);
    EXPECT_EQ(reader->IsStopFlag(), 0);
    EXPECT_FALSE(reader->Cipher().holds());
    EXPECT_FALSE(reader->IsTcpRecordRegistered());
}

} // namespace
