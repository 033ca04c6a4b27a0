// The frame every command export goes through, and the records a command hands
// to a plug-in that frames commands itself (a recording in-process plug-in).
#include "command_table.h"
#include "internal_fixture.h"
#include "sim_plugin_reader.h"

#include <krnsim/reader.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using krnsim::Bytes;

class CommandFrame : public InternalTest {};

TEST_F(CommandFrame, NullFirstThenTheHandleLadder) {
    std::vector<vkkrn_test::ExportRow> rows = vkkrn_test::exportRows();
    for (vkkrn_test::ExportRow& row : vkkrn_test::transponderExportRows())
        rows.push_back(std::move(row));
    for (const vkkrn_test::ExportRow& e : rows) {
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
        g_LibVkKrnDrvHnd.SetLastError(1);
        EXPECT_EQ(e.call(handle, false), -4060);
        EXPECT_EQ(libraryLastError(), 0);
        int code = 0;
        char text[256];
        EXPECT_EQ(VKKRN_GetLastError(handle, &code, text), 0);
        EXPECT_EQ(code, -4060) << "the reader keeps the method's code";
        g_LibVkKrnDrvHnd.DeleteAllReaders();
    }
}

TEST_F(CommandFrame, PresetsAreWrittenEvenWhenTheCommandFails) {
    int handle = 0;
    ASSERT_NE(newReader(0, &handle), nullptr);
    struct Case {
        const char* name;
        std::function<int(unsigned char* out, int* n)> call;
        Bytes out; // the first bytes of out afterwards
        int n;     // *n afterwards (7 when untouched)
    };
    unsigned char c1 = 0xEE;
    unsigned char c2 = 0xEE;
    const Case cases[] = {
        {"0x21",
         [&](unsigned char* o, int*) { return VKKRN_0x21_ReadBuffer(handle, 1, 0, &c1, &c2, o, 0); },
         {'0', 0xEE},
         7},
        {"0x22",
         [&](unsigned char* o, int* n) { return VKKRN_0x22_ReadBuffer(handle, 1, 0, o + 8, n, o, 0); },
         {'0', 0xEE},
         0},
        {"0x31",
         [&](unsigned char* o, int*) { return VKKRN_0x31_ReadDataBufferInfo(handle, 1, o, o + 1, o + 2, 0); },
         {'0', '0', '0', 0xEE},
         7},
        {"0x65",
         [&](unsigned char* o, int*) { return VKKRN_0x65_SoftVersion(handle, 1, o, 1); },
         {0, 0xEE},
         7},
        {"0x66",
         [&](unsigned char* o, int*) { return VKKRN_0x66_ReaderInfo(handle, 1, 0, o, 1); },
         {0, 0xEE},
         7},
        {"0x6D",
         [&](unsigned char* o, int*) { return VKKRN_0x6D_GetNoiseLevel(handle, 1, o, 1); },
         {0, 0xEE},
         7},
        {"0x6E after the engine failed",
         [&](unsigned char* o, int*) { return VKKRN_0x6E_RdDiag(handle, 1, 0x21, o); },
         {0, 0xEE},
         7},
        {"0x74", [&](unsigned char* o, int*) { return VKKRN_0x74_ReadInput(handle, 1, o); }, {0, 0xEE}, 7},
        {"0x75",
         [&](unsigned char* o, int*) { return VKKRN_0x75_AdjAntenna(handle, 1, o, 0); },
         {0, 0xEE},
         7},
        {"0x76",
         [&](unsigned char* o, int* n) { return VKKRN_0x76_CheckAntennas(handle, 1, 0, o, n); },
         {0, 0xEE},
         0},
        {"0x80",
         [&](unsigned char* o, int*) { return VKKRN_0x80_ReadConfBlock(handle, 1, 0, o, 0); },
         {0, 0xEE},
         7},
        {"0x86",
         [&](unsigned char* o, int*) { return VKKRN_0x86_GetSysTimer(handle, 1, o, 0); },
         {0, 0xEE},
         7},
        {"0x9F",
         [&](unsigned char* o, int* n) {
             return VKKRN_0x9F_Piggyback_Command(handle, 1, 0, 0, 0, o, 0, o, n);
         },
         {0xEE},
         0},
        {"0x68 values untouched",
         [&](unsigned char*, int*) {
             long v = 7;
             return VKKRN_0x68_ChannelAnalyze(handle, 1, 1, 0, 0, 0, 1, &v) + (v == 7 ? 0 : 1);
         },
         {0xEE},
         7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned char out[16];
        std::memset(out, 0xEE, sizeof out);
        int n = 7;
        EXPECT_EQ(c.call(out, &n), -4060);
        EXPECT_EQ(Bytes(out, out + c.out.size()), c.out);
        EXPECT_EQ(n, c.n);
    }
    EXPECT_EQ(c1, 0);
    EXPECT_EQ(c2, 0);
}

using RecordingReader = SimPlugInReaderTest;

TEST_F(RecordingReader, EachCommandSendsItsRequestDataOverTheInProcessLink) {
    sim_.setAnswerAll(true);
    for (const vkkrn_test::RequestRow& row : vkkrn_test::requestRows()) {
        SCOPED_TRACE(row.name);
        sim_.log().clear();
        EXPECT_EQ(row.call(handle_), 0);
        const auto entries = sim_.log().entries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].command, row.command);
        EXPECT_EQ(entries[0].address, row.address);
        EXPECT_EQ(entries[0].data, row.data);
    }
}

TEST_F(RecordingReader, RecordsCarryTheArgumentsInTheirOrder) {
    plugIn_->record(sizeof(_VKKRN_PLUGIN_0x1E_DATA));
    unsigned char data[4] = {1, 2, 3, 4};
    unsigned char out[64];
    int n = 0;
    ASSERT_EQ(VKKRN_0x1E_TableDataExchange(handle_, 1, 1, 2, 3, 4, 5, data, 4, out, &n), 0);
    auto r1e = plugIn_->recorded.back().as<_VKKRN_PLUGIN_0x1E_DATA>();
    EXPECT_EQ(Bytes({r1e.a1, r1e.a2, r1e.a3, r1e.a4, r1e.a5}), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(r1e.a6, data);
    EXPECT_EQ(r1e.a7, 4);
    EXPECT_EQ(r1e.a8, out);
    EXPECT_EQ(r1e.reserved1, 0);

    plugIn_->record(sizeof(_VKKRN_PLUGIN_0x52_DATA));
    ASSERT_EQ(VKKRN_0x52_GetBaud(handle_, 1), 0);
    ASSERT_TRUE(plugIn_->recorded.back().hasRecord) << "0x52 passes its zero byte";
    EXPECT_EQ(plugIn_->recorded.back().as<_VKKRN_PLUGIN_0x52_DATA>().reserved1, 0);

    plugIn_->record(sizeof(_VKKRN_PLUGIN_0x6B_DATA));
    ASSERT_EQ(VKKRN_0x6B_CentralizedRFSync(handle_, 1, 1, 2, 0x1234, 3, 4), 0);
    auto r6b = plugIn_->recorded.back().as<_VKKRN_PLUGIN_0x6B_DATA>();
    EXPECT_EQ(Bytes({r6b.a1, r6b.a2, r6b.a4, r6b.a5}), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(r6b.a3, 0x1234);
    ASSERT_EQ(VKKRN_0x6B_InitNoiseThreshold(handle_, 1), 0);
    EXPECT_FALSE(plugIn_->recorded.back().hasRecord);

    plugIn_->record(sizeof(_VKKRN_PLUGIN_0x8A_DATA));
    unsigned char count = 0;
    unsigned char size = 0;
    ASSERT_EQ(VKKRN_0x8A_ReadConfiguration(handle_, 1, 1, 2, 3, 0x12345, 5, &count, &size, out), 0);
    auto r8a = plugIn_->recorded.back().as<_VKKRN_PLUGIN_0x8A_DATA>();
    EXPECT_EQ(r8a.a4, 0x12345u) << "the record keeps the whole value";
    EXPECT_EQ(r8a.a5, 5);
    EXPECT_EQ(r8a.reserved1, nullptr);

    plugIn_->record(sizeof(_VKKRN_PLUGIN_0x9F_DATA));
    ASSERT_EQ(VKKRN_0x9F_Piggyback_Command(handle_, 1, 1, 2, 3, data, 2, out, &n), 0);
    auto r9f = plugIn_->recorded.back().as<_VKKRN_PLUGIN_0x9F_DATA>();
    EXPECT_EQ(r9f.a4, data);
    EXPECT_EQ(r9f.a5, 2);
    EXPECT_EQ(r9f.reserved1, nullptr);
    EXPECT_EQ(plugIn_->recorded.back().mode, 0);

    plugIn_->record(sizeof(_VKKRN_PLUGIN_0x1F_DATA));
    std::string hex = "0102";
    ASSERT_EQ(VKKRN_0x1F_MAXDataExchange(handle_, 1, 1, 2, 3, vkkrn_test::bytesOf(hex), 4, out, &n, 1), 0);
    EXPECT_EQ(plugIn_->recorded.back().mode, 1) << "the format";
    EXPECT_EQ(plugIn_->recorded.back().as<_VKKRN_PLUGIN_0x1F_DATA>().a4, vkkrn_test::bytesOf(hex))
        << "the caller's text as given";
}

TEST_F(RecordingReader, CommandFromItsOwnHandlerIsRefused) {
    ASSERT_EQ(reader_->SetReaderPara("LOGPROT", "1"), 0);
    struct Context {
        int handle;
        bool ran = false;
        std::vector<int> results;
    } context{handle_, false, {}};
    _VKKRN_EVENT_INIT handler{};
    handler.pAny = &context;
    handler.uiUse = 2;
    handler.uiFlag = 6;
    handler.callback.form6 = [](void* any, unsigned char*, int) {
        auto* c = static_cast<Context*>(any);
        if (c->ran) return;
        c->ran = true;
        for (const vkkrn_test::ExportRow& e : vkkrn_test::exportRows())
            c->results.push_back(e.call(c->handle, false));
    };
    ASSERT_EQ(VKKRN_AddEventHandler(handle_, &handler), 0);
    ASSERT_EQ(VKKRN_0x1A_Halt(handle_, 1), 0);
    ASSERT_EQ(context.results.size(), vkkrn_test::exportRows().size());
    for (const int rc : context.results)
        EXPECT_EQ(rc, -4032);
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
