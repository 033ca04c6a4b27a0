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

TEST(ExampleArguments, KeyComesFirst) {
    const std::string key32(32, 'a');
    Arguments parsed = parseArguments({"--key", key32});
    EXPECT_TRUE(parsed.error.empty());
    EXPECT_EQ(parsed.target, Target::Simulator);
    EXPECT_EQ(parsed.key, key32);
    parsed = parseArguments({"--key", std::string(64, 'F'), "localhost:10001"});
    EXPECT_EQ(parsed.target, Target::Tcp);
    EXPECT_EQ(parsed.key.size(), 64u);
    EXPECT_EQ(parseArguments({"--key", std::string(48, '0')}).key.size(), 48u);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--key"},
                                                {"--key", std::string(31, 'a')},
                                                {"--key", std::string(40, 'a')},
                                                {"--key", std::string(31, 'a') + "g"},
                                                {"--key", key32, "--help"},
                                                {"--key", key32, "-v"},
                                                {"localhost:1", "--key", key32}})
        EXPECT_FALSE(parseArguments(bad).error.empty()) << bad.size();
}

} // namespace
} // namespace vkexample
