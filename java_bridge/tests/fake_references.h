// Weak references without a JVM: distinct fake pointers, counted.
#ifndef NUBOKRN4J_TESTS_FAKE_REFERENCES_H
#define NUBOKRN4J_TESTS_FAKE_REFERENCES_H

#include "listener_state.h"

#include <atomic>
#include <cstdint>

namespace nubokrn4j::testing {

class FakeReferences final : public ReferenceOps {
  public:
    jweak newWeak(jobject object) override {
        if (failNext.exchange(false) || object == nullptr) return nullptr;
        made.fetch_add(1);
        return reinterpret_cast<jweak>(static_cast<std::uintptr_t>(0x1000 + 16 * next.fetch_add(1)));
    }
    void deleteWeak(jweak weak) override {
        if (weak != nullptr) deleted.fetch_add(1);
    }
    int live() const { return made.load() - deleted.load(); }

    std::atomic<int> made{0};
    std::atomic<int> deleted{0};
    std::atomic<int> next{1};
    std::atomic<bool> failNext{false};
};

// Stand-ins for Java objects: only their identity matters.
inline jobject fakeObject(int n) {
    return reinterpret_cast<jobject>(static_cast<std::uintptr_t>(0x100000 + 16 * n));
}

} // namespace nubokrn4j::testing

#endif
