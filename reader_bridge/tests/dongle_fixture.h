// A simulated dongle behind the simulated hidapi, and a manager that talks to
// it through the object library. Each test case runs in its own process, so
// MCUrev starts at its initial value.
#ifndef KESTOREADER_TESTS_DONGLE_FIXTURE_H
#define KESTOREADER_TESTS_DONGLE_FIXTURE_H

#include "hid_manager.h"
#include "qm30_dll.h"

#include <hidsim/hidsim.h>
#include <kestoreader/qm30_dll.h>
#include <qm30sim/qm30_model.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestoreader_test {

using namespace vemlasdknative;

// Upper-case hex of bytes, as the reply texts write them.
std::string hex(const std::vector<std::uint8_t>& bytes);
// The first `n` bytes of a report, as hex.
std::string hexHead(const hidsim::Report& report, std::size_t n);
// n bytes 0, 1, 2, ... (mod 256) as hex text.
std::string frameText(std::size_t n);
std::vector<std::uint8_t> frameBytes(std::size_t n);

class DongleTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A manager with the dongle open, the call record cleared.
    HidManager* connect();
    // Output reports written to the dongle since the record was last cleared.
    std::vector<hidsim::Report> written() const;
    const char* text() const { return reply.data(); }

    std::shared_ptr<qm30sim::Qm30Model> model;
    int device = 0;
    std::unique_ptr<HidManager> manager;
    std::vector<char> reply = std::vector<char>(QM30_REPLY_TEXT_SIZE, 'X');
    bool modelViolationsExpected = false;
};

} // namespace kestoreader_test

#endif
