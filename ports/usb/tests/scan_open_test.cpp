// Scanning the bus, the scan filter, identification of readers, opening and
// closing, and what happens to open readers that are replugged or share an id.
#include "vkusb_fixture.h"

#include <gtest/gtest.h>

#include <libusb-1.0/libusb.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace vkusbtest {
namespace {

constexpr std::uint32_t kIdA = 0x1A2B;
constexpr std::uint32_t kIdB = 0x3C4D;
constexpr int kFirstHandle = 0x10000001;

using ScanTest = VkUsbTest;

std::vector<std::string> scanListIds(const VkUsbApi& api) {
    std::vector<std::string> ids;
    for (int i = 0; i < api.GetScanListSize(); ++i)
        ids.push_back(api.scanListPara(i, "DEVICE-ID"));
    return ids;
}

TEST_F(ScanTest, FirstThenNextWalksTheScanListAndStopsPastTheEnd) {
    plug(kIdA);
    plug(kIdB);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_FIRST, nullptr), 0);
    EXPECT_EQ(api.GetScanListSize(), 2);
    usbsim::clearCalls();
    EXPECT_EQ(api.Scan(VKUSB_SCAN_NEXT, nullptr), 1);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_NEXT, nullptr), -1112);
    EXPECT_EQ(api.lastError(), -1112);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_NEXT, nullptr), -1115);
    EXPECT_EQ(api.lastError(), -1115);
    EXPECT_TRUE(usbsim::calls().empty()) << "a next scan does not touch the bus";
    EXPECT_EQ(usbsim::counters().liveHandles, 0) << "a scan leaves every reader closed";
}

TEST_F(ScanTest, AllOptionsReturnZeroAndTheSizeCountsTheReaders) {
    plug(kIdA);
    plug(kIdB);
    for (const int option : {VKUSB_SCAN_ALL, VKUSB_SCAN_ALL_EX, VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER}) {
        SCOPED_TRACE(option);
        EXPECT_EQ(api.Scan(option, nullptr), 0);
        EXPECT_EQ(api.GetScanListSize(), 2);
        EXPECT_EQ(scanListIds(api), (std::vector<std::string>{"1A2B", "3C4D"}));
    }
    EXPECT_EQ(api.ClearScanList(), 0);
    EXPECT_EQ(api.GetScanListSize(), 0);
}

TEST_F(ScanTest, EmptyBusFindsNothing) {
    EXPECT_EQ(api.Scan(VKUSB_SCAN_FIRST, nullptr), -1112);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_NEXT, nullptr), -1115);
    EXPECT_EQ(api.ScanAndOpen(VKUSB_SCAN_ALL, nullptr), -1112);
    EXPECT_EQ(api.lastError(), -1112);
}

TEST_F(ScanTest, UnknownOptionsAreRefusedWithoutTouchingTheBus) {
    plug(kIdA);
    for (const int option : {0, 4, 14, 16, VKUSB_SCAN_FILTER, VKUSB_SCAN_FILTER | 7, 0x20001, -1}) {
        SCOPED_TRACE(option);
        EXPECT_EQ(api.Scan(option, nullptr), -1154);
        EXPECT_EQ(api.ScanAndOpen(option, nullptr), -1154);
        EXPECT_EQ(api.lastError(), -1154);
    }
    EXPECT_TRUE(usbsim::calls(usbsim::Fn::GetDeviceList).empty());
}

TEST_F(ScanTest, HostFlagMakesScansReturnZeroWithoutTouchingTheBus) {
    plug(kIdA);
    *api.androidUnroot = true;
    EXPECT_EQ(api.Scan(VKUSB_SCAN_FIRST, nullptr), 0);
    EXPECT_EQ(api.ScanAndOpen(VKUSB_SCAN_ALL, nullptr), 0);
    EXPECT_EQ(api.Scan(99, nullptr), 0);
    *api.androidUnroot = false;
    EXPECT_TRUE(usbsim::calls(usbsim::Fn::GetDeviceList).empty());
    EXPECT_EQ(api.GetScanListSize(), 0);
}

TEST_F(ScanTest, ForeignVendorsAndProductsOutsideOneToFourAreSkipped) {
    usbsim::ReaderProfile foreign = readerProfile(0x1111);
    foreign.vendor = 0x1234;
    usbsim::plug(foreign);
    for (const std::uint16_t product : {0, 5}) {
        usbsim::ReaderProfile profile = readerProfile(0x2222 + product);
        profile.product = product;
        usbsim::plug(profile);
    }
    for (const std::uint16_t product : {1, 4}) {
        usbsim::ReaderProfile profile = readerProfile(0x3000 + product);
        profile.product = product;
        usbsim::plug(profile);
    }
    EXPECT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    EXPECT_EQ(scanListIds(api), (std::vector<std::string>{"3001", "3004"}));
    for (const usbsim::Call& call : usbsim::calls(usbsim::Fn::Open))
        EXPECT_GE(call.reader, 4) << "only usable readers are opened";
}

// --- Filter ---------------------------------------------------------------

struct FilterCase {
    const char* name;
    int option;
    int mask;
    std::string family;
    std::string deviceName;
    std::string deviceId;
    std::vector<std::string> expected; // ids in the scan list; empty: -1112
};

// Test names carry the case; gtest prints the case by its name too.
void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.name;
}

class FilterTest : public VkUsbTest, public testing::WithParamInterface<FilterCase> {};

// Fills a field completely when the text is as long as the field: no NUL then.
template <std::size_t N> void fill(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

TEST_P(FilterTest, SelectsReadersByTheLowestMaskBit) {
    const FilterCase& c = GetParam();
    usbsim::plug(readerProfile(kIdA, "ID KRN.SIM200-U", "KRN-SIM"));
    usbsim::plug(readerProfile(kIdB, "ID KRN.SIM300-U", "KRN-OTHER"));
    usbsim::plug(readerProfile(0x5E, std::string(50, 'N'), std::string(25, 'F')));
    // On the heap with its exact size, so a read past any field is caught.
    auto filter = std::make_unique<_VKUSB_SCANSEARCH>();
    filter->mask = c.mask;
    fill(filter->familyName, c.family);
    fill(filter->deviceName, c.deviceName);
    fill(filter->deviceId, c.deviceId);
    const int result = api.Scan(c.option, filter.get());
    if (c.expected.empty()) {
        EXPECT_EQ(result, -1112);
        EXPECT_EQ(api.GetScanListSize(), 0);
    } else {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(scanListIds(api), c.expected);
    }
    EXPECT_EQ(usbsim::counters().liveHandles, 0);
}

const std::string kZeroPaddedId = std::string(21, '0') + "1A2B"; // fills all 25 bytes

INSTANTIATE_TEST_SUITE_P(
    Masks, FilterTest,
    testing::Values(
        FilterCase{"Family", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 1, "KRN-OTHER", "", "", {"3C4D"}},
        FilterCase{"DeviceName", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 2, "", "ID KRN.SIM200-U", "", {"1A2B"}},
        FilterCase{"IdLowerCase", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 4, "", "", "1a2b", {"1A2B"}},
        FilterCase{"IdUpperCase", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 4, "", "", "3C4D", {"3C4D"}},
        FilterCase{"IdWithPrefix", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 4, "", "", "0x5e", {"5E"}},
        FilterCase{"IdNotHex", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 4, "", "", "xyz", {}},
        FilterCase{"NoCriterion", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 0, "KRN-SIM", "", "", {}},
        FilterCase{"OtherBitsOnly", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 8, "KRN-SIM", "", "", {}},
        FilterCase{"FamilyBeatsName",
                   VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER,
                   3,
                   "KRN-OTHER",
                   "ID KRN.SIM200-U",
                   "",
                   {"3C4D"}},
        FilterCase{
            "NameBeatsId", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 6, "", "ID KRN.SIM200-U", "3C4D", {"1A2B"}},
        FilterCase{"UnknownName", VKUSB_SCAN_FIRST | VKUSB_SCAN_FILTER, 2, "", "no such reader", "", {}},
        FilterCase{
            "NameIsCaseSensitive", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 2, "", "id krn.sim200-u", "", {}},
        FilterCase{"IgnoredWithoutBit", VKUSB_SCAN_ALL, 2, "", "no such reader", "", {"1A2B", "3C4D", "5E"}},
        FilterCase{
            "FamilyFillsField", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 1, std::string(25, 'F'), "", "", {"5E"}},
        FilterCase{
            "NameFillsField", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 2, "", std::string(50, 'N'), "", {"5E"}},
        FilterCase{"IdFillsField", VKUSB_SCAN_ALL | VKUSB_SCAN_FILTER, 4, "", "", kZeroPaddedId, {"1A2B"}}),
    [](const testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

// --- Identification ---------------------------------------------------------

struct IdentifyCase {
    const char* name;
    void (*breakReader)(usbsim::ReaderProfile& profile);
    bool failOpen;
};

// Test names carry the case; gtest prints the case by its name too.
void PrintTo(const IdentifyCase& c, std::ostream* os) {
    *os << c.name;
}

class IdentifyTest : public VkUsbTest, public testing::WithParamInterface<IdentifyCase> {};

TEST_P(IdentifyTest, AReaderThatCannotBeIdentifiedIsLeftOutAndUsesAHandle) {
    const IdentifyCase& c = GetParam();
    usbsim::ReaderProfile bad = readerProfile(0xBAD);
    if (c.breakReader != nullptr) c.breakReader(bad);
    const int badReader = usbsim::plug(bad);
    plug(kIdA);
    if (c.failOpen) usbsim::injectResult(badReader, usbsim::Fn::Open, 1, LIBUSB_ERROR_ACCESS);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    EXPECT_EQ(scanListIds(api), std::vector<std::string>{"1A2B"});
    EXPECT_EQ(usbsim::counters().liveHandles, 0);
    // The object made for the bad reader drew the first handle.
    EXPECT_EQ(api.OpenDevice(kIdA), kFirstHandle + 1);
    EXPECT_EQ(api.CloseDevice(kFirstHandle + 1), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, IdentifyTest,
    testing::Values(IdentifyCase{"OpenFails", nullptr, true},
                    IdentifyCase{"NoDeviceId", [](usbsim::ReaderProfile& s) { s.strings.erase(1); }, false},
                    IdentifyCase{"IdNotHex", [](usbsim::ReaderProfile& s) { s.strings[1] = "XYZ"; }, false},
                    IdentifyCase{"EmptyId", [](usbsim::ReaderProfile& s) { s.strings[1] = ""; }, false},
                    IdentifyCase{"NoFamilyName", [](usbsim::ReaderProfile& s) { s.strings.erase(3); }, false},
                    IdentifyCase{"NoDeviceName", [](usbsim::ReaderProfile& s) { s.strings.erase(5); }, false},
                    IdentifyCase{"NoInterfaceType", [](usbsim::ReaderProfile& s) { s.strings.erase(6); },
                                 false}),
    [](const testing::TestParamInfo<IdentifyCase>& info) { return std::string(info.param.name); });

TEST_F(ScanTest, IdentityComesFromTheStringDescriptorsWithBlanksReplaced) {
    usbsim::ReaderProfile profile = readerProfile(0xC0FFEE, "ID KRN.SIM 9", "KRN FAMILY");
    profile.strings[6] = " NUBO  RCI2 ";
    usbsim::plug(profile);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_FIRST, nullptr), 0);
    EXPECT_EQ(api.scanListPara(0, "DEVICE-ID"), "C0FFEE");
    EXPECT_EQ(api.scanListPara(0, "DEVICENAME"), "ID KRN.SIM 9");
    EXPECT_EQ(api.scanListPara(0, "FAMILYNAME"), "KRN FAMILY");
    EXPECT_EQ(api.scanListPara(0, "INTERFACE"), "-NUBO--RCI2-");
    EXPECT_EQ(api.scanListPara(0, "DEVICEHND"), "0");
    EXPECT_EQ(usbsim::counters().liveHandles, 0);
}

// --- Open and close -----------------------------------------------------------

using OpenTest = VkUsbTest;

TEST_F(OpenTest, ScanAndOpenFirstGivesAHandleFoundThreeWays) {
    plug(kIdA);
    plug(kIdB);
    EXPECT_EQ(api.ScanAndOpen(VKUSB_SCAN_FIRST, nullptr), 0);
    const int handle = api.GetDeviceList(0);
    EXPECT_EQ(handle, kFirstHandle);
    EXPECT_EQ(api.GetDeviceList(handle), 0);
    EXPECT_EQ(api.para(0, "DEVICEHND"), std::to_string(handle));
    EXPECT_EQ(api.scanListPara(0, "DEVICEHND"), std::to_string(handle));
    EXPECT_EQ(api.scanListPara(1, "DEVICEHND"), "0");
    EXPECT_EQ(api.GetDeviceHnd(kIdA), handle);
    EXPECT_EQ(api.GetDeviceHnd(kIdB), -1144);
    EXPECT_EQ(api.lastError(), -1144);

    // Scanning and opening again finds the reader open already: same handle.
    EXPECT_EQ(api.ScanAndOpen(VKUSB_SCAN_FIRST, nullptr), 0);
    EXPECT_EQ(api.GetDeviceList(0), handle);
    EXPECT_EQ(api.GetDeviceList(handle), 0);
    EXPECT_EQ(api.OpenDevice(kIdA), handle);
    EXPECT_EQ(usbsim::counters().liveHandles, 1);

    // "Next" opens the second reader.
    EXPECT_EQ(api.ScanAndOpen(VKUSB_SCAN_NEXT, nullptr), 1);
    const int second = api.GetDeviceList(handle);
    EXPECT_GT(second, handle);
    EXPECT_EQ(api.GetDeviceHnd(kIdB), second);
    EXPECT_EQ(api.GetDeviceList(999), 0);
}

TEST_F(OpenTest, OpenAllOpensEveryReaderInScanOrder) {
    plug(kIdA);
    plug(kIdB);
    EXPECT_EQ(api.ScanAndOpen(VKUSB_SCAN_ALL, nullptr), 0);
    const int first = api.GetDeviceList(0);
    const int second = api.GetDeviceList(first);
    EXPECT_EQ(api.GetDeviceHnd(kIdA), first);
    EXPECT_EQ(api.GetDeviceHnd(kIdB), second);
    EXPECT_EQ(api.GetDeviceList(second), 0);
    EXPECT_EQ(usbsim::counters().liveHandles, 2);
}

TEST_F(OpenTest, OpenAllGoesOnAfterAFailureAndReturnsIt) {
    const int a = plug(kIdA);
    plug(kIdB);
    // The first open of A identifies it; the second is the one that fails.
    usbsim::injectResult(a, usbsim::Fn::Open, 2, LIBUSB_ERROR_ACCESS);
    EXPECT_EQ(api.ScanAndOpen(VKUSB_SCAN_ALL, nullptr), -1143);
    EXPECT_EQ(api.lastError(), -1143);
    EXPECT_EQ(api.GetDeviceHnd(kIdA), -1144);
    EXPECT_GT(api.GetDeviceHnd(kIdB), 0);
    EXPECT_EQ(api.GetScanListSize(), 2);
}

TEST_F(OpenTest, OpeningAnUnscannedIdFails) {
    plug(kIdA);
    EXPECT_EQ(api.OpenDevice(kIdA), -1140) << "nothing scanned yet";
    EXPECT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    EXPECT_EQ(api.OpenDevice(kIdB), -1140);
    EXPECT_EQ(api.lastError(), -1140);
    EXPECT_EQ(api.OpenDevice(kIdA), kFirstHandle);
    EXPECT_EQ(api.lastError(), 0);
}

TEST_F(OpenTest, ClosingHandsTheObjectBackToTheScanList) {
    plug(kIdA);
    const int handle = scanAndOpen(kIdA);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0) << "found again while open";
    EXPECT_EQ(api.CloseDevice(handle), 0);
    EXPECT_EQ(usbsim::counters().liveHandles, 0);
    EXPECT_EQ(api.GetScanListSize(), 1);
    EXPECT_EQ(api.scanListPara(0, "DEVICE-ID"), "1A2B");
    EXPECT_EQ(api.scanListPara(0, "DEVICEHND"), "0");
    EXPECT_EQ(api.CloseDevice(handle), -1123);
    EXPECT_EQ(api.GetDeviceList(0), 0);
    // Reopened from the same object, under the same handle.
    EXPECT_EQ(api.OpenDevice(kIdA), handle);
}

TEST_F(OpenTest, ClosingAReaderALaterScanLostFreesIt) {
    const int a = plug(kIdA);
    plug(kIdB);
    const int handle = scanAndOpen(kIdA);
    ASSERT_GT(handle, 0);
    usbsim::unplug(a);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    EXPECT_EQ(scanListIds(api), std::vector<std::string>{"3C4D"});
    EXPECT_EQ(api.GetDeviceHnd(kIdA), handle) << "still open";
    EXPECT_EQ(api.CloseDevice(handle), 0);
    // The unplugged device is gone once its object is: only B's object and the
    // bus itself hold references now.
    EXPECT_EQ(usbsim::counters().extraReferences, 1);
}

// --- Replugging and duplicate ids ----------------------------------------------

TEST_F(OpenTest, AReplugedOpenReaderKeepsItsHandleAfterARescan) {
    const int a = plug(kIdA);
    const int handle = scanAndOpen(kIdA);
    ASSERT_GT(handle, 0);
    usbsim::replug(a);
    EXPECT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    EXPECT_EQ(api.GetDeviceHnd(kIdA), handle);
    EXPECT_EQ(api.GetDeviceList(0), handle);
    EXPECT_EQ(api.GetDeviceList(handle), 0);
    EXPECT_EQ(api.IsDevicePresent(handle), 1) << "reopened on the new connection";
    const usbsim::Counters c = usbsim::counters();
    EXPECT_EQ(c.liveHandles, 1);
    EXPECT_EQ(c.extraReferences, 2) << "the new object and its handle; the old device is freed";
    EXPECT_EQ(api.scanListPara(0, "DEVICEHND"), std::to_string(handle));
}

struct DuplicateCase {
    const char* name;
    std::uint8_t secondBus; // bus of the reader plugged after the open one
};

// Test names carry the case; gtest prints the case by its name too.
void PrintTo(const DuplicateCase& c, std::ostream* os) {
    *os << c.name;
}

class DuplicateIdTest : public VkUsbTest, public testing::WithParamInterface<DuplicateCase> {};

TEST_P(DuplicateIdTest, TwoReadersOfOneIdWithOneOpenSurviveARescan) {
    usbsim::ReaderProfile first = readerProfile(kIdA);
    first.bus = 2;
    usbsim::plug(first);
    ASSERT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    const int handle = api.OpenDevice(kIdA);
    ASSERT_GT(handle, 0);
    usbsim::ReaderProfile second = readerProfile(kIdA);
    second.bus = GetParam().secondBus;
    usbsim::plug(second);

    EXPECT_EQ(api.Scan(VKUSB_SCAN_ALL, nullptr), 0);
    // The open reader's object was replaced by the other reader's; whatever was
    // deleted left every list.
    EXPECT_EQ(api.GetScanListSize(), 1);
    EXPECT_EQ(api.scanListPara(0, "DEVICEHND"), std::to_string(handle));
    EXPECT_EQ(api.GetDeviceHnd(kIdA), handle);
    EXPECT_EQ(api.IsDevicePresent(handle), 1);
    EXPECT_EQ(usbsim::counters().liveHandles, 1);
    EXPECT_EQ(api.CloseDevice(handle), 0);
    EXPECT_EQ(api.scanListPara(0, "DEVICE-ID"), "1A2B");
}

INSTANTIATE_TEST_SUITE_P(BusOrder, DuplicateIdTest,
                         testing::Values(DuplicateCase{"OpenOneFirst", 3}, DuplicateCase{"OpenOneSecond", 1}),
                         [](const testing::TestParamInfo<DuplicateCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace vkusbtest
