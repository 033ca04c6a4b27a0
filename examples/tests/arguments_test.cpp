#include "arguments.h"

#include <gtest/gtest.h>

namespace vkexample {
namespace {

using Target = Arguments::Target;

TEST(ExampleArguments, ParsesTargetsAndRefusesTheRest) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        Target target;
        std::string hostOrPrefix;
        int portOrNumber;
        int baud;
    };
    const Case cases[] = {
        {{}, true, Target::Simulator, "", 0, 0},
        {{"--help"}, true, Target::Help, "", 0, 0},
        {{"-h"}, true, Target::Help, "", 0, 0},
        {{"192.168.10.10:10001"}, true, Target::Tcp, "192.168.10.10", 10001, 0},
        {{"reader.local:1"}, true, Target::Tcp, "reader.local", 1, 0},
        {{"localhost:65535"}, true, Target::Tcp, "localhost", 65535, 0},
        {{"/dev/ttyUSB0"}, true, Target::Serial, "/dev/ttyUSB", 1, 0},
        {{"/dev/ttyS3", "38400"}, true, Target::Serial, "/dev/ttyS", 4, 38400},
        {{"/dev/pts/12", "115200"}, true, Target::Serial, "/dev/pts/", 13, 115200},
        {{"/tmp/krnA0123456"}, false, Target::Simulator, "", 0, 0}, // 16 characters
        {{"/tmp/krnA012345"}, true, Target::Serial, "/tmp/krnA", 12346, 0},
        {{"localhost:0"}, false, Target::Simulator, "", 0, 0},
        {{"localhost:65536"}, false, Target::Simulator, "", 0, 0},
        {{"localhost:"}, false, Target::Simulator, "", 0, 0},
        {{":10001"}, false, Target::Simulator, "", 0, 0},
        {{"localhost:10x"}, false, Target::Simulator, "", 0, 0},
        {{"localhost:1", "9600"}, false, Target::Simulator, "", 0, 0},
        {{"/dev/ttyUSB"}, false, Target::Simulator, "", 0, 0},
        {{"/0"}, true, Target::Serial, "/", 1, 0},
        {{"/dev/ttyUSB0", "fast"}, false, Target::Simulator, "", 0, 0},
        {{"/dev/ttyUSB0", "0"}, false, Target::Simulator, "", 0, 0},
        {{"/dev/ttyUSB0", "4000001"}, false, Target::Simulator, "", 0, 0},
        {{"/dev/ttyUSB0", "9600", "x"}, false, Target::Simulator, "", 0, 0},
        {{"ttyUSB0"}, false, Target::Simulator, "", 0, 0},
        {{"-v"}, false, Target::Simulator, "", 0, 0},
        {{"--help", "x"}, false, Target::Simulator, "", 0, 0},
        {{""}, false, Target::Simulator, "", 0, 0},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& arg : c.args)
            shown += "[" + arg + "]";
        const Arguments parsed = parseArguments(c.args);
        EXPECT_EQ(parsed.error.empty(), c.ok) << shown << " " << parsed.error;
        if (!c.ok) continue;
        EXPECT_EQ(parsed.target, c.target) << shown;
        if (c.target == Target::Tcp) {
            EXPECT_EQ(parsed.host, c.hostOrPrefix) << shown;
            EXPECT_EQ(parsed.port, c.portOrNumber) << shown;
        }
        if (c.target == Target::Serial) {
            EXPECT_EQ(parsed.portPrefix, c.hostOrPrefix) << shown;
            EXPECT_EQ(parsed.portNumber, c.portOrNumber) << shown;
            EXPECT_EQ(parsed.baud, c.baud) << shown;
        }
    }
}

} // namespace
} // namespace vkexample
