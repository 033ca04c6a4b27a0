// The running count of socket handles: the next count, skipping counts whose
// handle is still in use (only possible once the count has wrapped).
#ifndef VKTCP_HANDLE_COUNTER_H
#define VKTCP_HANDLE_COUNTER_H

#include <vkcommon/port_handle.h>

namespace vktcp {

inline int socketHandle(int count) {
    return vk::makePortHandle(vk::PortType::Tcp, count);
}

// `inUse(handle)` tells whether a listed socket has that handle. Gives up after
// one full round (every handle in use), returning the plain next count.
template <typename InUse> int nextSocketCount(int count, InUse&& inUse) {
    const int first = vk::nextPortCount(count);
    int next = first;
    while (inUse(socketHandle(next))) {
        next = vk::nextPortCount(next);
        if (next == first) break;
    }
    return next;
}

} // namespace vktcp

#endif
