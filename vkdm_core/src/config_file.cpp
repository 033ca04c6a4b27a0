#include "config_file.h"

#include "codes.h"
#include "data_memory.h"
#include "hex.h"

#include <array>
#include <fstream>
#include <sstream>

namespace vkdm {

namespace {

constexpr std::size_t kMaxFileSize = 64 * 1024;
constexpr const char* kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
constexpr const char* kOpen = "<VkdmConfiguration version=\"1\">";
constexpr const char* kClose = "</VkdmConfiguration>";
constexpr const char* kBlockOpen = "<Block address=\"";
constexpr const char* kBlockClose = "</Block>";

// Skips blanks, tabs, CR and LF.
void skipSpace(const std::string& text, std::size_t& pos) {
    while (pos < text.size() &&
           (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n'))
        ++pos;
}

bool expect(const std::string& text, std::size_t& pos, const char* word) {
    const std::string w(word);
    if (text.compare(pos, w.size(), w) != 0) return false;
    pos += w.size();
    return true;
}

} // namespace

int parseConfigText(const std::string& text, std::vector<std::uint8_t>& image) {
    if (image.size() != static_cast<std::size_t>(kImageBlocks * kBlockSize)) return kBadFile;
    std::size_t pos = 0;
    skipSpace(text, pos);
    if (!expect(text, pos, kHead)) return kBadFile;
    skipSpace(text, pos);
    if (!expect(text, pos, kOpen)) return kBadFile;
    std::array<bool, kImageBlocks> seen{};
    while (true) {
        skipSpace(text, pos);
        if (expect(text, pos, kClose)) break;
        if (!expect(text, pos, kBlockOpen)) return kBadFile;
        int address = 0;
        int digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
            address = address * 10 + (text[pos++] - '0');
            ++digits;
        }
        if (digits == 0 || address >= kImageBlocks || seen[static_cast<std::size_t>(address)])
            return kBadFile;
        if (!expect(text, pos, "\">")) return kBadFile;
        std::vector<std::uint8_t> block;
        if (text.size() - pos < 2 * kBlockSize || hexBytes(text.data() + pos, 2 * kBlockSize, block) < 0)
            return kBadFile;
        pos += 2 * kBlockSize;
        if (!expect(text, pos, kBlockClose)) return kBadFile;
        seen[static_cast<std::size_t>(address)] = true;
        std::copy(block.begin(), block.end(), image.begin() + address * kBlockSize);
    }
    skipSpace(text, pos);
    return pos == text.size() ? 0 : kBadFile;
}

int loadConfigFile(const char* path, std::vector<std::uint8_t>& image) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return kFileNotRead;
    std::string text;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxFileSize) return kBadFile;
    }
    if (in.bad()) return kFileNotRead;
    std::vector<std::uint8_t> copy = image;
    if (int rc = parseConfigText(text, copy); rc < 0) return rc;
    image = std::move(copy);
    return 0;
}

int storeConfigFile(const char* path, const std::vector<std::uint8_t>& image) {
    std::ostringstream out;
    out << kHead << "\n" << kOpen << "\n";
    for (int b = 0; b < kImageBlocks && static_cast<std::size_t>((b + 1) * kBlockSize) <= image.size(); ++b) {
        out << "  " << kBlockOpen << b << "\">" << hexText(image.data() + b * kBlockSize, kBlockSize)
            << kBlockClose << "\n";
    }
    out << kClose << "\n";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return kFileNotWritten;
    const std::string text = out.str();
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    return file ? 0 : kFileNotWritten;
}

} // namespace vkdm
