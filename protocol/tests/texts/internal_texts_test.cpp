#include "internal_fixture.h"

#include <climits>
#include <string>

namespace {

using Texts = InternalTest;

struct TextCase {
    int code;
    int language;
    const char* text;
    int result;
};

const TextCase kTexts[] = {
    {-4000, 9, "VKKRN: (-4000) error while creating new reader object", 0},
    {-4053, 9, "VKKRN: (-4053) unknown error code", 0},
    {-4094, 9, "VKKRN: (-4094) error in decipher process", 0},
    {-4082, 9, "VKKRN: (-4082) asynchronous task finished with timeout. Reader has sent no reply", 0},
    {-4003, 7,
     "VKKRN: (-4003) Nicht gen\xFC"
     "gend Programmspeicher",
     0},
    {-4051, 7,
     "VKKRN: (-4051) Parameter au\xDF"
     "erhalb des zul\xE4"
     "ssigen Wertebereichs",
     0},
    {-4070, 7,
     "VKKRN: (-4070) \xDC"
     "berlauf des Empfangspuffers",
     0},
    {-4084, 7, "VKKRN: (-4084) Asynchroner Task kann nicht antworten...", 0},
    {-4040, 9, "VKKRN: Unknown Errorcode (-4040)", -4053},
    {-4008, 9, "VKKRN: Unknown Errorcode (-4008)", -4053},
    {-4095, 9, "VKKRN: Unknown Errorcode (-4095)", -4053},
    {0, 9, "VKKRN: Unknown Errorcode (0)", -4053},
    {17, 9, "VKKRN: Unknown Errorcode (17)", -4053},
    {INT_MIN, 9, "VKKRN: Unknown Errorcode (-2147483648)", -4053},
    {INT_MAX, 7, "VKKRN: Unbekannter Fehlercode (2147483647)", -4053},
    {-999, 7, "VKKRN: Unbekannter Fehlercode (-999)", -4053},
    {-1300, 9, "VKKRN: Unknown Errorcode (-1300)", -4053},
    {-4001, 3, "VKKRN: False language setting", 0},
};

TEST_F(Texts, EveryCodeGetsATextInTheLanguage) {
    for (const TextCase& c : kTexts) {
        g_LibVkKrnDrvHnd.SetLanguage(c.language);
        char text[256];
        std::memset(text, 'x', sizeof text);
        g_LibVkKrnDrvHnd.SetLastError(777);
        EXPECT_EQ(VKKRN_GetErrorText(c.code, text), c.result) << c.code;
        EXPECT_STREQ(text, c.text) << c.code;
        EXPECT_EQ(libraryLastError(), c.result) << c.code;
    }
}

TEST_F(Texts, TheTableHas54CodesInBothLanguages) {
    int withText = 0;
    for (int code = -4099; code <= -4000; ++code) {
        char english[256];
        char german[256];
        g_LibVkKrnDrvHnd.SetLanguage(9);
        const int r = VKKRN_GetErrorText(code, english);
        g_LibVkKrnDrvHnd.SetLanguage(7);
        EXPECT_EQ(VKKRN_GetErrorText(code, german), r);
        if (r != 0) continue;
        ++withText;
        const std::string prefix = "VKKRN: (" + std::to_string(code) + ") ";
        EXPECT_EQ(std::string(english).rfind(prefix, 0), 0u) << english;
        EXPECT_EQ(std::string(german).rfind(prefix, 0), 0u) << german;
    }
    EXPECT_EQ(withText, 54);
}

TEST_F(Texts, NullTextBuffer) {
    g_LibVkKrnDrvHnd.SetLastError(0);
    EXPECT_EQ(VKKRN_GetErrorText(-4000, nullptr), -4002);
    EXPECT_EQ(libraryLastError(), -4002);
}

TEST_F(Texts, Version) {
    char version[16];
    std::memset(version, 'x', sizeof version);
    VKKRN_GetDLLVersion(version);
    EXPECT_EQ(std::string(version, 9), std::string("07.04.01\0", 9));
    EXPECT_EQ(version[9], 'x');
    g_LibVkKrnDrvHnd.SetLastError(0);
    VKKRN_GetDLLVersion(nullptr);
    EXPECT_EQ(libraryLastError(), -4002);
}

} // namespace
