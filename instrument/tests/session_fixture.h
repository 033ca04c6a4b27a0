// A session test: a strict simulator per test that knows the instrument's
// command set (an unknown command is a violation too), and a check that every
// request the library sent was well-formed. Tests drive the library through its
// exports or, for the session's pieces, through its internal interface.
#ifndef ZRB_TESTS_SESSION_FIXTURE_H
#define ZRB_TESTS_SESSION_FIXTURE_H

#include "reply_parser.h"
#include "request_line.h"
#include "session.h"

#include <Zorbel.h>
#include <zrbsim/commands.h>
#include <zrbsim/simulator.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zrb::testing {

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        zrbsim::Simulator::Options options;
        options.strict = true;
        simulator_ = std::make_unique<zrbsim::Simulator>(options);
        zrbsim::registerInstrumentCommands(*simulator_);
        simulator_->setUnknownCommandsViolate(true);
    }

    void TearDown() override {
        ZRB_Disconnect();
        for (const auto& request : simulator_->violations()) {
            ADD_FAILURE() << "malformed request " << ::testing::PrintToString(request.raw) << ": "
                          << request.verdict.message;
        }
    }

    zrbsim::Simulator& simulator() { return *simulator_; }
    const char* host() const { return simulator_->address().c_str(); }
    void connect() { ASSERT_EQ(ZRB_Connect(1, host()), 0); }

    // "ZRB:Rf:FieldOn 1" with the given value fields.
    static int fieldOn(std::vector<ReplyField> fields = {}) {
        return session().exchange(
            {}, [] { return RequestLine("Rf", "FieldOn").integer(1); }, fields);
    }

  private:
    std::unique_ptr<zrbsim::Simulator> simulator_;
};

} // namespace zrb::testing

#endif
