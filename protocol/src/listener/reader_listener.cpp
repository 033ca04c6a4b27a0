// The notification listener (tasks 3, 6 and 7): a TCP server for readers that
// connect on their own. One connection at a time: the listening socket is
// closed while a connection is served and opened again when it ends. The
// per-connection work (framing, handshake, dispatch, acknowledgements, limits)
// is the socket-free `listener::Session`; this thread owns the sockets, the
// clock and the stop request, and is the session's host towards the reader:
// stores and log lines under the command lock, callbacks without any lock.
#include "listener/listener_session.h"
#include "listener/listener_socket.h"
#include "reader/dispatch_mark.h"
#include "reader/reader.h"
#include "security/crypto_plugin_aes.h"
#include "tasks/worker_start.h"
#include "texts/error_codes.h"

#include <vkkrn.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <new>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace vkkrn;
using Clock = std::chrono::steady_clock;

constexpr int kListenerLevel = 2;
constexpr int kPollMs = 10;
constexpr int kIdleFactor = 3;
constexpr int kErrSocket = -4083;
constexpr unsigned kListenerMode = 5;

listener::Millis nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

// The listener's side towards its reader and the application.
class ReaderHost final : public listener::ListenerHost {
  public:
    ReaderHost(VKKRNReader& reader, LibraryServices& library, _VKKRN_STRUCT_THREAD_PARA& para,
               std::chrono::milliseconds sendLimit)
        : reader_(reader), library_(library), para_(para), rec_(*para.taskRecord), sendLimit_(sendLimit) {
        std::memcpy(configured_, rec_.cAddress, sizeof rec_.cAddress);
        configured_[sizeof rec_.cAddress] = '\0';
    }

    void connected(int fd, const char* peer) {
        fd_ = fd;
        std::snprintf(peer_, sizeof peer_, "%s", peer);
    }

    void line(const char* text) override { reader_.StringToLogFile(text, kListenerLevel); }
    void line(const char* text, int value) override { reader_.StringToLogFile(text, value, kListenerLevel); }

    void report(int code) override {
        if (reader_.IsStopFlag() == 0) {
            auto lock = reader_.Lock();
            reader_.SetActiveFlag();
            reader_.ErrorStrToLogDoc(code);
            reader_.ClearActiveFlag();
        }
        unsigned char none[1] = {0};
        unsigned char unused = 0;
        call(code, para_.command, none, 0, configured_, &unused);
    }

    int deliver(const listener::Delivery& frame, std::uint8_t* acknowledge) override {
        return call(frame.status, frame.command, frame.data, frame.length, peer_, acknowledge);
    }

    void storeReceived(const std::uint8_t* frame, int length, int status, bool secured) override {
        if (reader_.IsStopFlag() != 0) return;
        auto lock = reader_.Lock();
        reader_.SetActiveFlag();
        reader_.SetLastRecProt(frame, length);
        reader_.RecProtStrToLogDoc(length, status, secured, secured);
        reader_.ClearActiveFlag();
    }

    void storeSent(const std::uint8_t* frame, int length, bool secured) override {
        if (reader_.IsStopFlag() != 0) return;
        auto lock = reader_.Lock();
        reader_.SetActiveFlag();
        reader_.SetLastSendProt(frame, length);
        reader_.SendProtStrToApp(length, secured, secured);
        reader_.ClearActiveFlag();
    }

    void frameBegins() override { para_.inCallback.store(1); }
    void frameEnds() override { para_.inCallback.store(0); }

    int send(std::span<const std::uint8_t> bytes) override {
        return listener::sendWithin(fd_, bytes, sendLimit_, para_.stopRequest);
    }

    int frameMode() override { return reader_.GetCommFrame(); }
    void lockAdvanced() override { reader_.LockFrameMode(2); }

    std::unique_ptr<VKKRN_CryptoPlugIn> makeCipher(unsigned keyType, const std::uint8_t* key) override {
        std::unique_ptr<VKKRN_CryptoPlugIn> cipher(new (std::nothrow) VKKRN_CryptoPlugIn_AES(keyType, key));
        if (cipher && cipher->ErrorState() == 0) library_.CipherLibraryOpened();
        return cipher;
    }

  private:
    // Calls back by the record's variant; nothing once the task is asked to stop.
    int call(int status, unsigned char command, unsigned char* data, int length, char* address,
             unsigned char* acknowledge) {
        if (para_.stopRequest.load() != 0) return 0;
        const DispatchMark mark(&reader_); // commands to this reader from the callback: -4032
        const int hnd = reader_.GetReaderHnd();
        const int task = static_cast<int>(para_.taskId);
        const int port = static_cast<int>(rec_.uiTcpPort);
        switch (rec_.uiCallbackVariant) {
        case 1: rec_.callback.form1(rec_.pAny, hnd, task, status, command, data, length); return 0;
        case 2:
            rec_.callback.form2(rec_.pAny, hnd, task, status, command, data, length, address, port);
            return 0;
        default:
            *acknowledge = 0;
            return rec_.callback.form3(rec_.pAny, hnd, task, status, command, data, length, address, port,
                                       acknowledge);
        }
    }

    VKKRNReader& reader_;
    LibraryServices& library_;
    _VKKRN_STRUCT_THREAD_PARA& para_;
    const _VKKRN_TASK_INIT& rec_;
    std::chrono::milliseconds sendLimit_;
    int fd_ = -1;
    char configured_[sizeof(_VKKRN_TASK_INIT{}.cAddress) + 1] = {};
    char peer_[16] = {};
};

bool variantServes(unsigned int variant, unsigned int taskId) {
    if (taskId == 6) return variant == 3;
    return variant == 1 || variant == 2;
}

} // namespace

void VKKRNReader::keepConnection(int fd) {
    const int older = keptConnection_.exchange(fd);
    if (older >= 0) close(older);
}

void VKKRNReader::closeKeptConnection() {
    const int kept = keptConnection_.exchange(-1);
    if (kept >= 0) close(kept);
}

void VKKRNReader::closeListenerConnection(int fd, int number) {
    if (close(fd) != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "Disconnect (%d) with closesocket failed: ", number);
        StringToLogFile(text, errno, kListenerLevel);
    }
    char text[32];
    std::snprintf(text, sizeof text, "Disconnected (%d)", number);
    StringToLogFile(text, kListenerLevel);
}

void VKKRNReader::threadNotification() {
    const WorkerMark mark(this);
    _VKKRN_STRUCT_THREAD_PARA& para = taskThreadPara_;
    const _VKKRN_TASK_INIT& rec = *para.taskRecord;
    std::unique_lock<std::mutex> lock(commandMutex_, std::defer_lock);

    char text[64];
    std::snprintf(text, sizeof text, "VKKRN V%s : Enter notification thread", "07.04.01");
    StringToLogFile(text, kListenerLevel);
    const unsigned int seconds = rec.uiTimeout == 0 ? 1 : rec.uiTimeout;
    StringToLogFile("Set communication timeout: ", static_cast<int>(seconds), kListenerLevel);

    auto refuse = [&](int code) {
        para.startFailed.store(1);
        if (code != 0) logTaskError(lock, code);
        ClearThreadAsyncTask();
    };
    if (!variantServes(rec.uiCallbackVariant, para.taskId)) return refuse(kErrUnsupportedOption);
    if (rec.callback.form1 == nullptr) return refuse(kErrNullPointer);
    if (rec.uiMode != kListenerMode) return refuse(0);

    const listener::LineSink line = [this](const char* t, std::optional<int> value) {
        if (value)
            StringToLogFile(t, *value, kListenerLevel);
        else
            StringToLogFile(t, kListenerLevel);
    };
    int listening = listener::openListeningSocket(rec, line);
    if (listening < 0) return refuse(kErrSocket);
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[listener::kBufferSize]);
    if (!buffer) {
        close(listening);
        return refuse(kErrNoMemory);
    }

    const std::chrono::milliseconds limit(1000LL * seconds);
    ReaderHost host(*this, library_, para, limit);
    listener::SessionConfig config;
    config.taskId = static_cast<int>(para.taskId);
    config.command = para.command;
    config.busAddress = rec.ucBusAdr;
    config.acknowledge = rec.uiAcknowledge;
    config.cipher = rec.ucCipher != 0;
    config.keyLength = rec.uiKeyLength;
    config.key = rec.ucKey;
    config.frameLimit = limit.count();
    config.idleLimit = kIdleFactor * limit.count();
    listener::Session session(config, host);
    para.started.store(1);

    int connection = -1;
    while (para.stopRequest.load() == 0) {
        if (listening < 0) {
            listening = listener::openListeningSocket(rec, line);
            if (listening < 0) {
                // Listening again failed: the task ends, and says so.
                host.report(kErrSocket);
                para.startFailed.store(1);
                ClearThreadAsyncTask();
                para.started.store(0);
                return;
            }
        }
        pollfd waiting{listening, POLLIN, 0};
        const int ready = poll(&waiting, 1, kPollMs);
        if (ready <= 0) continue;
        sockaddr_in peer{};
        socklen_t peerSize = sizeof peer;
        connection =
            accept4(listening, reinterpret_cast<sockaddr*>(&peer), &peerSize, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            StringToLogFile("Accept returns: ", errno, kListenerLevel);
            close(listening);
            listening = -1;
            continue;
        }
        close(listening); // no second connection while this one is served
        listening = -1;
        char address[16];
        listener::formatPeer(peer.sin_addr.s_addr, address);
        char connected[48];
        std::snprintf(connected, sizeof connected, "Connected with: %s", address);
        StringToLogFile(connected, kListenerLevel);
        host.connected(connection, address);
        session.start(nowMs());
        connection = serveListenerConnection(session, connection, buffer.get());
        if (connection >= 0) break; // stopped while connected
    }

    if (connection >= 0) {
        if (rec.uiKeepConnection == 0)
            closeListenerConnection(connection, 5);
        else
            keepConnection(connection);
    }
    if (listening >= 0) close(listening);
    para.started.store(0);
}

// Serves one connection until it ends (-1, closed) or the task is asked to stop
// (the descriptor, still open).
int VKKRNReader::serveListenerConnection(listener::Session& session, int fd, unsigned char* buffer) {
    _VKKRN_STRUCT_THREAD_PARA& para = taskThreadPara_;
    bool readable = false; // the last read got all it asked for: read again before waiting
    while (para.stopRequest.load() == 0) {
        session.tick(nowMs());
        switch (session.closing()) {
        case listener::Session::Close::Idle: closeListenerConnection(fd, 6); return -1;
        case listener::Session::Close::SendFailed: close(fd); return -1;
        case listener::Session::Close::None: break;
        }
        if (!readable) {
            pollfd p{fd, POLLIN, 0};
            const int ready = poll(&p, 1, kPollMs);
            if (ready < 0) {
                if (errno == EINTR) continue;
                StringToLogFile("First select failed: ", errno, kListenerLevel);
                closeListenerConnection(fd, 1);
                return -1;
            }
            if (ready == 0) continue;
        }
        const bool head = session.betweenFrames();
        const std::size_t wanted = session.wanted();
        const ssize_t count = read(fd, buffer, wanted);
        readable = count > 0 && static_cast<std::size_t>(count) == wanted;
        if (count == 0) {
            closeListenerConnection(fd, head ? 2 : 4);
            return -1;
        }
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            StringToLogFile(head ? "Read error (1): " : "Read error (2): ", errno, kListenerLevel);
            closeListenerConnection(fd, head ? 2 : 4); // a broken connection does not mend
            return -1;
        }
        session.feed({buffer, static_cast<std::size_t>(count)}, nowMs());
    }
    return fd;
}
