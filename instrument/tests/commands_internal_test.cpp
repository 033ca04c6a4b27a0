// What the command set's exports do with waveforms that only the library's own
// classes can build or show: a waveform without a unit table, whose element
// text cannot be made, and the name of a captured waveform.
#include "session_fixture.h"
#include "waveform_internal.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using zrb::testing::SessionTest;

TEST_F(SessionTest, AWaveformWithoutElementTextGivesFourteenAndSendsNothing) {
    connect();
    const Waveform broken("no units"); // no unit table: no time converts to nanoseconds
    ZRB_Errno = 1234;
    EXPECT_EQ(ZRB_GpioScheduleWaveformOutput(1, &broken, 2, 3), 14);
    std::uint8_t data[2] = {};
    int count = -1;
    EXPECT_EQ(ZRB_GpioDecodeModulationState(&broken, data, 2, &count), 14);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(ZRB_Errno, 1234);
    EXPECT_TRUE(simulator().requests().empty());
    EXPECT_TRUE(zrb::session().connected());
    EXPECT_EQ(ZRB_ResetToIdle(), 0);
}

TEST_F(SessionTest, ACaptureIsNamedWaveformOut) {
    connect();
    simulator().scriptLine("0,1;40;0;60");
    Waveform* capture = nullptr;
    ASSERT_EQ(ZRB_GpioGetCapture(1, 2, &capture), 0);
    const std::unique_ptr<Waveform> owned(capture);
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->Name(), "WaveformOut");
    EXPECT_EQ(capture->Count(), 2u);
}

} // namespace
