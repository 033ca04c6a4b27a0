#include "dongle_fixture.h"

namespace kestoreader_test {

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string hexHead(const hidsim::Report& report, std::size_t n) {
    return hex({report.begin(), report.begin() + static_cast<std::ptrdiff_t>(std::min(n, report.size()))});
}

std::vector<std::uint8_t> frameBytes(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

std::string frameText(std::size_t n) {
    return hex(frameBytes(n));
}

void DongleTest::SetUp() {
    hidsim::reset();
    model = std::make_shared<qm30sim::Qm30Model>();
    device = qm30sim::plugQm30(model);
}

void DongleTest::TearDown() {
    manager.reset();
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
    EXPECT_TRUE(hidsim::violations().empty()) << hidsim::violations().front();
    if (!modelViolationsExpected) {
        std::vector<std::string> broken = model->violations();
        EXPECT_TRUE(broken.empty()) << broken.front();
    }
}

HidManager* DongleTest::connect() {
    manager = std::make_unique<HidManager>();
    EXPECT_EQ(QM30DLL_USBconnect(manager.get()), 0);
    hidsim::clearCalls();
    return manager.get();
}

std::vector<hidsim::Report> DongleTest::written() const {
    std::vector<hidsim::Report> out;
    for (const hidsim::Traffic& t : hidsim::traffic(device))
        if (t.out) out.push_back(t.bytes);
    return out;
}

} // namespace kestoreader_test
