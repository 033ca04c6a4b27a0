#include "exchange/tcp_fan_out.h"

#include "exchange/port_api.h"
#include "reader/reader.h"
#include "texts/error_codes.h"

#include <vktcp.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace vkkrn {

namespace {

struct Socket {
    _VKTCP_EVENT_INIT record{};
    std::vector<VKKRNReader*> readers; // guarded by the leaf lock
    bool registered = false;           // guarded by the registration lock
};

// Lock order: the registration lock, then the port library's registry lock (its
// add and delete), or the leaf lock. The port library calls the handler under
// its registry lock, and the handler takes only the leaf lock; the leaf lock is
// never held while calling the port library.
struct FanOut {
    std::mutex registration;
    std::mutex leaf;
    std::map<int, std::unique_ptr<Socket>> sockets; // changed under both locks
};

// Never destroyed: readers leave during the exit-time teardown.
FanOut& fanOut() {
    static FanOut* instance = new FanOut;
    return *instance;
}

void onDisconnect(void* any, int socketHandle, int event, int value) {
    auto* socket = static_cast<Socket*>(any);
    std::lock_guard<std::mutex> lock(fanOut().leaf);
    for (VKKRNReader* reader : socket->readers)
        VKKRNReader::cbsTcpEvent(reader, socketHandle, event, value);
}

} // namespace

void joinTcpFanOut(int socketHandle, VKKRNReader* reader, LibraryServices& library) {
    FanOut& f = fanOut();
    std::lock_guard<std::mutex> registration(f.registration);
    Socket* socket = nullptr;
    {
        std::lock_guard<std::mutex> lock(f.leaf);
        std::unique_ptr<Socket>& entry = f.sockets[socketHandle];
        if (!entry) {
            entry = std::make_unique<Socket>();
            entry->record.pAny = entry.get();
            entry->record.eventId = VKTCP_EVENT_DISCONNECT;
            entry->record.flag = VKTCP_EVENT_FLAG_CONTEXT;
            entry->record.callback = &onDisconnect;
        }
        entry->readers.push_back(reader);
        socket = entry.get();
    }
    if (socket->registered) return;
    if (auto add = library.PortFunction<VKTCP_AddEventHandler_Fn>(kIdTcpAddEventHandler))
        socket->registered = add(socketHandle, &socket->record) == 0;
}

void leaveTcpFanOut(int socketHandle, VKKRNReader* reader, LibraryServices& library) {
    FanOut& f = fanOut();
    std::lock_guard<std::mutex> registration(f.registration);
    std::unique_ptr<Socket> gone;
    {
        std::lock_guard<std::mutex> lock(f.leaf);
        const auto it = f.sockets.find(socketHandle);
        if (it == f.sockets.end()) return;
        auto& readers = it->second->readers;
        readers.erase(std::remove(readers.begin(), readers.end(), reader), readers.end());
        if (!readers.empty()) return;
        gone = std::move(it->second);
        f.sockets.erase(it);
    }
    // Once deleted, the port library calls the handler no more: it calls
    // handlers under the lock its deletion takes.
    if (gone->registered) {
        if (auto del = library.PortFunction<VKTCP_DelEventHandler_Fn>(kIdTcpDelEventHandler))
            del(socketHandle, &gone->record);
    }
}

} // namespace vkkrn
