#include "loopback.h"

#include <poll.h>

namespace vktcp_test {

bool hasInput(int fd, int ms) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, ms) > 0;
}

} // namespace vktcp_test
