// The frame every command export goes through, and the records a command hands
// to a plug-in that frames commands itself (a recording in-process plug-in).
#include "recording_reader.h"

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
unsigned char g_in[8] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
int g_len = 0;
unsigned int g_ulen = 0;

unsigned char* in(bool null) {
    return null ? nullptr : g_in;
}
unsigned char* out(bool null) {
    return null ? nullptr : g_out;
}
int* len(bool null) {
    return null ? nullptr : &g_len;
}

std::vector<ExportCall> exportCalls() {
    return {
        {"0x1A", [](int h, bool) { return VKKRN_0x1A_Halt(h, 0xFF); }, false},
        {"0x65", [](int h, bool n) { return VKKRN_0x65_SoftVersion(h, 0xFF, n ? nullptr : g_out, 0); }},
        // Transponder, transparent, SAM and card-crypto commands: request, reply
        // and reply length (0xC1 also its field) all null or all valid.
        {"0xB0", [](int h, bool n) { return VKKRN_0xB0_ISOCmd(h, 1, in(n), 2, out(n), len(n), 0); }},
        {"0xB1",
         [](int h, bool n) { return VKKRN_0xB1_ISOCustAndPropCmd(h, 1, 0, in(n), 2, out(n), len(n), 0); }},
        {"0xB2", [](int h, bool n) { return VKKRN_0xB2_ISOCmd(h, 1, in(n), 2, out(n), len(n), 0); }},
        {"0xB3", [](int h, bool n) { return VKKRN_0xB3_EPCCmd(h, 1, in(n), 2, out(n), len(n), 0); }},
        {"0xB4", [](int h, bool n) { return VKKRN_0xB4_EPC_UHF_Cmd(h, 1, 0, in(n), 2, out(n), len(n), 0); }},
        {"0xB5",
         [](int h, bool n) { return VKKRN_0xB5_ISOCustAndPropCmd(h, 1, 0, in(n), 2, out(n), len(n), 0); }},
        {"0xBB",
         [](int h, bool n) {
             return VKKRN_0xBB_C1G2_TranspCmd(h, 1, 0, 0, 0, 0, 0, in(n), 2, out(n), n ? nullptr : &g_ulen);
         }},
        {"0xBD",
         [](int h, bool n) { return VKKRN_0xBD_ISOTranspCmd(h, 1, 0, 0, in(n), 2, out(n), len(n), 0); }},
        {"0xBE",
         [](int h, bool n) { return VKKRN_0xBE_ISOTranspCmd(h, 1, 0, 0, in(n), 2, out(n), len(n), 0); }},
        {"0xBF",
         [](int h, bool n) { return VKKRN_0xBF_ISOTranspCmd(h, 1, 0, 0, in(n), 2, out(n), len(n), 0); }},
        {"0xC0", [](int h, bool n) { return VKKRN_0xC0_SAMCmd_Sync(h, 1, 0, 30, in(n), 2, out(n), len(n)); }},
        {"0xC1",
         [](int h, bool n) {
             return VKKRN_0xC1_DESFireCmd(h, 1, 0, 0, in(n), 0, in(n), 2, out(n), len(n), 0);
         }},
        {"0xC2",
         [](int h, bool n) { return VKKRN_0xC2_MifarePlusCmd(h, 1, 0, 0, in(n), 2, out(n), len(n), 0); }},
        {"0xC3",
         [](int h, bool n) { return VKKRN_0xC3_DESFireCmd(h, 1, 0, 0, in(n), 2, out(n), len(n), 0); }},
        {"0xFE", [](int h, bool n) { return VKKRN_0xFE_Transceive(h, 1, in(n), 2, out(n), len(n)); }},
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
