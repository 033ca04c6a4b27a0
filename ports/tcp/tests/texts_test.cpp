// Every code's text in both languages, byte for byte, and the unknown-code text.
#include "tcp_api.h"

#include <cstring>

namespace {

using vktcp_test::tcp;

struct TextCase {
    int code;
    const char* english;
    const char* german;
};

// The German sharp s is UTF-8 C3 9F; umlauts are written ae, oe, ue.
const TextCase kTexts[] = {
    {0, "VKTCP: OK", "VKTCP: OK"},
    {-1200, "VKTCP: (-1200) error while creating new socket object",
     "VKTCP: (-1200) Fehler beim Erzeugen eines neuen Socket-Objektes"},
    {-1201, "VKTCP: (-1201) empty socket list", "VKTCP: (-1201) Leere Socketliste"},
    {-1202, "VKTCP: (-1202) pointer is NULL", "VKTCP: (-1202) Zeiger ist NULL"},
    {-1203, "VKTCP: (-1203) no more memory", "VKTCP: (-1203) Nicht genuegend Programmspeicher"},
    {-1205, "VKTCP: (-1205) server not found", "VKTCP: (-1205) Server nicht gefunden"},
    {-1211, "VKTCP: (-1211) socket open timeout", "VKTCP: (-1211) Timeout beim Oeffnen des Sockets"},
    {-1212, "VKTCP: (-1212) socket number is false", "VKTCP: (-1212) Fehlerhafte Socketnummer"},
    {-1213, "VKTCP: (-1213) error while closing the socket",
     "VKTCP: (-1213) Fehler beim Schlie\xC3\x9F"
     "en der Verbindung"},
    {-1220, "VKTCP: (-1220) unknown socket handle", "VKTCP: (-1220) Unbekannter Socket-Handle"},
    {-1221, "VKTCP: (-1221) socket handle is zero", "VKTCP: (-1221) Socket-Handle ist null"},
    {-1222, "VKTCP: (-1222) socket handle is negativ", "VKTCP: (-1222) Socket-Handle ist negativ"},
    {-1223, "VKTCP: (-1223) no socket handle found", "VKTCP: (-1223) Kein Socket-Handle gefunden"},
    {-1230, "VKTCP: (-1230) receive timeout", "VKTCP: (-1230) Timeout beim Lesen vom Socket"},
    {-1232, "VKTCP: (-1232) error in read process", "VKTCP: (-1232) Fehler im Empfangsprozess"},
    {-1236, "VKTCP: (-1236) error in change socket parameter",
     "VKTCP: (-1236) Fehler beim Aendern eines Socket-Parameters"},
    {-1237, "VKTCP: (-1237) error in transmit process", "VKTCP: (-1237) Fehler im Sendeprozess"},
    {-1238, "VKTCP: (-1238) error while reading the connection state",
     "VKTCP: (-1238) Fehler beim Lesen des Verbindungszustands"},
    {-1250, "VKTCP: (-1250) unknown parameter", "VKTCP: (-1250) Uebergabeparameter ist nicht bekannt"},
    {-1251, "VKTCP: (-1251) parameter out of range",
     "VKTCP: (-1251) Uebergabeparameter ist zu gross oder zu klein"},
    {-1252, "VKTCP: (-1252) odd parameterstring",
     "VKTCP: (-1252) Es wird eine Zeichenkette mit gerader Anzahl Zeichen erwartet"},
    {-1254, "VKTCP: (-1254) unknown error code", "VKTCP: (-1254) Unbekannte Fehlerkonstante"},
    {-1270, "VKTCP: (-1270) Receive Buffer too small", "VKTCP: (-1270) Empfangspuffer zu klein"},
};

// Writes the text of `code` into a buffer between guard bytes; checks the guards.
std::string guardedText(int code, int& result) {
    char buffer[1 + 256 + 2];
    std::memset(buffer, 0x5A, sizeof buffer);
    result = tcp().GetErrorText(code, buffer + 1);
    EXPECT_EQ(buffer[0], 0x5A);
    const std::size_t length = ::strnlen(buffer + 1, 256);
    EXPECT_LT(length, 256u);
    EXPECT_EQ(buffer[1 + length + 1], 0x5A); // nothing written past the terminator
    return std::string(buffer + 1, length);
}

void setLanguage(const char* language) {
    ASSERT_EQ(tcp().SetSocketPara(0, "LANGUAGE", language), 0);
}

TEST(Texts, EveryCodeInBothLanguagesByteForByte) {
    std::size_t longest = 0;
    for (const TextCase& c : kTexts) {
        int result = 1;
        EXPECT_EQ(guardedText(c.code, result), c.english) << c.code;
        EXPECT_EQ(result, 0) << c.code;
        longest = std::max(longest, std::strlen(c.english));
    }
    setLanguage("7");
    for (const TextCase& c : kTexts) {
        int result = 1;
        EXPECT_EQ(guardedText(c.code, result), c.german) << c.code;
        EXPECT_EQ(result, 0) << c.code;
        longest = std::max(longest, std::strlen(c.german));
    }
    EXPECT_EQ(longest, 76u); // a 77-byte buffer holds every text
    setLanguage("9");
    int result = 1;
    EXPECT_EQ(guardedText(-1270, result), "VKTCP: (-1270) Receive Buffer too small");
}

TEST(Texts, UnknownCodesAreFormattedInBothLanguages) {
    struct Case {
        const char* language;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {"9", -1240, "VKTCP: unknown error code: -1240"},
        {"9", 1, "VKTCP: unknown error code: 1"},
        {"9", -2147483647 - 1, "VKTCP: unknown error code: -2147483648"},
        {"7", -1240, "VKTCP: Unbekannte Fehlerkonstante: -1240"},
        {"7", -4000, "VKTCP: Unbekannte Fehlerkonstante: -4000"},
    };
    for (const Case& c : cases) {
        setLanguage(c.language);
        int result = 0;
        EXPECT_EQ(guardedText(c.code, result), c.text);
        EXPECT_EQ(result, -1254);
        EXPECT_STREQ(tcp().errorText, c.text); // the library-wide buffer holds it too
    }
}

TEST(Texts, NullTextIsRefused) {
    EXPECT_EQ(tcp().GetErrorText(0, nullptr), -1202);
}

} // namespace
