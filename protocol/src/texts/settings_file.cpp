#include "texts/settings_file.h"

#include <vkcommon/param_text.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace vkkrn {

namespace {

bool isDelimiter(char c) {
    return c == '=' || c == ';';
}

// The log level from the text that starts at "loglevel": the second token when
// the text is cut at '=' and ';' (empty tokens skipped), read as a decimal int.
// No second token, no digits or a number outside int leave 1.
int readLogLevel(const char* text) {
    const char* p = text;
    for (int token = 0; token < 2; ++token) {
        while (isDelimiter(*p))
            ++p;
        if (*p == '\0') return 1;
        if (token == 1) break;
        while (*p != '\0' && !isDelimiter(*p))
            ++p;
    }
    // The token ends at the next delimiter; the digits end before it anyway.
    const vk::ParsedNumber number = vk::parseDecimal(p);
    if (!number.hasDigits || number.value < INT_MIN || number.value > INT_MAX) return 1;
    return static_cast<int>(number.value);
}

} // namespace

ReaderSettings parseReaderSettings(const char* bytes, std::size_t length) {
    ReaderSettings settings;
    if (bytes == nullptr) return settings;
    char text[kSettingsReadLimit + 1];
    const std::size_t n = length < kSettingsReadLimit ? length : kSettingsReadLimit;
    std::memcpy(text, bytes, n);
    text[n] = '\0';
    settings.logFile = std::strstr(text, "logfile") != nullptr;
    settings.noTimestamp = std::strstr(text, "log_notimestamp") != nullptr;
    if (const char* level = std::strstr(text, "loglevel")) settings.logLevel = readLogLevel(level);
    return settings;
}

ReaderSettings readReaderSettings() {
    // Opened for update, as the text-mode "r+t" of other platforms: a file this
    // process may not write is ignored.
    std::FILE* file = std::fopen("vkkrn.ini", "r+");
    if (file == nullptr) return {};
    char bytes[kSettingsReadLimit];
    const std::size_t n = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    if (n == 0) return {};
    return parseReaderSettings(bytes, n);
}

} // namespace vkkrn
