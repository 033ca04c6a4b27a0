// A fixture that runs each test in a fresh temporary working directory: the
// libraries read and write their files relative to the working directory.
#ifndef VKTESTING_TEMP_DIR_H
#define VKTESTING_TEMP_DIR_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vktesting {

// Creates a directory under the system's temporary directory and removes it,
// with everything in it, on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// Test fixture: changes into a TempDir for the test and back afterwards.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path& workDir() const { return dir_.path(); }
    // Writes `content` to `name` in the working directory.
    void writeFile(const std::string& name, const std::string& content) const;
    // The content of `name` in the working directory ("" when missing).
    std::string readFile(const std::string& name) const;

  private:
    TempDir dir_;
    std::filesystem::path previous_;
};

} // namespace vktesting

#endif
