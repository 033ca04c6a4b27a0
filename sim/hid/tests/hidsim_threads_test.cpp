// Two threads, each with its own device, write and read at the same time while a
// third reads the record: the simulator's one mutex keeps them apart.
#include <hidsim/hidsim.h>

#include <hidapi/hidapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class Echo : public hidsim::Model {
  public:
    std::vector<hidsim::Report> output(std::span<const std::uint8_t> report, std::size_t) override {
        return {hidsim::Report(report.begin(), report.end())};
    }
};

TEST(HidsimThreads, DevicesOnTwoThreads) {
    hidsim::reset();
    for (std::uint16_t product : {1, 2}) {
        hidsim::DeviceProfile p;
        p.vendor = 0x1234;
        p.product = product;
        p.numberedReports = true;
        hidsim::plug(p, std::make_shared<Echo>());
    }
    std::atomic<int> failures{0};
    auto run = [&failures](std::uint16_t product) {
        hid_device* dev = hid_open(0x1234, product, nullptr);
        if (dev == nullptr) {
            ++failures;
            return;
        }
        for (int i = 0; i < 200; ++i) {
            unsigned char out[4] = {1, static_cast<unsigned char>(product), static_cast<unsigned char>(i), 0};
            unsigned char in[4] = {};
            if (hid_write(dev, out, 4) != 4 || hid_read_timeout(dev, in, 4, 10) != 4 || in[1] != product ||
                in[2] != out[2])
                ++failures;
        }
        hid_close(dev);
    };
    std::atomic<bool> done{false};
    std::thread reader([&done] {
        while (!done)
            (void)hidsim::calls(hidsim::Fn::Write).size();
    });
    std::thread a(run, 1), b(run, 2);
    a.join();
    b.join();
    done = true;
    reader.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(hidsim::calls(hidsim::Fn::Write).size(), 400u);
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
    EXPECT_TRUE(hidsim::violations().empty());
}

} // namespace
