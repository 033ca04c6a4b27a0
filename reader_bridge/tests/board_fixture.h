// The board readers over the stand-in board libraries: the shared core
// (tags, scripts, call log) starts empty, and readers made here are connected.
#ifndef KESTOREADER_TESTS_BOARD_FIXTURE_H
#define KESTOREADER_TESTS_BOARD_FIXTURE_H

#include "KX10.h"
#include "kx20.h"

#include <kxx0_standin.h>
#include <rfsim/iso14443a_tag.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestoreader_test {

using vemlasdknative::Buffer;
using vemlasdknative::byte_t;
using vemlasdknative::RfReaderBase;
using Bytes = std::vector<byte_t>;
using Strings = std::vector<std::string>;

class BoardTest : public ::testing::Test {
  protected:
    void SetUp() override { core.reset(); }
    void TearDown() override { vemlasdknative::handle = nullptr; }

    // A reader of type R with its board open and current; the call log cleared.
    template <typename R> std::unique_ptr<R> connected() {
        auto reader = std::make_unique<R>();
        EXPECT_TRUE(reader->Connect());
        vemlasdknative::handle = reader.get();
        core.clearCalls();
        return reader;
    }
    // The same with the protocol of `mode` set up.
    template <typename R> std::unique_ptr<R> inMode(Bytes mode) {
        auto reader = connected<R>();
        EXPECT_EQ(reader->SetMode(mode.data()), 0);
        core.clearCalls();
        return reader;
    }

    rfsim::Iso14443aTag& placeTag(Bytes uid) {
        rfsim::Iso14443aTag::Config config;
        config.uid = std::move(uid);
        return core.field().add(std::make_unique<rfsim::Iso14443aTag>(config));
    }
    void script(const std::string& name, int status, Bytes bytes = {},
                std::optional<std::uint64_t> reported = std::nullopt) {
        core.script(name, {status, bytes, reported});
    }
    Strings names() const { return core.callNames(); }
    // The numeric arguments of the last call of `name`.
    std::vector<std::int64_t> args(const std::string& name) const {
        const auto calls = core.calls(name);
        return calls.empty() ? std::vector<std::int64_t>{} : calls.back().args;
    }

    kxx0standin::Core& core = kxx0standin::Core::instance();
};

// A receive buffer of n bytes whose length is its capacity.
inline Buffer receiveBuffer(std::int32_t n = 260) {
    return Buffer(n);
}

inline Buffer frame(const Bytes& bytes) {
    Buffer buffer(static_cast<std::int32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), buffer.buf);
    return buffer;
}

inline Bytes received(const Buffer& rx) {
    return Bytes(rx.buf, rx.buf + rx.length);
}

} // namespace kestoreader_test

#endif
