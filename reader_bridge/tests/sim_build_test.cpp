// The simulated build under the shipped file name, loaded by name as a caller
// loads it, against the dongle model behind this process's simulated hidapi.
#include "library_api.h"

#include <hidsim/hidsim.h>
#include <qm30sim/qm30_model.h>

#include <gtest/gtest.h>

#include <hidapi/hidapi.h>

namespace kestoreader_test {
namespace {

TEST(SimulatedBuild, BindsByNameAndTalksToTheSimulatedDongle) {
    hidsim::reset();
    auto model = std::make_shared<qm30sim::Qm30Model>();
    qm30sim::plugQm30(model);
    LoadedLibrary library("libkestoreader.so");
    ASSERT_TRUE(library.loaded());
    LibraryApi api = loadCheckedApi(library);

    // The library's manager holds nothing but its device handle; a caller that
    // lays one out the same way reaches the dongle through it.
    struct ManagerLayout {
        hid_device* handle = nullptr;
    } layout;
    auto* manager = reinterpret_cast<HidManager*>(&layout);
    char reply[vemlasdknative::QM30_REPLY_TEXT_SIZE] = {};
    EXPECT_EQ(api.USBconnect(manager), 0);
    ASSERT_NE(layout.handle, nullptr);
    EXPECT_EQ(api.Echo(manager, reply), 0);
    EXPECT_STREQ(reply, "5500");
    EXPECT_EQ(api.getMCUrev(manager, reply), 0);
    EXPECT_STREQ(reply, "BC03030605");
    EXPECT_EQ(api.SendReceive(manager, "26", reply), 4);
    EXPECT_STREQ(reply, "8700 : Frame wait time out OR no tag");
    EXPECT_EQ(model->frames().size(), 1u);
    hid_close(layout.handle);
    EXPECT_EQ(hidsim::counters().liveHandles, 0);
    EXPECT_TRUE(hidsim::violations().empty());
}

} // namespace
} // namespace kestoreader_test
