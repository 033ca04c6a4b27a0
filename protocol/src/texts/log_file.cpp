#include "texts/log_file.h"

#include <cstdio>

namespace vkkrn {

void appendLogLine(const char* fileName, const char* line, std::size_t length) {
    std::FILE* file = std::fopen(fileName, "ab");
    if (file == nullptr) return;
    std::fwrite(line, 1, length, file);
    std::fwrite("\r\n", 1, 2, file);
    std::fclose(file);
}

} // namespace vkkrn
