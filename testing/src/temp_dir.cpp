#include <vktesting/temp_dir.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace vktesting {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vktest-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempDirTest::SetUp() {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
}

void TempDirTest::TearDown() {
    std::filesystem::current_path(previous_);
}

void TempDirTest::writeFile(const std::string& name, const std::string& content) const {
    std::ofstream out(dir_.path() / name, std::ios::binary);
    out << content;
}

std::string TempDirTest::readFile(const std::string& name) const {
    std::ifstream in(dir_.path() / name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace vktesting
