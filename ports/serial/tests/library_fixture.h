// Fixtures of the library tests. PortTest drives the library through a table of
// its functions and closes the ports a test left open; LibraryTest fills the
// table from libvkcom.so loaded by file name, as its callers do, and unloads it
// afterwards.
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

class PortTest : public ::testing::Test {
  protected:
    // Binds `api`; a failure fails the test.
    virtual void bind() = 0;
    virtual void unbind() {}
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

    // Forgets the ports still open (the library was unloaded).
    void forgetPorts() { opened_.clear(); }

    VizerApi api;

  private:
    std::vector<int> opened_;
};

class LibraryTest : public PortTest {
  protected:
    void bind() override;
    void unbind() override;
    // Unloads the library now; false if it stayed loaded.
    bool unload();

    void* library = nullptr;
};

} // namespace vkcom_test

#endif
