#include "kesto_com_driver.h"

namespace board_link {

int KestoComDriver::takeError() {
    const int error = error_;
    if (error != kDriverOk) {
        onErrorCleared();
        error_ = kDriverOk;
    }
    return error;
}

int KestoComDriver::takeStatus() {
    const int status = status_;
    if (status != 0) {
        onStatusCleared();
        status_ = 0;
    }
    return status;
}

} // namespace board_link
