// The frame every command export goes through, and the records a command hands
// to a plug-in that frames commands itself (a recording in-process plug-in).
#include "internal_fixture.h"
#include "sim_plugin.h"

#include <krnsim/reader.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using krnsim::Bytes;

// A command export with all its pointer arguments valid or null.
struct ExportCall {
    const char* name;
    std::function<int(int handle, bool nulls)> call;
    bool nullTest = true; // the export names a pointer it tests
};

unsigned char g_out[0x20003];

std::vector<ExportCall> exportCalls() {
    return {
        {"0x1A", [](int h, bool) { return VKKRN_0x1A_Halt(h, 0xFF); }, false},
        {"0x65", [](int h, bool n) { return VKKRN_0x65_SoftVersion(h, 0xFF, n ? nullptr : g_out, 0); }},
    };
}

class CommandFrame : public InternalTest {};

TEST_F(CommandFrame, NullFirstThenTheHandleLadder) {
    for (const ExportCall& e : exportCalls()) {
        SCOPED_TRACE(e.name);
        if (e.nullTest) {
            g_LibVkKrnDrvHnd.SetLastError(0);
            EXPECT_EQ(e.call(-1, true), -4002) << "null before the handle";
            EXPECT_EQ(libraryLastError(), -4002);
        }
        EXPECT_EQ(e.call(-1, false), -4022);
        EXPECT_EQ(libraryLastError(), -4022);
        EXPECT_EQ(e.call(0, false), -4021);
        EXPECT_EQ(e.call(5, false), -4001) << "no reader at all";
        EXPECT_EQ(libraryLastError(), -4001);
        int handle = 0;
        ASSERT_NE(newReader(0, &handle), nullptr);
        EXPECT_EQ(e.call(handle + 1, false), -4023);
        EXPECT_EQ(libraryLastError(), -4023);
        // A portless reader: the engine fails, the library's last error is 0.
        EXPECT_EQ(e.call(handle, false), -4060);
        EXPECT_EQ(libraryLastError(), 0);
        int code = 0;
        char text[256];
        EXPECT_EQ(VKKRN_GetLastError(handle, &code, text), 0);
        EXPECT_EQ(code, -4060) << "the reader keeps the method's code";
        g_LibVkKrnDrvHnd.DeleteAllReaders();
    }
}

class RecordingReader : public InternalTest {
  protected:
    void SetUp() override {
        InternalTest::SetUp();
        reader_ = newReader(VKKRN_PLUGIN, &handle_);
        ASSERT_NE(reader_, nullptr);
        plugIn_ = new SimPlugIn(sim_, script_);
        ASSERT_EQ(reader_->PlugIn_Install(plugIn_), 0);
    }

    krnsim::Reader sim_;
    PlugInScript script_;
    SimPlugIn* plugIn_ = nullptr; // owned by the reader once installed
    std::shared_ptr<VKKRNReader> reader_;
    int handle_ = 0;
};

TEST_F(RecordingReader, RecordsCommandModeAndRecord) {
    plugIn_->record(sizeof(_VKKRN_PLUGIN_0x65_DATA));
    unsigned char out[64];
    EXPECT_EQ(VKKRN_0x65_SoftVersion(handle_, 0xFF, out, 1), 0);
    EXPECT_EQ(VKKRN_0x1A_Halt(handle_, 0xFF), 0);
    ASSERT_EQ(plugIn_->recorded.size(), 2u);
    EXPECT_EQ(plugIn_->recorded[0].cmd, 0x65);
    EXPECT_EQ(plugIn_->recorded[0].mode, 1) << "the format";
    ASSERT_TRUE(plugIn_->recorded[0].hasRecord);
    EXPECT_EQ(plugIn_->recorded[0].as<_VKKRN_PLUGIN_0x65_DATA>().a1, out);
    EXPECT_EQ(plugIn_->recorded[1].cmd, 0x1A);
    EXPECT_FALSE(plugIn_->recorded[1].hasRecord) << "no arguments, no record";
    EXPECT_STREQ(reinterpret_cast<char*>(out), "0102034B0010001000");
}

TEST_F(RecordingReader, ReplyTakenByThePlugInWritesNoOutput) {
    script_.splitDatastream = static_cast<int>(krnsim::ReaderModel::defaultVersion().size());
    unsigned char out[64];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(VKKRN_0x65_SoftVersion(handle_, 0xFF, out, 0), 0);
    EXPECT_EQ(out[0], 0) << "the preset";
    EXPECT_EQ(out[1], 0xEE);
}

} // namespace
