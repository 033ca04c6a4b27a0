// Texts, version and the text helpers through the exports.
#include <vkkrn.h>
#include <vktcl.h>
#include <vktcl_text.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string text(int code, int* result = nullptr) {
    char buffer[VKTCL_TEXT_SIZE];
    std::memset(buffer, 'x', sizeof buffer);
    const int rc = VKTCL_GetErrorText(code, buffer);
    if (result != nullptr) *result = rc;
    return buffer;
}

TEST(TclTexts, OwnCodes) {
    const struct {
        int code;
        const char* text;
    } rows[] = {
        {-4200, "VKTCL: Error during transponder object creation."},
        {-4201, "VKTCL: Empty transponder liste."},
        {-4209, "VKTCL: Another APDU is currently being processed."},
        {-4226, "VKTCL: Negative reader handle."},
        {-4230, "VKTCL: Potocol length error."},
        {-4271, "VKTCL: Response length to large,"},
        {-4277, "VKTCL: Invalid Transmission"},
        {-4280, "DLQ:\t0x00\tOK"},
        {-4288, "DLQ:\t0x0E\tGeneral Error"},
        {-4296, "DLQ:\t0x95\tISO Error"},
        {-4297, "DLQ:\t0x95\tISO 14443 Fehler"},
    };
    for (const auto& row : rows) {
        int rc = -1;
        EXPECT_EQ(text(row.code, &rc), row.text) << row.code;
        EXPECT_EQ(rc, 0);
    }
}

TEST(TclTexts, EveryOwnCodeHasItsText) {
    int known = 0;
    for (int code = -4299; code <= -4200; ++code) {
        int rc = 0;
        const std::string t = text(code, &rc);
        if (rc == 0) {
            ++known;
            EXPECT_TRUE(t.rfind("VKTCL: ", 0) == 0 || t.rfind("DLQ:\t", 0) == 0) << code;
        } else {
            EXPECT_EQ(rc, -4253);
            EXPECT_EQ(t, "VKTCL: Unknown error code (" + std::to_string(code) + ")");
        }
    }
    EXPECT_EQ(known, 69);
}

TEST(TclTexts, UnknownCodes) {
    for (const int code : {0, 5, -4000, -1000, -1100, -1200, -4100, -4300, -3000}) {
        int rc = 0;
        EXPECT_EQ(text(code, &rc), "VKTCL: Unknown error code (" + std::to_string(code) + ")");
        EXPECT_EQ(rc, -4253);
    }
}

TEST(TclTexts, ForwardedToTheLibraryThatMadeThem) {
    char expected[VKTCL_TEXT_SIZE];
    const int krn = VKKRN_GetErrorText(-4001, expected);
    int rc = 1;
    EXPECT_EQ(text(-4001, &rc), expected);
    EXPECT_EQ(rc, krn);
    // The port libraries' own texts start with their names.
    EXPECT_EQ(text(-1030, &rc).rfind("VIZER: ", 0), 0u);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(text(-1230, &rc), "");
    EXPECT_EQ(rc, 0);
    EXPECT_NE(text(-1101, &rc), "");
}

TEST(TclTexts, NullTextIsRefusedAndNotRecorded) {
    char version[9];
    VKTCL_GetDLLVersion(version);
    EXPECT_EQ(VKTCL_GetErrorText(-4200, nullptr), -4202);
    int code = 1;
    char buffer[VKTCL_TEXT_SIZE];
    EXPECT_EQ(VKTCL_GetLastError(&code, nullptr), -4202);
    EXPECT_EQ(VKTCL_GetLastError(nullptr, buffer), -4202);
    EXPECT_EQ(VKTCL_GetLastError(&code, buffer), 0);
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(buffer, "VKTCL: Unknown error code (0)");
}

TEST(TclTexts, Version) {
    char version[16];
    std::memset(version, 'x', sizeof version);
    VKTCL_GetDLLVersion(version);
    EXPECT_STREQ(version, "02.02.02");
    EXPECT_EQ(version[9], 'x');
    VKTCL_GetDLLVersion(nullptr);
    int code = 0;
    char buffer[VKTCL_TEXT_SIZE];
    VKTCL_GetLastError(&code, buffer);
    EXPECT_EQ(code, -4202);
    EXPECT_STREQ(buffer, "VKTCL: Internal NULL Pointer.");
}

TEST(TclTextHelpers, Callers) {
    char buffer[VKTCL_TEXT_SIZE];
    getCallerText(0, buffer);
    EXPECT_STREQ(buffer, "VKManager::createNewVKTransponder");
    getCallerText(25, buffer);
    EXPECT_STREQ(buffer, "VKTransponder::deselect()");
    getCallerText(27, buffer);
    EXPECT_STREQ(buffer, "VKProtocol::addProtocolBlock()");
    for (const int missing : {26, 28, -1}) {
        getCallerText(missing, buffer);
        EXPECT_EQ(std::string(buffer), "VKTCL: Unbekannter Caller (" + std::to_string(missing) + ")");
    }
    EXPECT_STREQ(VktclGetErrorText(-4202, buffer), "VKTCL: Internal NULL Pointer.");
    EXPECT_EQ(getErrorText(-4202, buffer), 0);
    printError(1, 2, 3);
}

TEST(TclTextHelpers, DlqStatus) {
    const struct {
        unsigned char status;
        int code;
    } rows[] = {{0x01, -4281}, {0x0E, -4288}, {0x11, -4290}, {0x80, -4291}, {0x83, -4294}, {0x94, -4295},
                {0x95, -4296}, {0x96, -4297}, {0x00, 0},     {0x06, 6},     {0x7F, 0x7F},  {0xFF, 0xFF}};
    for (const auto& row : rows)
        EXPECT_EQ(translateDLQStatus(row.status), row.code) << int(row.status);
}

TEST(TclTextHelpers, StreamText) {
    unsigned char data[] = {0x00, 0xAB, 0x10};
    std::string s = "> ";
    EXPECT_STREQ(VktclApduStream2String(data, 3, s), "> 00 AB 10 ");
    EXPECT_EQ(s, "> 00 AB 10 ");
    std::string untouched = "keep";
    EXPECT_STREQ(VktclApduStream2String(data, 65536, untouched), "ERROR: APDU length > 65535");
    EXPECT_EQ(untouched, "keep");
    EXPECT_STREQ(VktclApduStream2String(data, 0, untouched), "keep");
}

} // namespace
