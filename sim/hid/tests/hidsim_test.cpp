// The simulated hidapi through the real hidapi header: the registry, report
// forms, unplug, faults, records and counters.
#include <hidsim/hidsim.h>

#include <hidapi/hidapi.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Answers every output report with the same bytes, reversed, in two reports.
class MirrorModel : public hidsim::Model {
  public:
    std::vector<hidsim::Report> output(std::span<const std::uint8_t> report, std::size_t unread) override {
        seen.emplace_back(report.begin(), report.end());
        unreadSeen.push_back(unread);
        hidsim::Report back(report.rbegin(), report.rend());
        return {back, {0xEE}};
    }
    std::vector<hidsim::Report> seen;
    std::vector<std::size_t> unreadSeen;
};

hidsim::DeviceProfile profile(std::uint16_t product, bool numbered) {
    hidsim::DeviceProfile p;
    p.vendor = 0x1234;
    p.product = product;
    p.manufacturer = L"Maker";
    p.productName = L"Thing";
    p.serial = L"0001";
    p.numberedReports = numbered;
    return p;
}

class HidsimTest : public ::testing::Test {
  protected:
    void SetUp() override { hidsim::reset(); }
    void TearDown() override {
        EXPECT_EQ(hidsim::counters().liveHandles, 0);
        EXPECT_EQ(hidsim::counters().enumerations, 0);
        EXPECT_TRUE(hidsim::violations().empty());
    }
};

TEST_F(HidsimTest, EnumeratesInPlugOrderAndOpensByIdsOrPath) {
    int first = hidsim::plug(profile(0x10, false), nullptr);
    int second = hidsim::plug(profile(0x20, false), nullptr);
    hidsim::plug(profile(0x30, false), nullptr);
    hidsim::unplug(3);
    EXPECT_EQ(hidsim::path(first), "/dev/hidraw0");
    EXPECT_EQ(hidsim::path(second), "/dev/hidraw1");

    hid_device_info* list = hid_enumerate(0x1234, 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->product_id, 0x10);
    EXPECT_STREQ(list->path, "/dev/hidraw0");
    EXPECT_STREQ(list->manufacturer_string, L"Maker");
    ASSERT_NE(list->next, nullptr);
    EXPECT_EQ(list->next->product_id, 0x20);
    EXPECT_EQ(list->next->next, nullptr);
    hid_free_enumeration(list);
    EXPECT_EQ(hid_enumerate(0x9999, 0), nullptr);

    hid_device* byIds = hid_open(0x1234, 0x20, nullptr);
    ASSERT_NE(byIds, nullptr);
    hid_device* byPath = hid_open_path("/dev/hidraw0");
    ASSERT_NE(byPath, nullptr);
    EXPECT_EQ(hid_open(0x1234, 0x30, nullptr), nullptr); // unplugged
    EXPECT_EQ(hid_open(0x1234, 0x10, L"other"), nullptr);
    EXPECT_EQ(hid_open_path("/dev/hidraw9"), nullptr);
    EXPECT_EQ(hid_get_device_info(byPath)->product_id, 0x10);
    EXPECT_EQ(hidsim::counters().openAttempts, 5);
    EXPECT_EQ(hidsim::counters().opens, 2);
    EXPECT_EQ(hidsim::counters().liveHandles, 2);
    std::vector<hidsim::Call> opens = hidsim::calls(hidsim::Fn::Open);
    ASSERT_EQ(opens.size(), 5u);
    EXPECT_EQ(opens[0].device, second);
    EXPECT_EQ(opens[1].path, "/dev/hidraw0");
    hid_close(byIds);
    hid_close(byPath);
    EXPECT_EQ(hidsim::counters().closes, 2);
}

TEST_F(HidsimTest, NumberedAndUnnumberedReportsReachTheModelAsTheDeviceSeesThem) {
    auto numberedModel = std::make_shared<MirrorModel>();
    auto plainModel = std::make_shared<MirrorModel>();
    int numbered = hidsim::plug(profile(1, true), numberedModel);
    int plain = hidsim::plug(profile(2, false), plainModel);
    hid_device* a = hid_open(0x1234, 1, nullptr);
    hid_device* b = hid_open(0x1234, 2, nullptr);
    const unsigned char reportA[] = {2, 0xA0, 0xA1};
    const unsigned char reportB[] = {0, 0xB0, 0xB1};
    EXPECT_EQ(hid_write(a, reportA, 3), 3);
    EXPECT_EQ(hid_write(b, reportB, 3), 3);
    EXPECT_EQ(numberedModel->seen.at(0), (hidsim::Report{2, 0xA0, 0xA1}));
    EXPECT_EQ(plainModel->seen.at(0), (hidsim::Report{0xB0, 0xB1}));
    EXPECT_EQ(hidsim::unread(numbered), 2u);

    unsigned char in[8] = {};
    EXPECT_EQ(hid_read_timeout(a, in, sizeof in, 50), 3);
    EXPECT_EQ(in[0], 0xA1);
    EXPECT_EQ(hid_read_timeout(a, in, sizeof in, 50), 1);
    EXPECT_EQ(in[0], 0xEE);
    EXPECT_EQ(hid_read_timeout(b, in, 1, 50), 1); // a short buffer truncates the report
    EXPECT_EQ(in[0], 0xB1);
    EXPECT_EQ(hid_write(b, reportB, 3), 3);
    EXPECT_EQ(plainModel->unreadSeen.at(1), 1u);

    std::vector<hidsim::Traffic> wire = hidsim::traffic(numbered);
    ASSERT_EQ(wire.size(), 3u);
    EXPECT_TRUE(wire[0].out);
    EXPECT_FALSE(wire[1].out);
    EXPECT_EQ(wire[1].bytes, (hidsim::Report{0xA1, 0xA0, 2}));
    EXPECT_EQ(hidsim::traffic(plain).size(), 3u);
    hid_close(a);
    hid_close(b);
}

TEST_F(HidsimTest, AReportIdOnAnUnnumberedDeviceIsAViolation) {
    hidsim::plug(profile(2, false), nullptr);
    hid_device* dev = hid_open(0x1234, 2, nullptr);
    const unsigned char report[] = {5, 1};
    EXPECT_EQ(hid_write(dev, report, 2), 2);
    EXPECT_EQ(hidsim::violations().size(), 1u);
    hid_close(dev);
    hidsim::reset();
}

TEST_F(HidsimTest, ReadsWithNothingQueuedReturnAtOnceAndABlockingOneIsAViolation) {
    hidsim::plug(profile(1, true), nullptr);
    hid_device* dev = hid_open(0x1234, 1, nullptr);
    unsigned char in[4];
    EXPECT_EQ(hid_read_timeout(dev, in, 4, 3000), 0);
    EXPECT_EQ(hid_set_nonblocking(dev, 1), 0);
    EXPECT_EQ(hid_read(dev, in, 4), 0);
    EXPECT_TRUE(hidsim::violations().empty());
    EXPECT_EQ(hid_set_nonblocking(dev, 0), 0);
    EXPECT_EQ(hid_read(dev, in, 4), -1);
    std::vector<hidsim::Call> reads = hidsim::calls(hidsim::Fn::Read);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].timeout, 3000);
    EXPECT_EQ(reads[1].timeout, 0);
    EXPECT_EQ(reads[2].timeout, -1);
    EXPECT_EQ(hidsim::counters().blockingSets, 1);
    EXPECT_EQ(hidsim::counters().nonblockingSets, 1);
    EXPECT_EQ(hidsim::violations().size(), 1u);
    hid_close(dev);
    hidsim::reset();
}

TEST_F(HidsimTest, UnplugFailsEveryCallOnAnOpenHandleUntilClosed) {
    auto model = std::make_shared<MirrorModel>();
    int id = hidsim::plug(profile(1, true), model);
    hid_device* dev = hid_open(0x1234, 1, nullptr);
    hidsim::queueInput(id, {1, 2});
    hidsim::unplug(id);
    unsigned char buf[8] = {1};
    wchar_t text[16];
    EXPECT_EQ(hid_write(dev, buf, 8), -1);
    EXPECT_EQ(hid_read_timeout(dev, buf, 8, 10), -1);
    EXPECT_EQ(hid_set_nonblocking(dev, 0), -1);
    EXPECT_EQ(hid_get_manufacturer_string(dev, text, 16), -1);
    EXPECT_EQ(hid_get_device_info(dev), nullptr);
    EXPECT_STRNE(hid_error(dev), L"Success");
    EXPECT_TRUE(model->seen.empty());
    EXPECT_EQ(hid_enumerate(0, 0), nullptr);
    hid_close(dev);
}

TEST_F(HidsimTest, FaultsStrikeTheNthCall) {
    auto model = std::make_shared<MirrorModel>();
    int id = hidsim::plug(profile(1, true), model);
    hidsim::failNth(hidsim::Fn::Open, 1);
    EXPECT_EQ(hid_open(0x1234, 1, nullptr), nullptr);
    hid_device* dev = hid_open(0x1234, 1, nullptr);
    ASSERT_NE(dev, nullptr);

    const unsigned char report[] = {1, 2, 3, 4};
    hidsim::failNth(hidsim::Fn::Write, 2, 2);
    EXPECT_EQ(hid_write(dev, report, 4), 4);
    EXPECT_EQ(hid_write(dev, report, 4), 2); // short write: the device saw nothing
    EXPECT_EQ(model->seen.size(), 1u);

    unsigned char in[8];
    hidsim::failNth(hidsim::Fn::Read, 1);
    hidsim::shortRead(2, 2);
    EXPECT_EQ(hid_read_timeout(dev, in, 8, 10), -1);
    EXPECT_EQ(hid_read_timeout(dev, in, 8, 10), 2);
    EXPECT_EQ(hid_read_timeout(dev, in, 8, 10), 1); // the model's second report
    EXPECT_EQ(hid_read_timeout(dev, in, 8, 10), 0);

    hidsim::setSilent(id, true);
    EXPECT_EQ(hid_write(dev, report, 4), 4);
    EXPECT_EQ(model->seen.size(), 2u);
    EXPECT_EQ(hidsim::unread(id), 0u);
    hidsim::queueInput(id, {7});
    EXPECT_EQ(hid_read_timeout(dev, in, 8, 10), 1);
    EXPECT_EQ(in[0], 7);

    hidsim::failNth(hidsim::Fn::Init, 1);
    EXPECT_EQ(hid_init(), -1);
    EXPECT_EQ(hid_init(), 0);
    EXPECT_EQ(hidsim::counters().inits, 1);
    hid_close(dev);
}

TEST_F(HidsimTest, TheRawQueueIsServedAheadOfTheModel) {
    auto model = std::make_shared<MirrorModel>();
    int id = hidsim::plug(profile(1, true), model);
    hid_device* dev = hid_open(0x1234, 1, nullptr);
    const unsigned char report[] = {1, 9};
    hid_write(dev, report, 2);
    hidsim::queueInput(id, {0x42});
    unsigned char in[4];
    EXPECT_EQ(hid_read_timeout(dev, in, 4, 10), 1);
    EXPECT_EQ(in[0], 0x42);
    EXPECT_EQ(hid_read_timeout(dev, in, 4, 10), 2);
    EXPECT_EQ(in[0], 9);
    hid_close(dev);
}

TEST_F(HidsimTest, StringsAreCutToTheRoomGivenAndCounted) {
    int id = hidsim::plug(profile(1, true), nullptr);
    hid_device* dev = hid_open(0x1234, 1, nullptr);
    wchar_t text[4];
    EXPECT_EQ(hid_get_manufacturer_string(dev, text, 4), 0);
    EXPECT_STREQ(text, L"Mak");
    hidsim::setManufacturer(id, L"Other");
    EXPECT_EQ(hid_get_manufacturer_string(dev, text, 4), 0);
    EXPECT_STREQ(text, L"Oth");
    EXPECT_EQ(hid_get_manufacturer_string(dev, text, 0), -1);
    EXPECT_EQ(hid_get_serial_number_string(dev, text, 4), 0);
    EXPECT_STREQ(text, L"000");
    EXPECT_EQ(hidsim::counters().manufacturerReads, 3);
    EXPECT_EQ(hid_send_feature_report(dev, nullptr, 0), -1);
    hid_close(dev);
    hid_close(nullptr);
    EXPECT_EQ(hid_exit(), 0);
    EXPECT_EQ(hidsim::counters().exits, 1);
}

} // namespace
