// Who may use a transponder at a moment: one exchange (an APDU, a ping or a
// deselect, from its start to the end of its worker), or any number of readers
// of the finished response. Taken without blocking: a caller that cannot have it
// is refused, except that an exchange waits out readers, which only copy.
#ifndef VKTCL_EXCHANGE_CLAIM_H
#define VKTCL_EXCHANGE_CLAIM_H

#include <atomic>
#include <thread>

namespace vktcl {

class ExchangeClaim {
  public:
    // False while another exchange holds the claim.
    bool tryExchange() {
        for (;;) {
            int state = state_.load(std::memory_order_acquire);
            if (state == kExchange) return false;
            if (state == kFree && state_.compare_exchange_weak(state, kExchange, std::memory_order_acq_rel))
                return true;
            if (state > kFree) std::this_thread::yield(); // a copy of the response is under way
        }
    }
    // May be called on another thread than the one that took the claim.
    void endExchange() { state_.store(kFree, std::memory_order_release); }

    // False while an exchange holds the claim.
    bool tryRead() {
        int state = state_.load(std::memory_order_acquire);
        while (state != kExchange) {
            if (state_.compare_exchange_weak(state, state + 1, std::memory_order_acq_rel)) return true;
        }
        return false;
    }
    void endRead() { state_.fetch_sub(1, std::memory_order_release); }

  private:
    static constexpr int kFree = 0;
    static constexpr int kExchange = -1;
    std::atomic<int> state_{kFree}; // kExchange, or the number of readers
};

// An exchange claim taken by the caller: given back when the hold ends, also by
// an exception, unless handed on to the worker that gives it back itself.
class ExchangeHold {
  public:
    explicit ExchangeHold(ExchangeClaim& claim) : claim_(&claim) {}
    ~ExchangeHold() {
        if (claim_ != nullptr) claim_->endExchange();
    }
    ExchangeHold(const ExchangeHold&) = delete;
    ExchangeHold& operator=(const ExchangeHold&) = delete;
    void handOn() { claim_ = nullptr; }

  private:
    ExchangeClaim* claim_;
};

} // namespace vktcl

#endif
