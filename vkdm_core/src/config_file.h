// The configuration file: the image as XML of our own form (README).
#ifndef VKDM_CONFIG_FILE_H
#define VKDM_CONFIG_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace vkdm {

// Writes the image; 0 or kFileNotWritten.
int storeConfigFile(const char* path, const std::vector<std::uint8_t>& image);
// Reads a file into `image` (a copy the caller keeps only on 0); 0,
// kFileNotRead or kBadFile.
int loadConfigFile(const char* path, std::vector<std::uint8_t>& image);
// Parses the file's text into `image`, which holds the blocks not named.
int parseConfigText(const std::string& text, std::vector<std::uint8_t>& image);

} // namespace vkdm

#endif
