// The listener key of a notification task is a secret: each copy the bridge
// makes lives only while the start that needs it runs, and is wiped however
// that start ends. explicit_bzero: the compiler keeps the stores to memory
// that is not read again.
#ifndef NUBOKRN4J_KEY_WIPE_H
#define NUBOKRN4J_KEY_WIPE_H

#include <string.h> // explicit_bzero

#include <cstddef>

namespace nubokrn4j {

template <std::size_t N> void wipeKey(unsigned char (&key)[N]) {
    explicit_bzero(key, N);
}

// Wipes a key field when it goes out of scope.
class KeyWipe {
  public:
    template <std::size_t N> explicit KeyWipe(unsigned char (&key)[N]) : key_(key), size_(N) {}
    ~KeyWipe() { explicit_bzero(key_, size_); }
    KeyWipe(const KeyWipe&) = delete;
    KeyWipe& operator=(const KeyWipe&) = delete;

  private:
    unsigned char* key_;
    std::size_t size_;
};

} // namespace nubokrn4j

#endif
