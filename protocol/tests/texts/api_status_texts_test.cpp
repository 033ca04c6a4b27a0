// Status texts of reader status bytes, in both languages.
#include <vkkrn.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(StatusTexts, ExactTextsInBothLanguages) {
    struct Case {
        unsigned char status;
        const char* english;
        const char* german;
    };
    const Case cases[] = {
        {0x00, "OK", "OK"},
        {0x01, "Reader: No Transponder in Reader Field", "Leser: Kein Transponder im Lesefeld"},
        {0x08, "Reader: Authent Error", "Leser: Authentisierungsfehler"},
        {0x12, "Reader: Authent Error", "Leser: Authentifikationsfehler"},
        {0x0C, "Reader: Weak Collision", "Reader: Weak Collision"},
        {0x0E, "Reader: General Error", "Reader: Allgemeiner Fehler"},
        {0x11, "Reader: Parameter Range Error",
         "Leser: Parameter au\xDF"
         "erhalb des Wertebereichs"},
        {0x90, "Reader: Data Table Overrun",
         "Leser: Der \xE4"
         "lteste Datensatz in der Tabelle ist \xFC"
         "berschrieben worden"},
        {0x93, "Reader: Data Table Overflow",
         "Leser: \xDC"
         "berlauf in Tabelle"},
        {0xF8, "Reader: Internal process cancelled", "Leser: Interner Prozess beendet"},
    };
    char text[69];
    for (const auto& c : cases) {
        ASSERT_EQ(VKKRN_SetReaderPara(0, "LANGUAGE", "9"), 0);
        EXPECT_EQ(VKKRN_GetStatusText(c.status, text), 0);
        EXPECT_STREQ(text, c.english);
        ASSERT_EQ(VKKRN_SetReaderPara(0, "LANGUAGE", "7"), 0);
        EXPECT_EQ(VKKRN_GetStatusText(c.status, text), 0);
        EXPECT_STREQ(text, c.german);
    }
}

TEST(StatusTexts, BytesWithoutATextNameThemselves) {
    char text[69];
    EXPECT_EQ(VKKRN_GetStatusText(0x09, text), -4033);
    EXPECT_STREQ(text, "VKKRN: Unknown Statusbyte (0x09)");
    EXPECT_EQ(VKKRN_GetStatusText(0xF9, text), -4033);
    EXPECT_STREQ(text, "VKKRN: Unknown Statusbyte (0xF9)");
    EXPECT_EQ(VKKRN_GetStatusText(0xFF, text), -4033);
    ASSERT_EQ(VKKRN_SetReaderPara(0, "LANGUAGE", "7"), 0);
    EXPECT_EQ(VKKRN_GetStatusText(0xF9, text), -4033);
    EXPECT_STREQ(text, "VKKRN: Unbekanntes Status Byte (0xF9)");
    EXPECT_EQ(VKKRN_GetStatusText(0x00, nullptr), -4002);
}

// Every text of both tables fits 69 bytes and is ISO 8859-1: no byte of a UTF-8
// sequence, no control character.
TEST(StatusTexts, EveryTextIsLatin1AndFits) {
    int withText = 0;
    for (const char* language : {"9", "7"}) {
        ASSERT_EQ(VKKRN_SetReaderPara(0, "LANGUAGE", language), 0);
        for (int status = 0; status < 256; ++status) {
            char text[128];
            std::memset(text, 0x7F, sizeof text);
            const int rc = VKKRN_GetStatusText(static_cast<unsigned char>(status), text);
            ASSERT_TRUE(rc == 0 || rc == -4033) << status;
            if (rc == 0) ++withText;
            const std::size_t length = std::strlen(text);
            EXPECT_LE(length, 68u) << status;
            for (std::size_t i = 0; i < length; ++i) {
                const auto c = static_cast<unsigned char>(text[i]);
                EXPECT_TRUE((c >= 0x20 && c < 0x7F) || c == 0xC4 || c == 0xD6 || c == 0xDC || c == 0xE4 ||
                            c == 0xF6 || c == 0xFC || c == 0xDF)
                    << status << " byte " << i << " " << int(c);
            }
        }
    }
    EXPECT_EQ(withText, 2 * 49);
}

} // namespace
