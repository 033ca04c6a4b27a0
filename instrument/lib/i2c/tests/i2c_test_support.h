// Owning pointers for stimuli and transactions made through the exports.
#ifndef ZRB_I2C_TEST_SUPPORT_H
#define ZRB_I2C_TEST_SUPPORT_H

#include <Zorbel.h>

#include <memory>

namespace zrbtest {

struct StimuliDeleter {
    void operator()(ZRB_I2cStimuli* stimuli) const { ZRB_I2cStimuliFree(stimuli); }
};
using StimuliPtr = std::unique_ptr<ZRB_I2cStimuli, StimuliDeleter>;

struct TransactionDeleter {
    void operator()(ZRB_I2cTransaction* transaction) const { ZRB_I2cTransactionFree(transaction); }
};
using TransactionPtr = std::unique_ptr<ZRB_I2cTransaction, TransactionDeleter>;

} // namespace zrbtest

#endif
