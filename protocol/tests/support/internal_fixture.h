// Fixture of the tests that reach the library's internals: each test runs in its
// own working directory and leaves no reader behind.
#ifndef VKKRN_TESTS_INTERNAL_FIXTURE_H
#define VKKRN_TESTS_INTERNAL_FIXTURE_H

#include "reader/reader.h"
#include "registry/drv_hnd.h"

#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <memory>

class InternalTest : public vktesting::TempDirTest {
  protected:
    void TearDown() override {
        g_LibVkKrnDrvHnd.DeleteAllReaders();
        g_LibVkKrnDrvHnd.SetLanguage(9);
        vktesting::TempDirTest::TearDown();
    }

    // A new reader on `portHnd` and its object.
    std::shared_ptr<VKKRNReader> newReader(int portHnd, int* handle = nullptr) {
        const int h = VKKRN_NewReader(portHnd);
        EXPECT_GT(h, 0);
        if (handle != nullptr) *handle = h;
        return g_LibVkKrnDrvHnd.SearchReader(h);
    }

    int libraryLastError() const { return g_LibVkKrnDrvHnd.GetLastError(); }
};

#endif
