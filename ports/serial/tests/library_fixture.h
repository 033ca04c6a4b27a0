// Fixture of the black-box tests: loads libvkcom.so by file name, as its callers
// do, and unloads it afterwards, closing the ports a test left open.
#ifndef VKCOM_TESTS_LIBRARY_FIXTURE_H
#define VKCOM_TESTS_LIBRARY_FIXTURE_H

#include "pty_lines.h"
#include "vizer_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vkcom_test {

using Bytes = std::vector<std::uint8_t>;

class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the port named by `text`; remembers a handle for closing.
    int open(const std::string& text);
    // Opens line `index` of `lines` and sets TIMEOUT to `timeoutMs`.
    int openLine(PtyLines& lines, int index, int timeoutMs = 2000);
    int close(int handle);
    int set(int handle, const char* key, const char* value) { return api.setText(handle, key, value); }
    std::string get(int handle, const char* key, int* result = nullptr) {
        return api.get(handle, key, result);
    }
    int command(int handle, const char* name, std::string value = "");
    int transceive(int handle, Bytes request, Bytes& reply, int replySize);
    int receive(int handle, Bytes& reply, int replySize);

    void* library = nullptr;
    VizerApi api;

  private:
    std::vector<int> opened_;
};

} // namespace vkcom_test

#endif
