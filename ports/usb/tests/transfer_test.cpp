// Configuring an opened reader, the transfer set-up (bulk or vendor control
// transfers), exchanges and their failures.
#include "vkusb_fixture.h"

#include <gtest/gtest.h>

#include <libusb-1.0/libusb.h>

#include <numeric>
#include <ostream>
#include <string>
#include <vector>

namespace vkusbtest {
namespace {

constexpr std::uint32_t kId = 0x4711;
using Bytes = std::vector<std::uint8_t>;
using usbsim::Fn;

std::vector<int> endpointsOf(const std::vector<usbsim::Call>& calls) {
    std::vector<int> endpoints;
    for (const auto& call : calls)
        endpoints.push_back(call.endpoint);
    return endpoints;
}

class TransferTest : public VkUsbTest {
  protected:
    // Plugs a reader, scans and opens it.
    int open(const usbsim::ReaderProfile& profile) {
        reader_ = usbsim::plug(profile);
        const int handle = scanAndOpen(kId);
        EXPECT_GT(handle, 0);
        return handle;
    }
    int open() { return open(readerProfile(kId)); }

    int transceive(int handle, const Bytes& tx, Bytes& rx) {
        return api.Transceive(handle, const_cast<char*>(kInterface), 0, const_cast<std::uint8_t*>(tx.data()),
                              static_cast<int>(tx.size()), rx.data(), static_cast<int>(rx.size()));
    }

    int reader_ = 0;
};

// --- Configuration at open ------------------------------------------------------

TEST_F(TransferTest, OnlyAConfigurationOtherThanOneIsSetToOne) {
    int readers[3] = {};
    for (const std::uint8_t value : {1, 2}) {
        usbsim::ReaderProfile profile = readerProfile(kId + value);
        profile.numConfigurations = 2;
        profile.configurationValue = value;
        readers[value] = usbsim::plug(profile);
    }
    ASSERT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    EXPECT_GT(api.OpenDevice(kId + 1), 0);
    EXPECT_GT(api.OpenDevice(kId + 2), 0);
    const auto sets = usbsim::calls(Fn::SetConfiguration);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].reader, readers[2]);
    EXPECT_EQ(sets[0].value, 1);
}

struct ConfigFailure {
    const char* name;
    Fn fn;
    int expected;
};

// Test names carry the case; gtest prints the case by its name too.
void PrintTo(const ConfigFailure& c, std::ostream* os) {
    *os << c.name;
}

class ConfigFailureTest : public TransferTest, public testing::WithParamInterface<ConfigFailure> {};

TEST_P(ConfigFailureTest, AFailedConfigurationClosesAndASecondOpenWorks) {
    usbsim::ReaderProfile profile = readerProfile(kId);
    profile.numConfigurations = 2;
    profile.configurationValue = 2;
    reader_ = usbsim::plug(profile);
    ASSERT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    usbsim::injectResult(reader_, GetParam().fn, 1, LIBUSB_ERROR_IO);
    EXPECT_EQ(api.OpenDevice(kId), GetParam().expected);
    EXPECT_EQ(api.lastError(), GetParam().expected);
    EXPECT_EQ(usbsim::counters().liveHandles, 0) << "the unconfigured handle is closed";
    EXPECT_EQ(api.GetDeviceList(0), 0);

    const int handle = api.OpenDevice(kId);
    ASSERT_GT(handle, 0);
    EXPECT_FALSE(usbsim::calls(Fn::SetConfiguration).empty());
    usbsim::queueReply(reader_, {0x01});
    Bytes rx(8);
    EXPECT_EQ(transceive(handle, {0xAA}, rx), 1);
}

INSTANTIATE_TEST_SUITE_P(Steps, ConfigFailureTest,
                         testing::Values(ConfigFailure{"DescriptorRead", Fn::GetConfigDescriptor, -1167},
                                         ConfigFailure{"SetConfiguration", Fn::SetConfiguration, -1104}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Transfer set-up ----------------------------------------------------------------

TEST_F(TransferTest, ABulkPairIsDrivenWithBulkTransfers) {
    const int handle = open();
    usbsim::setHandler(reader_, [](const Bytes& out) { return Bytes{out.rbegin(), out.rend()}; });
    usbsim::clearCalls();
    Bytes rx(16, 0xEE);
    EXPECT_EQ(transceive(handle, {1, 2, 3}, rx), 3);
    EXPECT_EQ(Bytes(rx.begin(), rx.begin() + 3), (Bytes{3, 2, 1}));
    EXPECT_EQ(Bytes(rx.begin() + 3, rx.end()), Bytes(13, 0)) << "the read buffer is zeroed first";
    const auto bulk = usbsim::calls(Fn::BulkTransfer);
    ASSERT_EQ(bulk.size(), 2u);
    EXPECT_EQ(bulk[0].endpoint, 0x02);
    EXPECT_EQ(bulk[0].length, 3);
    EXPECT_EQ(bulk[0].timeout, 1000u);
    EXPECT_EQ(bulk[1].endpoint, 0x81);
    EXPECT_EQ(bulk[1].length, 16);
    EXPECT_EQ(usbsim::calls(Fn::ClaimInterface).size(), 1u);
    EXPECT_EQ(usbsim::calls(Fn::DetachKernelDriver).size(), 1u);
    EXPECT_TRUE(usbsim::calls(Fn::ControlTransfer).empty());
    EXPECT_EQ(api.lastError(), 0);

    // The set-up runs once.
    Bytes again(4);
    EXPECT_EQ(transceive(handle, {9}, again), 1);
    EXPECT_EQ(usbsim::calls(Fn::ClaimInterface).size(), 1u);
}

struct EndpointCase {
    const char* name;
    std::vector<usbsim::Endpoint> endpoints;
};

// Test names carry the case; gtest prints the case by its name too.
void PrintTo(const EndpointCase& c, std::ostream* os) {
    *os << c.name;
}

class ControlModeTest : public TransferTest, public testing::WithParamInterface<EndpointCase> {};

TEST_P(ControlModeTest, WithoutABulkPairVendorRequestsCarryTheBytes) {
    usbsim::ReaderProfile profile = readerProfile(kId);
    profile.endpoints = GetParam().endpoints;
    const int handle = open(profile);
    usbsim::setHandler(reader_,
                       [](const Bytes& out) { return Bytes{static_cast<std::uint8_t>(out.size())}; });
    usbsim::clearCalls();
    Bytes rx(32, 0xEE);
    EXPECT_EQ(transceive(handle, {5, 6}, rx), 1);
    EXPECT_EQ(rx[0], 2);
    const auto control = usbsim::calls(Fn::ControlTransfer);
    ASSERT_EQ(control.size(), 2u);
    EXPECT_EQ(control[0].requestType, 0x40);
    EXPECT_EQ(control[0].request, 0);
    EXPECT_EQ(control[0].length, 2);
    EXPECT_EQ(control[0].timeout, 1000u);
    EXPECT_EQ(control[1].requestType, 0xC0);
    EXPECT_EQ(control[1].length, 32);
    EXPECT_TRUE(usbsim::calls(Fn::BulkTransfer).empty());
    EXPECT_EQ(usbsim::calls(Fn::ClaimInterface).size(), 1u) << "the claim is tried in control mode too";
}

INSTANTIATE_TEST_SUITE_P(Endpoints, ControlModeTest,
                         testing::Values(EndpointCase{"InOnly", {usbsim::kBulkIn}},
                                         EndpointCase{"OutOnly", {usbsim::kBulkOut}},
                                         EndpointCase{"None", {}},
                                         EndpointCase{"InterruptPair", {{0x83, 3}, {0x04, 3}}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, AFailedClaimLeavesControlModeUntilClose) {
    const int handle = open();
    usbsim::injectResult(reader_, Fn::ClaimInterface, 1, LIBUSB_ERROR_BUSY);
    Bytes rx(8);
    EXPECT_EQ(transceive(handle, {1}, rx), -1145);
    EXPECT_EQ(api.lastError(), -1145);
    EXPECT_TRUE(usbsim::calls(Fn::BulkTransfer).empty());

    usbsim::clearCalls();
    usbsim::queueReply(reader_, {7});
    EXPECT_EQ(transceive(handle, {1}, rx), 1);
    EXPECT_EQ(usbsim::calls(Fn::ControlTransfer).size(), 2u);
    EXPECT_TRUE(usbsim::calls(Fn::ClaimInterface).empty()) << "no second set-up";

    // Closing resets the mode: the next open runs the set-up again.
    EXPECT_EQ(api.CloseDevice(handle), 0);
    const int again = api.OpenDevice(kId);
    ASSERT_GT(again, 0);
    usbsim::clearCalls();
    usbsim::queueReply(reader_, {8});
    EXPECT_EQ(transceive(again, {1}, rx), 1);
    EXPECT_EQ(usbsim::calls(Fn::BulkTransfer).size(), 2u);
}

TEST_F(TransferTest, AFailedSetUpDescriptorReadLeavesControlMode) {
    const int handle = open();
    usbsim::injectResult(reader_, Fn::GetConfigDescriptor, 1, LIBUSB_ERROR_IO);
    Bytes rx(8);
    EXPECT_EQ(transceive(handle, {1}, rx), -1167);
    usbsim::queueReply(reader_, {7});
    EXPECT_EQ(transceive(handle, {1}, rx), 1);
    EXPECT_EQ(usbsim::calls(Fn::ControlTransfer).size(), 2u);
}

// --- Transfer errors ----------------------------------------------------------------

struct TransferError {
    const char* name;
    bool bulk;
    int failingCall; // 1 the write, 2 the read
    int libusbResult;
    int expected;
    std::vector<int> halts; // endpoints cleared, in order
};

// Test names carry the case; gtest prints the case by its name too.
void PrintTo(const TransferError& c, std::ostream* os) {
    *os << c.name;
}

class TransferErrorTest : public TransferTest, public testing::WithParamInterface<TransferError> {};

TEST_P(TransferErrorTest, LibusbResultsMapToCodesAndTheReaderStaysUsable) {
    const TransferError& c = GetParam();
    usbsim::ReaderProfile profile = readerProfile(kId);
    if (!c.bulk) profile.endpoints = {};
    const int handle = open(profile);
    const Fn fn = c.bulk ? Fn::BulkTransfer : Fn::ControlTransfer;
    Bytes rx(8);
    usbsim::queueReply(reader_, {1});
    EXPECT_EQ(transceive(handle, {1}, rx), 1) << "set-up done";
    usbsim::clearCalls();
    usbsim::injectResult(reader_, fn, c.failingCall, c.libusbResult);
    usbsim::queueReply(reader_, {2});
    EXPECT_EQ(transceive(handle, {1}, rx), c.expected);
    EXPECT_EQ(api.lastError(), c.expected);
    int deviceError = 0;
    char text[64];
    api.GetLastError(handle, &deviceError, text);
    EXPECT_EQ(deviceError, c.expected);
    EXPECT_EQ(usbsim::calls(fn).size(), static_cast<std::size_t>(c.failingCall))
        << "a failed write skips the read";
    EXPECT_EQ(endpointsOf(usbsim::calls(Fn::ClearHalt)), c.halts);

    // Still open and usable.
    usbsim::setHandler(reader_, [](const Bytes&) { return Bytes{3, 3}; });
    Bytes fresh(8);
    const int count = transceive(handle, {1}, fresh);
    EXPECT_GE(count, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Results, TransferErrorTest,
    testing::Values(TransferError{"BulkWriteTimeout", true, 1, LIBUSB_ERROR_TIMEOUT, -1130, {0x02, 0x81}},
                    TransferError{"BulkReadTimeout", true, 2, LIBUSB_ERROR_TIMEOUT, -1130, {0x02, 0x81}},
                    TransferError{"BulkWriteNoDevice", true, 1, LIBUSB_ERROR_NO_DEVICE, -1137, {}},
                    TransferError{"BulkReadNoDevice", true, 2, LIBUSB_ERROR_NO_DEVICE, -1137, {}},
                    TransferError{"BulkWriteStall", true, 1, LIBUSB_ERROR_PIPE, -1139, {}},
                    TransferError{"BulkReadOverflow", true, 2, LIBUSB_ERROR_OVERFLOW, -1139, {}},
                    TransferError{"ControlWriteTimeout", false, 1, LIBUSB_ERROR_TIMEOUT, -1130, {}},
                    TransferError{"ControlReadTimeout", false, 2, LIBUSB_ERROR_TIMEOUT, -1130, {}},
                    TransferError{"ControlWriteNoDevice", false, 1, LIBUSB_ERROR_NO_DEVICE, -1137, {}},
                    TransferError{"ControlReadStall", false, 2, LIBUSB_ERROR_PIPE, -1180, {}},
                    TransferError{"ControlReadOverflow", false, 2, LIBUSB_ERROR_OVERFLOW, -1180, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, AReplyLongerThanTheBufferOverflowsInBulkMode) {
    const int handle = open();
    usbsim::queueReply(reader_, Bytes(10, 0x55));
    Bytes rx(4);
    EXPECT_EQ(transceive(handle, {1}, rx), -1139);
}

TEST_F(TransferTest, AnUnpluggedReaderIsNotPresentUntilRescanned) {
    const int handle = open();
    Bytes rx(4);
    usbsim::queueReply(reader_, {4});
    ASSERT_EQ(transceive(handle, {1}, rx), 1);
    usbsim::unplug(reader_);
    EXPECT_EQ(transceive(handle, {1}, rx), -1137);
    EXPECT_EQ(api.IsDevicePresent(handle), 0);
    EXPECT_EQ(api.lastError(), 0);
    usbsim::replug(reader_);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    EXPECT_EQ(api.IsDevicePresent(handle), 1);
    usbsim::queueReply(reader_, {4});
    EXPECT_EQ(transceive(handle, {1}, rx), 1);
}

// Control transfers carry at most 0xFFFF bytes: a longer read asks for 0xFFFF, a
// longer write is refused before anything is sent.
TEST_F(TransferTest, ControlTransferLengthsStayWithinSixteenBits) {
    usbsim::ReaderProfile profile = readerProfile(kId);
    profile.endpoints = {};
    const int handle = open(profile);
    char iface[] = "NUBO-RCI2";
    Bytes big(65537, 0x11);
    usbsim::queueReply(reader_, Bytes(3, 0x22));
    EXPECT_EQ(api.Receive(handle, iface, big.data(), 65537), 3);
    ASSERT_EQ(usbsim::calls(Fn::ControlTransfer).size(), 1u);
    EXPECT_EQ(usbsim::calls(Fn::ControlTransfer)[0].length, 0xFFFF);
    EXPECT_EQ(big[3], 0) << "the whole buffer is zeroed";
    EXPECT_EQ(big[65536], 0);

    usbsim::clearCalls();
    EXPECT_EQ(api.Transmit(handle, iface, big.data(), 65536), -1135);
    EXPECT_EQ(api.lastError(), -1135);
    Bytes rx(8);
    EXPECT_EQ(api.Transceive(handle, iface, 0, big.data(), 65536, rx.data(), 8), -1135);
    EXPECT_TRUE(usbsim::calls(Fn::ControlTransfer).empty());
    EXPECT_EQ(api.Transmit(handle, iface, big.data(), 65535), 0);
    ASSERT_EQ(usbsim::calls(Fn::ControlTransfer).size(), 1u);
    EXPECT_EQ(usbsim::calls(Fn::ControlTransfer)[0].length, 0xFFFF);
}

TEST_F(TransferTest, BulkTransfersTakeAnyLength) {
    const int handle = open();
    Bytes big(70000);
    std::iota(big.begin(), big.end(), 0);
    usbsim::setHandler(reader_, [](const Bytes& out) { return out; });
    Bytes rx(70000);
    EXPECT_EQ(transceive(handle, big, rx), 70000);
    EXPECT_EQ(rx, big);
}

TEST_F(TransferTest, TransmitAndReceiveMakeOneTransferEach) {
    const int handle = open();
    char iface[] = "nubo-rci2";
    std::uint8_t tx[] = {1, 2, 3, 4};
    usbsim::clearCalls();
    EXPECT_EQ(api.Transmit(handle, iface, tx, 4), 0);
    EXPECT_EQ(api.lastError(), 0);
    usbsim::queueReply(reader_, {9, 8, 7});
    std::uint8_t rx[16];
    EXPECT_EQ(api.Receive(handle, iface, rx, 16), 3);
    EXPECT_EQ(api.lastError(), 3) << "the byte count is kept as last error";
    EXPECT_EQ(endpointsOf(usbsim::calls(Fn::BulkTransfer)), (std::vector<int>{0x02, 0x81}));
    usbsim::queueReply(reader_, {1});
    EXPECT_EQ(api.Transceive(handle, iface, 2, tx, 4, rx, 16), 1);
    EXPECT_EQ(api.lastError(), 0);
}

TEST_F(TransferTest, TheTimeoutParameterReachesEveryTransfer) {
    const int handle = open();
    EXPECT_EQ(api.setPara(handle, "Timeout", "250"), 0);
    usbsim::clearCalls();
    Bytes rx(4);
    EXPECT_EQ(transceive(handle, {1}, rx), -1130);
    for (const auto& call : usbsim::calls(Fn::BulkTransfer))
        EXPECT_EQ(call.timeout, 250u);
}

struct InterfaceCase {
    const char* name;
    std::string interfaceName;
    int expected;
};

// Test names carry the case; gtest prints the case by its name too.
void PrintTo(const InterfaceCase& c, std::ostream* os) {
    *os << c.name;
}

class InterfaceNameTest : public TransferTest, public testing::WithParamInterface<InterfaceCase> {};

TEST_P(InterfaceNameTest, OnlyTheHostProtocolInterfaceIsServed) {
    const int handle = open();
    usbsim::setHandler(reader_, [](const Bytes&) { return Bytes{1}; });
    usbsim::clearCalls();
    std::string name = GetParam().interfaceName;
    std::uint8_t tx[] = {1};
    std::uint8_t rx[4];
    EXPECT_EQ(api.Transceive(handle, name.data(), 0, tx, 1, rx, 4), GetParam().expected);
    EXPECT_EQ(api.Transmit(handle, name.data(), tx, 1), GetParam().expected == 1 ? 0 : GetParam().expected);
    if (GetParam().expected < 0) {
        EXPECT_EQ(api.Receive(handle, name.data(), rx, 4), GetParam().expected);
        EXPECT_TRUE(usbsim::calls(Fn::BulkTransfer).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, InterfaceNameTest,
    testing::Values(InterfaceCase{"Exact", "NUBO-RCI2", 1}, InterfaceCase{"LowerCase", "nubo-rci2", 1},
                    InterfaceCase{"MixedCase", "Nubo-Rci2", 1}, InterfaceCase{"Shorter", "NUBO-RCI", -1132},
                    InterfaceCase{"Empty", "", -1132}, InterfaceCase{"Long127", std::string(127, 'N'), -1132},
                    InterfaceCase{"Long128", std::string(128, 'N'), -1132},
                    InterfaceCase{"PaddedTo128", "NUBO-RCI2" + std::string(119, ' '), -1132},
                    InterfaceCase{"Long4096", std::string(4096, 'N'), -1132}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vkusbtest
