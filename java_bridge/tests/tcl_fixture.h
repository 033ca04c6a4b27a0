// A JVM test fixture for the T=CL natives: the connected module of TaskJvmTest
// with a T=CL card in the simulated field, and the two APDU natives as Java
// calls them.
#ifndef VKBRIDGE_TCL_FIXTURE_H
#define VKBRIDGE_TCL_FIXTURE_H

#include "task_fixture.h"

#include <krnsim/reader_model.h>
#include <krnsim/tcl_card.h>

#include <memory>

namespace vkbridge {

constexpr char kApduAsync[] = "(I[BBBZZLde/varek/VkdmDlqApdu;)I";
constexpr char kApduSync[] = "(I[BBBZZ[B[I)I";

struct Session {
    jbyte cid = 0;
    jbyte nad = 0;
    bool useCid = false;
    bool useNad = false;
};

// What the synchronous APDU left: its outcome and the two arrays.
struct SyncAnswer {
    Outcome outcome;
    krnsim::Bytes response;
    std::vector<jint> length;
};

class TclJvmTest : public TaskJvmTest {
  protected:
    void SetUp() override {
        TaskJvmTest::SetUp();
        if (HasFatalFailure()) return;
        card = std::make_unique<krnsim::TclCard>(simulator.reader());
        card->install();
        setBuffers(256, 256);
    }
    void TearDown() override {
        TaskJvmTest::TearDown(); // the modules and their sessions go first
        // The simulator outlives the card: its handler goes before the card.
        simulator.reader().setHandler(0xB2, [](const krnsim::Request&, krnsim::ConnectionContext&) {
            return krnsim::Reply::frame(0x01, {});
        });
        card.reset();
    }

    void setBuffers(int receive, int transmit) {
        krnsim::Bytes info = krnsim::ReaderModel::defaultReaderInfo();
        info[7] = static_cast<std::uint8_t>(receive >> 8);
        info[8] = static_cast<std::uint8_t>(receive);
        info[9] = static_cast<std::uint8_t>(transmit >> 8);
        info[10] = static_cast<std::uint8_t>(transmit);
        simulator.reader().setReaderInfo(0, info);
    }

    static krnsim::Bytes apduOf(std::size_t n, std::uint8_t first = 0) {
        krnsim::Bytes a(n);
        for (std::size_t i = 0; i < n; ++i)
            a[i] = static_cast<std::uint8_t>(first + i);
        return a;
    }
    static krnsim::Bytes echoed(krnsim::Bytes apdu) {
        apdu.push_back(0x90);
        apdu.push_back(0x00);
        return apdu;
    }
    jbyteArray bytes(const krnsim::Bytes& b) {
        jbyteArray a = env->NewByteArray(static_cast<jsize>(b.size()));
        env->SetByteArrayRegion(a, 0, static_cast<jsize>(b.size()), reinterpret_cast<const jbyte*>(b.data()));
        return a;
    }

    Outcome async(const krnsim::Bytes& apdu, jobject listener, Session s = {}, int h = 0) {
        jbyteArray a = bytes(apdu);
        Outcome o = callReader(
            env, "SendTclApdu", kApduAsync,
            {I(h != 0 ? h : handle), L(a), B(s.cid), B(s.nad), Z(s.useCid), Z(s.useNad), L(listener)});
        env->DeleteLocalRef(a);
        return o;
    }
    // Arrays of `room` bytes (negative: null) and `lengths` ints (negative: null),
    // the response array filled with 0xEE and the length array with -7.
    SyncAnswer sync(const krnsim::Bytes& apdu, int room = 300, int lengths = 1, Session s = {}) {
        jbyteArray a = bytes(apdu);
        jbyteArray response =
            room >= 0 ? bytes(krnsim::Bytes(static_cast<std::size_t>(room), 0xEE)) : nullptr;
        jintArray length = nullptr;
        if (lengths >= 0) {
            length = env->NewIntArray(lengths);
            const std::vector<jint> fill(static_cast<std::size_t>(lengths), -7);
            env->SetIntArrayRegion(length, 0, lengths, fill.data());
        }
        SyncAnswer answer;
        answer.outcome = callReader(
            env, "SendTclApdu", kApduSync,
            {I(handle), L(a), B(s.cid), B(s.nad), Z(s.useCid), Z(s.useNad), L(response), L(length)});
        if (response != nullptr) {
            answer.response.resize(static_cast<std::size_t>(room));
            env->GetByteArrayRegion(response, 0, room, reinterpret_cast<jbyte*>(answer.response.data()));
            env->DeleteLocalRef(response);
        }
        if (length != nullptr) {
            answer.length.resize(static_cast<std::size_t>(lengths));
            env->GetIntArrayRegion(length, 0, lengths, answer.length.data());
            env->DeleteLocalRef(length);
        }
        env->DeleteLocalRef(a);
        return answer;
    }
    Outcome ping(bool useCid, jbyte cid) {
        return callReader(env, "SendTclPing", "(IZB)I", {I(handle), Z(useCid), B(cid)});
    }
    Outcome deselect(bool useCid, jbyte cid) {
        return callReader(env, "SendTclDeselect", "(IZB)I", {I(handle), Z(useCid), B(cid)});
    }
    jobject apduListener() { return local(newObject(env, "vkbridge/RecordingApdu")); }

    // Requests of a command the reader received.
    std::size_t requests(std::uint8_t command) {
        std::size_t n = 0;
        for (const auto& e : simulator.reader().log().entries())
            if (e.command == command) ++n;
        return n;
    }
    int apduUses(int h = 0) { return uses(Slot::Apdu, h); }

    std::unique_ptr<krnsim::TclCard> card;
};

} // namespace vkbridge

#endif
