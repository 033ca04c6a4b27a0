// A reader on a port of the real port library to a simulated reader, through
// the exports of libvkkrn.so: loopback TCP or a pseudo-terminal by the test's
// parameter, a reply time-out of 3 s.
#ifndef VKKRN_TESTS_SIM_READER_TEST_H
#define VKKRN_TESTS_SIM_READER_TEST_H

#include "sim_link.h"

#include <vkkrn.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

// "%02X" per byte.
inline std::string hexText(const krnsim::Bytes& bytes) {
    std::string text;
    for (const std::uint8_t b : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    return text;
}

class SimReaderTest : public vktesting::TempDirTest, public ::testing::WithParamInterface<LinkKind> {
  protected:
    void SetUp() override {
        vktesting::TempDirTest::SetUp();
        link_ = std::make_unique<SimLink>(GetParam());
        reader_ = VKKRN_NewReader(link_->handle);
        ASSERT_GT(reader_, 0);
        ASSERT_EQ(setPort("Timeout", "3000"), 0);
    }
    void TearDown() override {
        if (reader_ > 0) VKKRN_DeleteReader(reader_);
        link_.reset();
        vktesting::TempDirTest::TearDown();
    }

    int setPort(const char* key, const char* value) {
        std::string k = key;
        std::string v = value;
        return VKKRN_PI_SetPortPara(reader_, k.data(), v.data());
    }
    int setReader(const char* key, const char* value) { return VKKRN_SetReaderPara(reader_, key, value); }
    // The reader's own last error.
    int lastError() {
        int code = 1;
        char text[256];
        VKKRN_GetLastError(reader_, &code, text);
        return code;
    }
    krnsim::Reader& sim() { return link_->sim.reader(); }

    std::unique_ptr<SimLink> link_;
    int reader_ = 0;
};

#endif
