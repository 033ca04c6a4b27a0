#include "java_text.h"

#include <cstdint>
#include <optional>

namespace nubokrn4j {

namespace {

bool continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

void appendThreeBytes(std::string& out, std::uint32_t unit) {
    out.push_back(static_cast<char>(0xE0 | (unit >> 12)));
    out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
}

// The modified UTF-8 form of a text that is valid UTF-8 or modified UTF-8
// (lone surrogates and C0 80 included, as the JVM accepts them); nothing for
// any other bytes.
std::optional<std::string> fromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t left = text.size() - i;
        auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        if (c >= 0x01 && c <= 0x7F) {
            out.push_back(static_cast<char>(c));
            i += 1;
        } else if (c == 0xC0 && left >= 2 && at(1) == 0x80) {
            out.append(text.substr(i, 2));
            i += 2;
        } else if (c >= 0xC2 && c <= 0xDF && left >= 2 && continuation(at(1))) {
            out.append(text.substr(i, 2));
            i += 2;
        } else if (c >= 0xE0 && c <= 0xEF && left >= 3 && continuation(at(1)) && continuation(at(2))) {
            if (c == 0xE0 && at(1) < 0xA0) return std::nullopt; // overlong
            out.append(text.substr(i, 3));
            i += 3;
        } else if (c >= 0xF0 && c <= 0xF4 && left >= 4 && continuation(at(1)) && continuation(at(2)) &&
                   continuation(at(3))) {
            if ((c == 0xF0 && at(1) < 0x90) || (c == 0xF4 && at(1) > 0x8F)) return std::nullopt;
            const std::uint32_t code =
                ((c & 0x07u) << 18) | ((at(1) & 0x3Fu) << 12) | ((at(2) & 0x3Fu) << 6) | (at(3) & 0x3Fu);
            const std::uint32_t v = code - 0x10000;
            appendThreeBytes(out, 0xD800 | (v >> 10));
            appendThreeBytes(out, 0xDC00 | (v & 0x3FF));
            i += 4;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::string fromLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x01 && c <= 0x7F) {
            out.push_back(ch);
        } else { // U+0000 (never in a C text) and U+0080 to U+00FF take two bytes
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

} // namespace

std::string toModifiedUtf8(std::string_view text) {
    if (auto utf8 = fromUtf8(text)) return *utf8;
    return fromLatin1(text);
}

jstring newJavaString(JNIEnv* env, std::string_view text) {
    const std::string converted = toModifiedUtf8(text);
    jstring string = env->NewStringUTF(converted.c_str());
    if (env->ExceptionCheck()) return nullptr;
    return string;
}

jstring newJavaString(JNIEnv* env, const char* text) {
    if (text == nullptr) return nullptr;
    return newJavaString(env, std::string_view(text));
}

} // namespace nubokrn4j
