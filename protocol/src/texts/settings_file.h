// The settings file "vkkrn.ini": switches and level of the protocol log, read
// from the working directory whenever a reader is made. Never written.
#ifndef VKKRN_SETTINGS_FILE_H
#define VKKRN_SETTINGS_FILE_H

#include <cstddef>

namespace vkkrn {

inline constexpr std::size_t kSettingsReadLimit = 1024;

struct ReaderSettings {
    bool logFile = false;     // "logfile" anywhere (also within "nologfile")
    bool noTimestamp = false; // "log_notimestamp" anywhere
    int logLevel = 1;         // the number after "loglevel", split at '=' and ';'
};

// Parses the first `length` bytes (at most kSettingsReadLimit are looked at) as
// text: the search ends at the first NUL byte. Keys are found by case-sensitive
// substring.
ReaderSettings parseReaderSettings(const char* bytes, std::size_t length);

// Reads "vkkrn.ini" from the working directory. A file that cannot be opened for
// reading and writing, or is empty, gives the defaults.
ReaderSettings readReaderSettings();

} // namespace vkkrn

#endif
