// VKTCPDrvHnd: the registry of connected sockets behind the exported functions.
// It checks the arguments in the order callers rely on, keeps the library's last
// error and text language, and hands each socket call to its VKSocket.
#ifndef VKTCP_VKTCP_DRV_HND_H
#define VKTCP_VKTCP_DRV_HND_H

#include "error_texts.h"
#include "vk_socket.h"

#include <vkcommon/handle_table.h>
#include <vktcp.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vktcp {

class VKTCPDrvHnd {
  public:
    // `sharedErrorText`: the library-wide buffer that receives the text of every
    // unknown code asked for (kErrorTextBufferSize bytes).
    explicit VKTCPDrvHnd(char* sharedErrorText);
    // Disconnects (with its wait and handlers) every socket still listed.
    virtual ~VKTCPDrvHnd();
    VKTCPDrvHnd(const VKTCPDrvHnd&) = delete;
    VKTCPDrvHnd& operator=(const VKTCPDrvHnd&) = delete;

    void GetDLLVersion(char* version);
    int GetErrorText(int code, char* text);
    int GetLastError(int handle, int* code, char* text);
    int AddEventHandler(int handle, const _VKTCP_EVENT_INIT* record);
    int DelEventHandler(int handle, const _VKTCP_EVENT_INIT* record);
    int Detect(const char* host, int port);
    int Connect(const char* host, int port);
    int DisConnect(int handle);
    int GetSocketList(int handle);
    int GetSocketPara(int handle, const char* key, char* value);
    int SetSocketPara(int handle, const char* key, const char* value);
    int GetSocketHnd(const char* host, int port);
    int Transceive(int handle, const std::uint8_t* request, int requestLength, std::uint8_t* reply,
                   int replySize);
    int Transmit(int handle, const std::uint8_t* data, int length);
    int Receive(int handle, std::uint8_t* buffer, int bufferSize);
    int GetSocketState(const char* host, int port);

  private:
    using SocketRef = std::shared_ptr<VKSocket>;

    // The checks of every function that takes a handle: negative, zero, a null
    // pointer, a length of 0 or below, empty list, unknown handle. On success the
    // library's last error is 0 and `socket` holds a reference.
    int FindChecked(int handle, bool pointersPresent, bool lengthsPositive, SocketRef& socket);
    // Called with mutex_ held.
    SocketRef FindLocked(int handle) const;
    // The connection to this host text and port, none being disconnected.
    SocketRef FindByHostLocked(const char* host, int port) const;
    // Whether a connection to this host text and port is being disconnected and
    // has not ended yet.
    bool ClosingLocked(const char* host, int port) const;
    // Whether `socket` was connected to this host text (its address, or the name
    // it was given) and port.
    static bool Names(const VKSocket& socket, const char* host, int port);
    // A connect under way, by the caller's host text and port.
    struct Connecting {
        std::string host;
        int port = 0;
    };
    using ConnectingList = std::vector<Connecting>;
    // The connect under way to this host text and port, or connecting_.end().
    ConnectingList::const_iterator FindConnectingLocked(const char* host, int port) const;
    bool ValidHostAndPort(const char* host, int port) const;
    int Store(int code) {
        lastError_.store(code);
        return code;
    }

    std::atomic<int> lastError_{0};
    vk::HandleTable<SocketRef> sockets_; // guarded by mutex_, in the order of connection
    ConnectingList connecting_;          // guarded by mutex_: connects under way
    // With mutex_: a connect under way, or the connection of a socket being
    // disconnected, has ended.
    std::condition_variable changed_;
    int counter_ = 0; // guarded by mutex_
    std::atomic<int> language_;
    // Registry mutex: the socket list, the connects under way and the counter, held for look-ups and
    // changes of the list only, never across a transfer, a connect, a name
    // look-up or the wait of a disconnection. First in the lock order (before a
    // socket's I/O and handler-list mutexes).
    mutable std::mutex mutex_;
    char* sharedErrorText_;
    std::mutex sharedErrorTextMutex_; // guards *sharedErrorText_ only
};

} // namespace vktcp

#endif
