// Appending one line to the protocol log file.
#ifndef VKKRN_LOG_FILE_H
#define VKKRN_LOG_FILE_H

#include <cstddef>

namespace vkkrn {

// Opens `fileName` (relative names from the working directory) for appending,
// writes the line and "\r\n", and closes it. A file that cannot be opened loses
// the line silently.
void appendLogLine(const char* fileName, const char* line, std::size_t length);

} // namespace vkkrn

#endif
