// Plug-ins made in this process (origin 0) installed on readers.
#include "internal_fixture.h"

#include <vkkrn_plugin.h>

#include <string>

namespace {

class RecordingPlugIn : public VKKRN_PlugIn {
  public:
    RecordingPlugIn(std::string name, std::string* log, int initResult = 0)
        : name_(std::move(name)), log_(log), initResult_(initResult) {}
    ~RecordingPlugIn() override { *log_ += "~" + name_ + ";"; }
    int init() override {
        *log_ += name_ + ".init;";
        return initResult_;
    }
    int cleanup() override {
        *log_ += name_ + ".cleanup;";
        return cleanupResult;
    }
    int open_port(char* portText) override {
        *log_ += name_ + ".open_port(" + (portText ? portText : "null") + ");";
        return openResult;
    }
    int close_port() override {
        *log_ += name_ + ".close_port;";
        return 11;
    }
    int get_port_para(char* key, char* valueOut) override {
        *log_ += name_ + ".get_port_para(" + key + ");";
        std::strcpy(valueOut, "250");
        return 12;
    }
    int set_port_para(char* key, char* value) override {
        *log_ += name_ + ".set_port_para(" + key + "=" + value + ");";
        return 13;
    }
    int get_lib_version(char* versionOut) override {
        std::strcpy(versionOut, "RP");
        return -1; // whatever it gives, the export returns 0
    }
    int get_error_text(int code, char* textOut) override {
        std::snprintf(textOut, 32, "rp %d", code);
        return 14;
    }

    int cleanupResult = 0;
    int openResult = 0x55;

  private:
    std::string name_;
    std::string* log_;
    int initResult_;
};

class PlugIns : public InternalTest {
  protected:
    std::string log; // outlives the readers, which TearDown deletes
};

TEST_F(PlugIns, InstallRefusedOnlyOnPortLibraryReaders) {
    for (int portHandle : {1, 0x20000001}) { // USB: with the stand-in USB library
        int handle = 0;
        newReader(portHandle, &handle);
        RecordingPlugIn plugIn("p", &log);
        EXPECT_EQ(VKKRN_PI_Install(handle, &plugIn), -4054) << portHandle;
        EXPECT_EQ(VKKRN_PI_Remove(handle), -4054) << portHandle;
        EXPECT_EQ(g_LibVkKrnDrvHnd.SearchReader(handle)->GetLastError(), -4054);
    }
    EXPECT_EQ(log, "~p;~p;");
    for (int portHandle : {0, 0x30000001, VKKRN_PLUGIN}) {
        int handle = 0;
        auto reader = newReader(portHandle, &handle);
        auto* plugIn = new RecordingPlugIn("q", &log);
        log.clear();
        EXPECT_EQ(VKKRN_PI_Install(handle, plugIn), 0) << portHandle;
        EXPECT_EQ(VKKRN_PI_Remove(handle), 0) << portHandle;
        EXPECT_EQ(log, "q.init;q.cleanup;~q;");
    }
}

TEST_F(PlugIns, InitResultDecides) {
    int handle = 0;
    auto reader = newReader(VKKRN_PLUGIN, &handle);
    RecordingPlugIn refusing("r", &log, -7);
    EXPECT_EQ(VKKRN_PI_Install(handle, &refusing), -7);
    EXPECT_EQ(reader->GetLastError(), -7);
    EXPECT_EQ(VKKRN_PI_Remove(handle), -4060);
    EXPECT_EQ(reader->GetLastError(), -4060);

    auto* accepting = new RecordingPlugIn("a", &log, 5);
    EXPECT_EQ(VKKRN_PI_Install(handle, accepting), 5);
    EXPECT_EQ(reader->GetLastError(), 0);
    RecordingPlugIn second("s", &log);
    EXPECT_EQ(VKKRN_PI_Install(handle, &second), -4061);
    EXPECT_EQ(reader->GetLastError(), -4061);
    accepting->cleanupResult = -3;
    EXPECT_EQ(VKKRN_PI_Remove(handle), -3);
    EXPECT_EQ(reader->GetLastError(), -3);
    EXPECT_EQ(VKKRN_PI_Remove(handle), -4060);
}

TEST_F(PlugIns, UnknownOriginIsRefused) {
    int handle = 0;
    auto reader = newReader(VKKRN_PLUGIN, &handle);
    RecordingPlugIn plugIn("o", &log);
    plugIn.plugInOrigin = 2;
    EXPECT_EQ(VKKRN_PI_Install(handle, &plugIn), -4062);
    EXPECT_EQ(log, "");
    plugIn.plugInOrigin = 0;
    EXPECT_EQ(VKKRN_PI_Install(handle, &plugIn), 0); // the refusal left no claim behind
    plugIn.plugInOrigin = 9;
    EXPECT_EQ(VKKRN_PI_Remove(handle), -4062);
    EXPECT_EQ(reader->GetLastError(), -4062);
    {
        auto lock = reader->Lock();
        EXPECT_EQ(reader->PlugInLocked(), &plugIn); // still installed
    }
    reader.reset();
    // The reader abandons an object of an unknown origin instead of deleting it.
    EXPECT_EQ(VKKRN_DeleteReader(handle), 0);
    EXPECT_EQ(log, "o.init;");
}

TEST_F(PlugIns, OneObjectServesOneReader) {
    int first = 0;
    int second = 0;
    newReader(VKKRN_PLUGIN, &first);
    newReader(0, &second);
    auto* plugIn = new RecordingPlugIn("x", &log);
    EXPECT_EQ(VKKRN_PI_Install(first, plugIn), 0);
    EXPECT_EQ(VKKRN_PI_Install(second, plugIn), -4061);
    EXPECT_EQ(VKKRN_DeleteReader(first), 0);
    EXPECT_EQ(log, "x.init;x.cleanup;~x;");
    // Once freed the address may come back: a new object there is accepted.
    auto* next = new RecordingPlugIn("y", &log);
    EXPECT_EQ(VKKRN_PI_Install(second, next), 0);
}

TEST_F(PlugIns, ForwardersReachTheSlots) {
    int handle = 0;
    auto reader = newReader(VKKRN_PLUGIN, &handle);
    char key[] = "Timeout";
    char value[64] = "100";
    char text[64] = {};
    EXPECT_EQ(VKKRN_PI_OpenPort(handle, value), -4060);
    EXPECT_EQ(reader->GetLastError(), -4060);
    EXPECT_EQ(VKKRN_PI_GetDLLVersion(handle, text), -4060);

    auto* plugIn = new RecordingPlugIn("f", &log);
    ASSERT_EQ(VKKRN_PI_Install(handle, plugIn), 0);
    reader->SetLastError(-4999);
    log.clear();
    char port[] = "/dev/x";
    EXPECT_EQ(VKKRN_PI_OpenPort(handle, port), 0x55);
    EXPECT_EQ(plugIn->portHandle, 0x55);
    plugIn->openResult = -9;
    EXPECT_EQ(VKKRN_PI_OpenPort(handle, nullptr), -9);
    EXPECT_EQ(plugIn->portHandle, 0x55); // only positive results are kept
    plugIn->openResult = 0;
    EXPECT_EQ(VKKRN_PI_OpenPort(handle, port), 0);
    EXPECT_EQ(plugIn->portHandle, 0x55);
    EXPECT_EQ(VKKRN_PI_ClosePort(handle), 11);
    EXPECT_EQ(VKKRN_PI_GetPortPara(handle, key, value), 12);
    EXPECT_STREQ(value, "250");
    EXPECT_EQ(VKKRN_PI_SetPortPara(handle, key, value), 13);
    EXPECT_EQ(VKKRN_PI_GetDLLVersion(handle, text), 0);
    EXPECT_STREQ(text, "RP");
    EXPECT_EQ(VKKRN_PI_GetErrorText(handle, -42, text), 14);
    EXPECT_STREQ(text, "rp -42");
    EXPECT_EQ(log, "f.open_port(/dev/x);f.open_port(null);f.open_port(/dev/x);f.close_port;"
                   "f.get_port_para(Timeout);f.set_port_para(Timeout=250);");
    EXPECT_EQ(reader->GetLastError(), -4999); // the forwarders leave it alone
}

TEST_F(PlugIns, SubPlugInsAreReleasedOnceInCommandOrder) {
    int handle = 0;
    newReader(VKKRN_PLUGIN, &handle);
    auto* parent = new RecordingPlugIn("parent", &log);
    auto* a = new RecordingPlugIn("a", &log);
    auto* b = new RecordingPlugIn("b", &log);
    parent->subPlugInMap[0xB2] = a;
    parent->subPlugInMap[0x80] = b;
    parent->subPlugInMap[0x18] = a;
    parent->subPlugInMap[0x20] = nullptr;
    ASSERT_EQ(VKKRN_PI_Install(handle, parent), 0);
    log.clear();
    EXPECT_EQ(VKKRN_PI_Remove(handle), 0);
    EXPECT_EQ(log, "parent.cleanup;~parent;a.cleanup;~a;b.cleanup;~b;"); // the base destructor releases them
}

TEST_F(PlugIns, CommModeAndDeletionReleaseAlike) {
    int handle = 0;
    auto reader = newReader(VKKRN_PLUGIN, &handle);
    ASSERT_EQ(VKKRN_PI_Install(handle, new RecordingPlugIn("m", &log)), 0);
    {
        auto lock = reader->Lock();
        EXPECT_EQ(reader->SetCommMode(7), 0);
        EXPECT_EQ(reader->PlugInLocked(), nullptr);
    }
    EXPECT_EQ(log, "m.init;m.cleanup;~m;");
    log.clear();
    ASSERT_EQ(VKKRN_PI_Install(handle, new RecordingPlugIn("d", &log)), 0);
    reader.reset();
    EXPECT_EQ(VKKRN_DeleteReader(handle), 0);
    EXPECT_EQ(log, "d.init;d.cleanup;~d;");
}

} // namespace
