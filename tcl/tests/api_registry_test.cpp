// The registry's checks through the exports, on an empty registry and a reader
// that cannot be asked (portless).
#include <vkkrn.h>
#include <vktcl.h>

#include <gtest/gtest.h>

namespace {

int lastError() {
    int code = 0;
    char text[VKTCL_TEXT_SIZE];
    VKTCL_GetLastError(&code, text);
    return code;
}

TEST(TclRegistry, ChecksInOrderOnAnEmptyRegistry) {
    unsigned char apdu[4] = {};
    unsigned char buffer[8];
    const struct {
        const char* call;
        int (*run)(unsigned char*, unsigned char*);
        int expected;
    } rows[] = {
        {"apdu null first",
         [](unsigned char*, unsigned char*) { return VKTCL_Apdu(-1, nullptr, 70000, nullptr); }, -4202},
        {"apdu length", [](unsigned char* a, unsigned char*) { return VKTCL_Apdu(-1, a, 65536, nullptr); },
         -4270},
        {"apdu negative length",
         [](unsigned char* a, unsigned char*) { return VKTCL_Apdu(-1, a, -1, nullptr); }, -4251},
        {"apdu handle", [](unsigned char* a, unsigned char*) { return VKTCL_Apdu(-1, a, 65535, nullptr); },
         -4222},
        {"apdu zero", [](unsigned char* a, unsigned char*) { return VKTCL_Apdu(0, a, 4, nullptr); }, -4221},
        {"apdu empty", [](unsigned char* a, unsigned char*) { return VKTCL_Apdu(1, a, 4, nullptr); }, -4201},
        {"ping", [](unsigned char*, unsigned char*) { return VKTCL_Ping(-5); }, -4222},
        {"ping zero", [](unsigned char*, unsigned char*) { return VKTCL_Ping(0); }, -4221},
        {"ping empty", [](unsigned char*, unsigned char*) { return VKTCL_Ping(3); }, -4201},
        {"deselect", [](unsigned char*, unsigned char*) { return VKTCL_Deselect(-5); }, -4222},
        {"deselect empty", [](unsigned char*, unsigned char*) { return VKTCL_Deselect(7); }, -4201},
        {"response null first",
         [](unsigned char*, unsigned char*) { return VKTCL_GetResponseData(-1, nullptr, 8); }, -4202},
        {"response", [](unsigned char*, unsigned char* b) { return VKTCL_GetResponseData(0, b, 8); }, -4221},
        {"response empty", [](unsigned char*, unsigned char* b) { return VKTCL_GetResponseData(2, b, 8); },
         -4201},
        {"delete", [](unsigned char*, unsigned char*) { return VKTCL_DeleteTransponder(-1); }, -4222},
        {"delete zero", [](unsigned char*, unsigned char*) { return VKTCL_DeleteTransponder(0); }, -4221},
        {"delete empty", [](unsigned char*, unsigned char*) { return VKTCL_DeleteTransponder(1); }, -4201},
        {"list", [](unsigned char*, unsigned char*) { return VKTCL_GetTransponderList(-1); }, -4222},
        {"list first", [](unsigned char*, unsigned char*) { return VKTCL_GetTransponderList(0); }, -4201},
        {"list unknown", [](unsigned char*, unsigned char*) { return VKTCL_GetTransponderList(4); }, -4220},
        {"new reader 0",
         [](unsigned char*, unsigned char*) { return VKTCL_NewTransponder(0, 1, 0, 0, false, false); },
         -4220},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.run(apdu, buffer), row.expected) << row.call;
        EXPECT_EQ(lastError(), row.expected) << row.call;
    }
}

TEST(TclRegistry, AReaderThatCannotAnswerMakesNoTransponder) {
    const int reader = VKKRN_NewReader(0);
    ASSERT_GT(reader, 0);
    EXPECT_EQ(VKTCL_NewTransponder(reader, 1, 0, 0, false, false), -4200);
    EXPECT_EQ(lastError(), -4200);
    EXPECT_EQ(VKTCL_GetTransponderList(0), -4201);
    VKKRN_DeleteReader(reader);
}

} // namespace
