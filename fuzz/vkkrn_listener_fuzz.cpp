// Bytes from a peer of the notification listener arrive unchecked, in any
// chunks and at any pace. The first input byte picks the task (3, 6, 7), the
// acknowledge flag, the callback's result and whether the cipher is on (then a
// scripted handshake of the simulated reader runs first, with fixed random
// values on both sides). The rest is a list of steps: [op][n][bytes]: feed n
// bytes as one read, or advance the clock by n x 20 ms.
//
// Oracles: no data callback on an unauthenticated enciphered connection; no
// acknowledgement without a delivered frame; a connection that has delivered
// nothing (or, with the cipher, is not authenticated) is closed once the idle
// limit has passed; never more bytes taken than asked.
#include "listener/listener_session.h"
#include "security/crypto_plugin_aes.h"

#include <krnsim/notify_channel.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

using namespace vkkrn::listener;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

class FixedRandom : public VKKRN_CryptoPlugIn_AES {
  public:
    using VKKRN_CryptoPlugIn_AES::VKKRN_CryptoPlugIn_AES;
    int get_rand(unsigned char* buffer, int count) override {
        for (int i = 0; i < count; ++i)
            buffer[i] = static_cast<unsigned char>(0xC3 ^ i);
        return 0;
    }
};

class Host : public ListenerHost {
  public:
    void line(const char*) override {}
    void line(const char*, int) override {}
    void report(int code) override { check(code < 0); }
    int deliver(const Delivery& frame, std::uint8_t* acknowledge) override {
        check(session == nullptr || !cipher || session->authState() == kAuthenticated);
        check(frame.length >= 0 && frame.length <= static_cast<int>(kBufferSize));
        ++delivered;
        *acknowledge = 0x5A;
        return result;
    }
    void storeReceived(const std::uint8_t*, int length, int, bool) override { check(length > 0); }
    void storeSent(const std::uint8_t*, int length, bool) override { check(length > 0); }
    void frameBegins() override {}
    void frameEnds() override {}
    int send(std::span<const std::uint8_t> bytes) override {
        check(bytes.size() >= 5);
        last.assign(bytes.begin(), bytes.end());
        const std::uint8_t command = bytes[0] == 0x02 ? bytes[4] : bytes[2];
        if (command != 0xAE) ++acks; // handshake answers aside
        check(acks <= delivered);
        return 0;
    }
    int frameMode() override { return mode; }
    void lockAdvanced() override { mode = 2; }
    std::unique_ptr<VKKRN_CryptoPlugIn> makeCipher(unsigned keyType, const std::uint8_t* key) override {
        return std::make_unique<FixedRandom>(keyType, key);
    }

    const Session* session = nullptr;
    bool cipher = false;
    int result = 0;
    int mode = 1;
    int delivered = 0;
    int acks = 0;
    krnsim::Bytes last;
};

const std::uint8_t kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t choice = data[0];
    ++data;
    --size;
    Host host;
    SessionConfig config;
    config.taskId = choice % 3 == 0 ? 3 : choice % 3 == 1 ? 6 : 7;
    config.command = config.taskId == 3 ? 0x22 : config.taskId == 6 ? 0x1F : 0x77;
    config.busAddress = 1;
    config.acknowledge = (choice >> 2) & 1;
    config.cipher = ((choice >> 3) & 1) != 0;
    config.keyLength = 16;
    config.key = kKey;
    config.frameLimit = 1000;
    config.idleLimit = 3000;
    host.result = (choice >> 4) & 1;
    host.cipher = config.cipher;
    Session session(config, host);
    host.session = &session;
    Millis now = 0;
    session.start(now);

    // With the cipher, the simulated reader authenticates with a fixed X first.
    std::unique_ptr<krnsim::NotifyChannel> reader;
    if (config.cipher) {
        reader = std::make_unique<krnsim::NotifyChannel>(0, krnsim::Bytes(kKey, kKey + 16), 1);
        session.feed(reader->step1(), now);
        check(reader->takeAnswer1(krnsim::splitHostFrame(host.last)));
        session.feed(reader->step2({}, krnsim::Bytes(32, 0x3C)), now);
        check(reader->takeAnswer2(krnsim::splitHostFrame(host.last)));
        check(session.authState() == kAuthenticated);
    }

    while (size >= 2 && session.closing() == Session::Close::None) {
        const std::uint8_t op = data[0];
        std::size_t n = data[1];
        data += 2;
        size -= 2;
        if ((op & 1) == 0) {
            n = std::min(n, size);
            if ((op & 2) != 0 && reader) {
                // The bytes as an inner frame the reader enciphers.
                const krnsim::Bytes wrapped = reader->wrap({data, n});
                for (std::size_t at = 0; at < wrapped.size() && session.wanted() > 0;) {
                    const std::size_t take = std::min(wrapped.size() - at, session.wanted());
                    session.feed({wrapped.data() + at, take}, now);
                    at += take;
                }
                data += n;
                size -= n;
                continue;
            }
            std::size_t at = 0;
            while (at < n && session.wanted() > 0) {
                const std::size_t take = std::min(n - at, session.wanted());
                session.feed({data + at, take}, now);
                at += take;
            }
            data += n;
            size -= n;
        } else {
            now += static_cast<Millis>(n) * 20;
            session.tick(now);
            // The idle limit is enforced by the clock: a frame that undoes the authentication
            // past the limit (a new handshake step 1) is closed at the next tick.
            const bool owed = !session.served() || (config.cipher && session.authState() != kAuthenticated);
            if (now >= config.idleLimit && owed) check(session.closing() != Session::Close::None);
        }
    }
    return 0;
}
