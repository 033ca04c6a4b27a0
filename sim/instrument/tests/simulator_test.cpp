#include "raw_client.h"

#include <zrbsim/commands.h>
#include <zrbsim/pins.h>
#include <zrbsim/simulator.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;
using zrbsim::ReplyPlan;
using zrbsim::Simulator;
using zrbsim::testing::RawClient;
using End = RawClient::End;

Simulator::Options strict() {
    Simulator::Options options;
    options.strict = true;
    return options;
}

TEST(Simulator, AnswersWithTheDefaultReplyAndLogsTheRequest) {
    Simulator simulator(strict());
    RawClient client(simulator.address(), simulator.port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send("ZRB:Reset:ToIdle \r\n"));
    EXPECT_EQ(client.readLine(), "0\r\n");
    const auto requests = simulator.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].connection, 1);
    EXPECT_EQ(requests[0].raw, "ZRB:Reset:ToIdle \r\n");
    EXPECT_EQ(requests[0].command, "Reset:ToIdle");
    EXPECT_TRUE(requests[0].verdict.ok());
    EXPECT_TRUE(simulator.violations().empty());
}

TEST(Simulator, DeliversEachReplyPlan) {
    struct Case {
        const char* name;
        ReplyPlan plan;
        std::string expected;
        End end; // after the expected bytes
    };
    const Case cases[] = {
        {"line", ReplyPlan::line("5,\"m\""), "5,\"m\"\r\n", End::kTimeout},
        {"byte by byte", ReplyPlan::byteByByte("0,12", 1ms), "0,12\r\n", End::kTimeout},
        {"cr apart from lf", ReplyPlan::crApartFromLf("0,1"), "0,1\r\n", End::kTimeout},
        {"lone cr lf first", ReplyPlan::loneCrLfFirst("0"), "\r\n0\r\n", End::kTimeout},
        {"segments with gaps", ReplyPlan::segments({{"0,", 0ms}, {"7", 30ms}, {"\r\n", 30ms}}), "0,7\r\n",
         End::kTimeout},
        {"fin", ReplyPlan::fin(), "", End::kClosed},
        {"rst", ReplyPlan::rst(), "", End::kReset},
        {"fin after 3 bytes", ReplyPlan::finAfter("0,123", 3), "0,1", End::kClosed},
        {"line then fin",
         [] {
             ReplyPlan plan = ReplyPlan::line("0");
             plan.ending = ReplyPlan::Ending::kFin;
             return plan;
         }(),
         "0\r\n", End::kClosed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Simulator simulator(strict());
        simulator.script(c.plan);
        RawClient client(simulator.address(), simulator.port());
        ASSERT_TRUE(client.send("ZRB:Rf:FieldOn 1\r\n"));
        End end;
        EXPECT_EQ(client.read(c.expected.size(), &end), c.expected);
        EXPECT_EQ(end, End::kCount);
        // Whatever follows: nothing (connection kept), FIN or RST.
        client.read(1, &end, c.end == End::kTimeout ? 50ms : 5000ms);
        EXPECT_EQ(end, c.end);
    }
}

TEST(Simulator, ScriptsAreOneShotAndCanWaitForTheirCommand) {
    Simulator simulator(strict());
    simulator.scriptLine("0,42", "Gpio:GetValue");
    simulator.scriptLine("7,\"busy\"");
    RawClient client(simulator.address(), simulator.port());
    client.send("ZRB:Rf:FieldOn 1\r\n");
    EXPECT_EQ(client.readLine(), "7,\"busy\"\r\n");
    client.send("ZRB:Rf:FieldOn 1\r\n");
    EXPECT_EQ(client.readLine(), "0\r\n");
    client.send("ZRB:Gpio:GetValue 3\r\n");
    EXPECT_EQ(client.readLine(), "0,42\r\n");
    client.send("ZRB:Gpio:GetValue 3\r\n");
    EXPECT_EQ(client.readLine(), "0\r\n");
}

TEST(Simulator, GetValueAnswersEachPinFromItsSequence) {
    Simulator simulator(strict());
    zrbsim::registerInstrumentCommands(simulator);
    zrbsim::registerPinModel(simulator);
    zrbsim::withPins(simulator, [](zrbsim::PinModel& pins) {
        pins.values[3] = {0, 1, 2};
        pins.values[4] = {1};
    });
    RawClient client(simulator.address(), simulator.port());
    // Pin 3 walks its sequence and keeps its last level, pin 4 repeats its
    // only one, pin 5 has none and reads 0.
    const std::pair<int, const char*> reads[] = {{3, "0,0"}, {4, "0,1"}, {3, "0,1"}, {5, "0,0"},
                                                 {3, "0,2"}, {4, "0,1"}, {3, "0,2"}};
    for (const auto& [pin, reply] : reads) {
        client.send("ZRB:Gpio:GetValue " + std::to_string(pin) + "\r\n");
        EXPECT_EQ(client.readLine(), std::string(reply) + "\r\n") << pin;
    }
    EXPECT_EQ(zrbsim::withPins(simulator, [](zrbsim::PinModel& pins) { return pins.valuesRead[3]; }), 4u);
    EXPECT_TRUE(simulator.violations().empty());
}

TEST(Simulator, TheRequestLogKeepsWhenEachLineArrived) {
    Simulator simulator(strict());
    RawClient client(simulator.address(), simulator.port());
    const auto before = std::chrono::steady_clock::now();
    client.send("ZRB:Rf:FieldOn 1\r\n");
    EXPECT_EQ(client.readLine(), "0\r\n");
    std::this_thread::sleep_for(2ms);
    // Two lines at once: the second waits for the first one's reply, but
    // arrived with it.
    simulator.script(ReplyPlan::segments({{"0\r\n", 20ms}}));
    client.send("ZRB:Rf:FieldOff 1\r\nZRB:Rf:FieldOn 2\r\n");
    EXPECT_EQ(client.readLine(), "0\r\n");
    EXPECT_EQ(client.readLine(), "0\r\n");
    const auto requests = simulator.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_GE(requests[0].received, before);
    EXPECT_GE(requests[1].received - requests[0].received, 2ms);
    EXPECT_EQ(requests[2].received, requests[1].received);
}

TEST(Simulator, PipelinedRequestsAreAnsweredInOrder) {
    Simulator simulator(strict());
    simulator.script(ReplyPlan::segments({{"1,\"a\"\r\n", 40ms}}));
    simulator.scriptLine("2,\"b\"");
    RawClient client(simulator.address(), simulator.port());
    client.send("ZRB:Rf:FieldOn 1\r\nZRB:Rf:FieldOff 1\r\n");
    EXPECT_EQ(client.readLine(), "1,\"a\"\r\n");
    EXPECT_EQ(client.readLine(), "2,\"b\"\r\n");
}

TEST(Simulator, WatchdogClosesAConnectionWhoseReplyIsOwedTooLong) {
    Simulator simulator(strict());
    simulator.setWatchdog(100ms);
    simulator.script(ReplyPlan::silence());
    RawClient client(simulator.address(), simulator.port());
    client.send("ZRB:Rf:FieldOn 1\r\n");
    End end;
    EXPECT_EQ(client.read(1, &end, 10s), "");
    EXPECT_EQ(end, End::kClosed);
    ASSERT_TRUE(simulator.waitForEvents(2));
    EXPECT_EQ(simulator.events()[1].reason, "watchdog");
}

TEST(Simulator, StrictModeAnswersAViolationWithItsCode) {
    Simulator simulator(strict());
    RawClient client(simulator.address(), simulator.port());
    client.send("ZRB:Rf:FieldOn  1\r\n");
    const std::string reply = client.readLine();
    EXPECT_EQ(reply.substr(0, 4), "90,\"");
    ASSERT_EQ(simulator.violations().size(), 1u);
    EXPECT_EQ(simulator.violations()[0].verdict.code, zrbsim::kViolationCode);
    EXPECT_EQ(simulator.violations()[0].verdict.message, "blank outside quotes");
    // The simulator keeps serving.
    client.send("ZRB:Rf:FieldOn 1\r\n");
    EXPECT_EQ(client.readLine(), "0\r\n");
}

TEST(Simulator, LenientModeRecordsTheVerdictButAnswersNormally) {
    Simulator simulator;
    RawClient client(simulator.address(), simulator.port());
    client.send("garbage\r\n");
    EXPECT_EQ(client.readLine(), "0\r\n");
    EXPECT_EQ(simulator.violations().size(), 1u);
}

TEST(Simulator, RegisteredCommandsCheckSignaturesAndKeepModels) {
    Simulator simulator(strict());
    simulator.registerCommand({"Gpio", "GetValue", "i", "0,0", [](zrbsim::HandlerContext& context) {
                                   int& calls = context.connectionModel.has_value()
                                                    ? std::any_cast<int&>(context.connectionModel)
                                                    : context.connectionModel.emplace<int>(0);
                                   ++calls;
                                   if (!context.simulatorModel.has_value()) context.simulatorModel = 0;
                                   ++std::any_cast<int&>(context.simulatorModel);
                                   return "0," + std::to_string(calls);
                               }});
    simulator.registerCommand({"Rf", "FieldOn", "i", "0", {}});
    simulator.setUnknownCommandsViolate(true);
    RawClient first(simulator.address(), simulator.port());
    RawClient second(simulator.address(), simulator.port());
    first.send("ZRB:Gpio:GetValue 1\r\n");
    EXPECT_EQ(first.readLine(), "0,1\r\n");
    first.send("ZRB:Gpio:GetValue 1\r\n");
    EXPECT_EQ(first.readLine(), "0,2\r\n");
    second.send("ZRB:Gpio:GetValue 1\r\n");
    EXPECT_EQ(second.readLine(), "0,1\r\n");
    EXPECT_EQ(simulator.withModel([](std::any& model) { return std::any_cast<int>(model); }), 3);
    EXPECT_TRUE(simulator.violations().empty());

    second.send("ZRB:Gpio:GetValue 1,2\r\n");
    EXPECT_EQ(second.readLine().substr(0, 3), "90,");
    second.send("ZRB:Rf:Unknown \r\n");
    EXPECT_EQ(second.readLine().substr(0, 3), "90,");
    EXPECT_EQ(simulator.violations().size(), 2u);
}

TEST(Simulator, TheCommandSetChecksEveryRequestAgainstItsSignature) {
    Simulator simulator(strict());
    zrbsim::registerInstrumentCommands(simulator);
    simulator.setUnknownCommandsViolate(true);
    RawClient client(simulator.address(), simulator.port());
    struct Case {
        const char* line;
        const char* reply; // "90," for a violation
    };
    const Case cases[] = {
        {"ZRB:Gpio:GetValue 3\r\n", "0,7\r\n"},
        {"ZRB:Rf:ScheduleRequest \"ABCDE0\",20,3\r\n", "0,11,12,13\r\n"},
        {"ZRB:Gpio:ScheduleWaveformOutput 1,\"1;40;0;60\",2,3\r\n", "0\r\n"},
        {"ZRB:Gpio:CfgOpenDrain 1,255\r\n", "0\r\n"},
        {"ZRB:Rf:FieldOnce 1\r\n", "90,"},                        // unknown name
        {"ZRB:Rf:FieldOn \r\n", "90,"},                           // missing argument
        {"ZRB:Rf:FieldOn 1.000000000000e+000\r\n", "90,"},        // double in an int slot
        {"ZRB:Gpio:CfgOpenDrain 1,256\r\n", "90,"},               // byte 256
        {"ZRB:Rf:ScheduleRequest \"abcde0\",20,3\r\n", "90,"},    // lower-case hex
        {"ZRB:Rf:ScheduleRequest \"ABCD\",20,3\r\n", "90,"},      // hex short of its bits
        {"ZRB:Gpio:DecodeModulationState \"1;4O\",2\r\n", "90,"}, // element text with a letter
    };
    std::size_t violations = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_TRUE(client.send(c.line));
        const std::string reply = client.readLine();
        EXPECT_EQ(reply.substr(0, std::strlen(c.reply)), c.reply);
        if (std::string(c.reply) == "90,") ++violations;
        EXPECT_EQ(simulator.violations().size(), violations);
    }
}

TEST(Simulator, EveryCommandHasASignatureAndADefaultReply) {
    const auto& commands = zrbsim::instrumentCommands();
    ASSERT_EQ(commands.size(), 37u);
    std::set<std::string> names;
    for (const auto& command : commands) {
        SCOPED_TRACE(command.name);
        names.insert(command.group + ":" + command.name);
        EXPECT_EQ(command.defaultReply.substr(0, 1), "0");
        EXPECT_FALSE(command.handler);
    }
    EXPECT_EQ(names.size(), 37u);
}

TEST(Simulator, RecordsAcceptAndCloseEvents) {
    Simulator simulator(strict());
    {
        RawClient client(simulator.address(), simulator.port());
        ASSERT_TRUE(simulator.waitForEvents(1));
    }
    ASSERT_TRUE(simulator.waitForEvents(2));
    const auto events = simulator.events();
    EXPECT_EQ(events[0].kind, zrbsim::ConnectionEvent::Kind::kAccepted);
    EXPECT_EQ(events[1].kind, zrbsim::ConnectionEvent::Kind::kClosed);
    EXPECT_EQ(events[1].reason, "peer");
    EXPECT_EQ(events[1].connection, 1);
    EXPECT_EQ(simulator.openConnections(), 0u);
}

TEST(Simulator, ParallelSimulatorsWalkToDistinctAddresses) {
    constexpr int kCount = 8;
    std::vector<std::unique_ptr<Simulator>> simulators(kCount);
    std::vector<std::thread> threads;
    for (int i = 0; i < kCount; ++i) {
        threads.emplace_back([&simulators, i] { simulators[i] = std::make_unique<Simulator>(); });
    }
    for (auto& thread : threads)
        thread.join();
    std::set<std::string> addresses;
    for (const auto& simulator : simulators) {
        addresses.insert(simulator->address());
        EXPECT_NE(simulator->address(), "127.0.0.1");
    }
    EXPECT_EQ(addresses.size(), static_cast<std::size_t>(kCount));
}

TEST(Simulator, AnExplicitAddressInUseIsRefused) {
    Simulator first;
    Simulator::Options options;
    options.address = first.address();
    EXPECT_THROW(Simulator{options}, std::system_error);
}

} // namespace
