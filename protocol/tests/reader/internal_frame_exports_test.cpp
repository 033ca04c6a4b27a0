// Where the frame, text and parameter exports store their failures: the
// library's last error for the checks before the reader, the reader's for what
// the reader does.
#include "internal_fixture.h"

#include <functional>
#include <string>

namespace {

using FrameExportErrors = InternalTest;

TEST_F(FrameExportErrors, ChecksStoreTheLibrarysLastErrorMethodsTheReaders) {
    int handle = 0;
    auto reader = newReader(0, &handle);
    unsigned char data[8] = {0x30, 0x47};
    unsigned char frame[32];
    char text[69];
    unsigned char adr, cmd;
    const std::string longKey(128, 'K');
    struct Case {
        const char* what;
        std::function<int()> call;
        int result;
        int library; // the library's last error after the call
        int reader;  // the reader's
    };
    const Case cases[] = {
        {"negative handle", [&] { return VKKRN_BuildSendProtocol(-1, 1, 2, data, 1, frame, 0); }, -4022,
         -4022, 0},
        {"null data", [&] { return VKKRN_BuildSendProtocol(handle, 1, 2, nullptr, 1, frame, 0); }, -4002,
         -4002, 0},
        {"null length", [&] { return VKKRN_SplitRecProtocol(handle, data, 2, &adr, &cmd, data, nullptr, 0); },
         -4002, -4002, 0},
        {"length", [&] { return VKKRN_BuildSendProtocol(handle, 1, 2, data, 65538, frame, 0); }, -4051, -4051,
         0},
        {"format", [&] { return VKKRN_BuildSendProtocol(handle, 1, 2, data, 1, frame, 3); }, -4051, 0, -4051},
        {"hex text", [&] { return VKKRN_BuildSendProtocol(handle, 1, 2, data, 2, frame, 1); }, -4051, 0,
         -4051},
        {"key too long", [&] { return VKKRN_SetReaderPara(handle, longKey.c_str(), "1"); }, -4051, -4051, 0},
        {"unknown key", [&] { return VKKRN_SetReaderPara(handle, "NOSUCHKEY", "1"); }, -4050, 0, -4050},
        {"unknown status", [&] { return VKKRN_GetStatusText(0x09, text); }, -4033, -4033, 0},
        {"known status", [&] { return VKKRN_GetStatusText(0x00, text); }, 0, 0, 0},
    };
    for (const auto& c : cases) {
        reader->SetLastError(0);
        g_LibVkKrnDrvHnd.SetLastError(1);
        EXPECT_EQ(c.call(), c.result) << c.what;
        EXPECT_EQ(libraryLastError(), c.library) << c.what;
        EXPECT_EQ(reader->GetLastError(), c.reader) << c.what;
    }
}

} // namespace
