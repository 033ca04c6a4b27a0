// C text to the modified UTF-8 that NewStringUTF takes.
#include "java_text.h"

#include <gtest/gtest.h>

namespace {

TEST(JavaText, ValidTextPassesOtherBytesAreIso88591) {
    struct Row {
        const char* name;
        std::string in;
        std::string out;
    };
    const Row rows[] = {
        {"ascii", "Error -118", "Error -118"},
        {"empty", "", ""},
        {"utf8 umlauts",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {"three-byte", "\xE2\x82\xAC", "\xE2\x82\xAC"},
        {"four-byte becomes a surrogate pair", "a\xF0\x9F\x98\x80", "a\xED\xA0\xBD\xED\xB8\x80"},
        {"modified NUL", "a\xC0\x80z", "a\xC0\x80z"},
        {"lone surrogate as the JVM takes it", "\xED\xA0\x80", "\xED\xA0\x80"},
        {"latin-1 umlauts",
         "Gr\xFC\xDF"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {"truncated sequence", "x\xC3", "x\xC3\x83"},
        {"overlong three-byte", "\xE0\x80\x80", "\xC3\xA0\xC2\x80\xC2\x80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
        {"mixed: the whole text as ISO 8859-1", "\xC3\xBC\xFC", "\xC3\x83\xC2\xBC\xC3\xBC"},
        {"continuation alone", "\x80", "\xC2\x80"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(nubokrn4j::toModifiedUtf8(row.in), row.out) << row.name;
}

} // namespace
