// The listener key in a reader's copy of a task record, a secret like the
// handshake values and the channel key: wiped once no thread reads it.
#ifndef VKKRN_TASK_KEY_H
#define VKKRN_TASK_KEY_H

#include <vkkrn.h>

#include <string.h> // explicit_bzero

namespace vkkrn {

inline void wipeTaskKey(_VKKRN_TASK_INIT& record) {
    explicit_bzero(record.ucKey, sizeof record.ucKey);
    record.uiKeyLength = 0;
    record.ucCipher = 0;
}

// Wipes the record's key when it goes out of scope.
class TaskKeyWipe {
  public:
    explicit TaskKeyWipe(_VKKRN_TASK_INIT& record) : record_(record) {}
    ~TaskKeyWipe() { wipeTaskKey(record_); }
    TaskKeyWipe(const TaskKeyWipe&) = delete;
    TaskKeyWipe& operator=(const TaskKeyWipe&) = delete;

  private:
    _VKKRN_TASK_INIT& record_;
};

} // namespace vkkrn

#endif
