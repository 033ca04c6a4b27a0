// The reader's cipher object, shared between the reader's exchanges and the TCP
// disconnection callback that ends the authenticated channel.
#ifndef VKKRN_CIPHER_SLOT_H
#define VKKRN_CIPHER_SLOT_H

#include "security/crypto_plugin.h"

#include <memory>
#include <mutex>

namespace vkkrn {

class CipherSlot {
  public:
    // A reference for one exchange: the cipher stays alive while it is held, even
    // when the slot is cleared meanwhile. Null when no channel is active.
    std::shared_ptr<VKKRN_CryptoPlugIn> load() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return cipher_;
    }
    void store(std::shared_ptr<VKKRN_CryptoPlugIn> cipher) { exchange(std::move(cipher)).reset(); }
    // Empties the slot; the cipher dies when its last reference drops, outside the lock.
    void reset() { exchange(nullptr).reset(); }
    bool holds() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return cipher_ != nullptr;
    }

  private:
    std::shared_ptr<VKKRN_CryptoPlugIn> exchange(std::shared_ptr<VKKRN_CryptoPlugIn> next) {
        std::lock_guard<std::mutex> lock(mutex_);
        cipher_.swap(next);
        return next;
    }

    // Guards cipher_ only. A leaf: held for a pointer copy or swap, never while
    // calling out.
    mutable std::mutex mutex_;
    std::shared_ptr<VKKRN_CryptoPlugIn> cipher_;
};

} // namespace vkkrn

#endif
