// Connecting without a host reaches port 5000 of the local machine. The test
// binds 127.0.0.1:5000 itself, shared with other tests under one CTest lock.
#include "session_fixture.h"

#include <system_error>

namespace {

TEST(LoopbackSession, ModeZeroWithoutAHostConnectsToTheLocalMachine) {
    zrbsim::Simulator::Options options;
    options.address = "127.0.0.1";
    options.strict = true;
    std::unique_ptr<zrbsim::Simulator> simulator;
    try {
        simulator = std::make_unique<zrbsim::Simulator>(options);
    } catch (const std::system_error& error) {
        GTEST_SKIP() << "127.0.0.1:5000 is held by another program: " << error.what();
    }
    ASSERT_EQ(ZRB_Connect(0, nullptr), 0);
    EXPECT_EQ(zrb::session().exchange({}, [] { return zrb::RequestLine("Reset", "ToIdle"); }, {}), 0);
    ASSERT_TRUE(simulator->waitForRequests(1));
    EXPECT_EQ(simulator->requests()[0].raw, "ZRB:Reset:ToIdle \r\n");
    EXPECT_TRUE(simulator->violations().empty());
    EXPECT_EQ(ZRB_Disconnect(), 0);
}

} // namespace
