#include "reader_fixture.h"

#include "rf_reader_base.h"

namespace kestoreader_test {

std::vector<hidsim::Report> ScriptedDongle::output(std::span<const std::uint8_t> report, std::size_t unread) {
    std::vector<hidsim::Report> answers = firmware.output(report, unread);
    if (++seen_ == nth_ && !answers.empty()) answers.front()[1] = code_;
    return answers;
}

void ScriptedDongle::answerCode(int nth, std::uint8_t code) {
    seen_ = 0;
    nth_ = nth;
    code_ = code;
}

void ReaderTest::SetUp() {
    TempDirTest::SetUp();
    hidsim::reset();
}

void ReaderTest::TearDown() {
    vemlasdknative::natives::disconnect();
    EXPECT_EQ(vemlasdknative::handle, nullptr);
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
    std::vector<std::string> violations = hidsim::violations();
    EXPECT_TRUE(violations.empty()) << violations.front();
    if (dongle) {
        violations = dongle->firmware.violations();
        EXPECT_TRUE(violations.empty()) << violations.front();
    }
    TempDirTest::TearDown();
}

void ReaderTest::plugDongle() {
    dongle = std::make_shared<ScriptedDongle>();
    device = hidsim::plug(qm30sim::qm30Profile(), dongle);
    hidsim::clearCalls();
}

void ReaderTest::connectDongle() {
    plugDongle();
    ASSERT_TRUE(vemlasdknative::natives::connect());
    hidsim::clearCalls();
}

std::vector<std::string> ReaderTest::written(std::size_t n) const {
    std::vector<std::string> out;
    for (const hidsim::Traffic& t : hidsim::traffic(device))
        if (t.out) out.push_back(hexHead(t.bytes, n));
    return out;
}

} // namespace kestoreader_test
