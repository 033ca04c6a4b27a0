// A JVM test fixture for the command natives: the connected module of
// SimulatedModuleTest, canned answers of the simulated reader, the natives as
// Java calls them and a look at the core's data memory and the reader's log.
#ifndef VKBRIDGE_COMMANDS_FIXTURE_H
#define VKBRIDGE_COMMANDS_FIXTURE_H

#include "simulated_module.h"

#include <vkdm/vkdm_control.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vkbridge {

using Bytes = krnsim::Bytes;

constexpr char kKey[] = "000102030405060708090A0B0C0D0E0F";
constexpr char kStatusId[] = "03 10 00 00 01 00 00";
constexpr char kFailureId[] = "03 10 00 01 04 00 00";
constexpr int kIso = 2;
constexpr int kTxPub = 0x04000002;
constexpr int kUid = 0x08000002;

class CommandsJvmTest : public vkbridge::SimulatedModuleTest {
  protected:
    void TearDown() override {
        VKDM_CTL_ForceResult(nullptr, 0);
        SimulatedModuleTest::TearDown();
    }

    void answer(std::uint8_t command, std::uint8_t status, Bytes data) {
        simulator.reader().setHandler(command,
                                      [status, data](const krnsim::Request&, krnsim::ConnectionContext&) {
                                          return krnsim::Reply::frame(status, data);
                                      });
    }
    Outcome withString(const char* name, const char* signature, std::vector<jvalue> head, const char* text,
                       std::vector<jvalue> tail = {}) {
        jstring s = text != nullptr ? env->NewStringUTF(text) : nullptr;
        head.push_back(L(s));
        head.insert(head.end(), tail.begin(), tail.end());
        Outcome o = callReader(env, name, signature, head);
        if (s != nullptr) env->DeleteLocalRef(s);
        return o;
    }
    Outcome authenticate(jbyte type, const char* key, int h = 0) {
        return withString("ReaderAuthentication", "(IBLjava/lang/String;)I",
                          {I(h != 0 ? h : handle), B(type)}, key);
    }
    Outcome protocol(jbyte command, const char* data, int h = 0) {
        return withString("SendProtocol", "(IBLjava/lang/String;)Ljava/lang/String;",
                          {I(h != 0 ? h : handle), B(command)}, data);
    }
    Outcome transparent(const char* frame, bool crc, int h = 0) {
        return withString("SendTransparent", "(ILjava/lang/String;Z)Ljava/lang/String;",
                          {I(h != 0 ? h : handle)}, frame, {Z(crc)});
    }
    Outcome samSync(const Bytes& data) {
        jbyteArray a = env->NewByteArray(static_cast<jsize>(data.size()));
        env->SetByteArrayRegion(a, 0, static_cast<jsize>(data.size()),
                                reinterpret_cast<const jbyte*>(data.data()));
        Outcome o = callReader(env, "SendSAMCommandSync", "(II[BI)[B", {I(handle), I(2), L(a), I(10)});
        env->DeleteLocalRef(a);
        return o;
    }
    Bytes bytesOf(Outcome& o) {
        Bytes out;
        if (o.isNull || o.value.l == nullptr) return out;
        auto array = static_cast<jbyteArray>(o.value.l);
        out.resize(static_cast<std::size_t>(env->GetArrayLength(array)));
        env->GetByteArrayRegion(array, 0, static_cast<jsize>(out.size()),
                                reinterpret_cast<jbyte*>(out.data()));
        env->DeleteLocalRef(array);
        o.value.l = nullptr;
        return out;
    }
    Outcome build(jbyte command) {
        return callReader(env, "BuildProtocol", "(IB)[B", {I(handle), B(command)});
    }
    unsigned int failureCode() {
        unsigned int code = 0;
        core()->GetData(kFailureId, &code);
        return code;
    }
    void setByte(const char* id, std::uint8_t value) { ASSERT_EQ(core()->SetData(id, value), 0) << id; }
    std::vector<krnsim::LogEntry> requests(std::uint8_t command) {
        std::vector<krnsim::LogEntry> out;
        for (auto& e : simulator.reader().log().entries())
            if (e.command == command) out.push_back(std::move(e));
        return out;
    }
    void useKey() {
        Bytes key;
        for (int i = 0; i < 16; ++i)
            key.push_back(static_cast<std::uint8_t>(i));
        simulator.reader().setAuthenticationKey(key);
    }
};

} // namespace vkbridge

#endif
