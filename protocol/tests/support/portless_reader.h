// Tests through the exports on one portless reader, in a fresh working directory.
#ifndef VKKRN_TESTS_PORTLESS_READER_H
#define VKKRN_TESTS_PORTLESS_READER_H

#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

namespace vkkrn_test {

class PortlessReaderTest : public vktesting::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        reader_ = VKKRN_NewReader(0);
        ASSERT_GT(reader_, 0);
    }

    // The reader's last error code.
    int lastError() {
        int code = 0;
        char text[256];
        VKKRN_GetLastError(reader_, &code, text);
        return code;
    }

    int reader_ = 0;
};

} // namespace vkkrn_test

#endif
