// libvkkrn: reader handles on ports of the serial and TCP libraries to
// simulated readers, and a reader without a port that listens for readers
// calling in. Every thread sends commands and transparent frames, sets
// parameters, adds and removes event handlers, deletes readers and makes new
// ones, closes and reopens their ports, starts, triggers and cancels tasks
// (inventories, the command queue's reply reader, notification listeners), and
// calls in as a reader that notifies, while the simulators drop connections.
// A reader takes tasks only on its own line (the command readers none), as
// the library asks: its task waits for its replies.
#include "families.h"
#include "sim_parts.h"

#include <krnsim/demo_field.h>
#include <krnsim/frame.h>
#include <krnsim/notifier.h>
#include <vkcom/vizer.h>
#include <vkkrn.h>
#include <vktcp.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>

namespace vkstress {
namespace {

enum class Line { Tcp, Pty, None };

// The reply time-out of the ports ("Timeout", ms) and the repeat count: a
// command may wait that long for each of its attempts, twice over when a late
// reply is awaited. The program sets it on every port it opens before the
// port has a reader.
constexpr int kLongestTimeoutMs = 150;
constexpr int kLongestRepeat = 2;
constexpr Millis kCommandLimit{2 * kLongestRepeat * kLongestTimeoutMs + 500};
// A task's reply waits: an inventory's attempt waits up to T x 110 + 7000 ms
// (T = 1 here) before a cancel or a deletion that joins it can go on.
constexpr unsigned kTaskTimeout = 1;
constexpr Millis kTaskStopLimit{kTaskTimeout * 120 + 7000 + kCommandLimit.count()};
// A listener's cancel waits for the frame it serves (T = 1 s per frame).
constexpr Millis kListenerStopLimit{3000};
constexpr Millis kCallLimit{1000};
// A TCP disconnection waits up to half a second for the connection's end.
constexpr Millis kDisconnectLimit{1500};
// The ports the listener reader takes turns on (a port a closed connection
// still holds is refused, -4086, until the system frees it).
constexpr int kListenerPorts = 3;
constexpr char kHost[] = "127.0.0.1";

class KrnStress;

struct ReaderSlot {
    KrnStress* owner = nullptr;
    int index = 0;
    Line line = Line::Tcp;
    bool tasks = false; // the reader that runs tasks 1, 2 and 5
    std::string resource;
    std::unique_ptr<krnsim::Simulator> sim; // none for the listener reader
    int tcpPort = 0;
    int comNumber = 0; // serial port number
    std::string link;
    std::atomic<int> port{0};
    std::atomic<int> reader{0};
    // Held by the thread that deletes the reader, closes its port, opens it
    // again and makes a new reader: guards `pty`. First in the program's lock
    // order: the calls it makes meanwhile take the handle book's and the run's locks.
    std::mutex lifecycle;
    krnsim::ConnectionId pty = 0;
    std::atomic<int> listenerPort{0};  // the port of the listener last started
    std::atomic<bool> lineLost{false}; // a task's callback found the line gone
};

// A port that was free a moment ago (bound to :0 and released).
std::uint16_t freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0)
        a.sin_port = 0;
    if (fd >= 0) ::close(fd);
    return ntohs(a.sin_port);
}

// Reader commands write up to 65,538 bytes (hex text 131,075).
unsigned char* scratch() {
    thread_local std::vector<unsigned char> buffer(131075);
    return buffer.data();
}

class KrnStress {
  public:
    explicit KrnStress(Run& run) : run_(run), book_(run) {
        std::string key = "PORTPREFIX";
        std::string prefix = dir_.prefix();
        VIZER_SetPortPara(0, key.data(), prefix.data());
        const Line lines[] = {Line::Tcp, Line::Pty, Line::Tcp, Line::None};
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            ReaderSlot& s = slots_[i];
            s.owner = this;
            s.index = static_cast<int>(i);
            s.line = lines[i];
            s.tasks = i == 2;
            s.resource = "reader " + std::to_string(i);
            if (s.line != Line::None) {
                s.sim = std::make_unique<krnsim::Simulator>();
                installEcho(s.sim->reader());
                krnsim::addDemoTags(s.sim->reader());
            }
            if (s.line == Line::Tcp) s.tcpPort = s.sim->listenTcp().port;
            if (s.line == Line::Pty) {
                s.comNumber = static_cast<int>(i) + 1;
                s.link = dir_.link(s.comNumber);
                s.pty = s.sim->openPty(s.link).connection;
            }
        }
        for (auto& p : listenerPorts_)
            p = freeLoopbackPort();
    }

    void work(Worker& w) {
        while (w.next()) {
            ReaderSlot& s =
                slots_[static_cast<std::size_t>(w.uniform(0, static_cast<int>(slots_.size()) - 1))];
            // Mostly, what an application does first without a reader: make one.
            if (s.reader.load() == 0 && w.chance(0.8)) {
                if (s.line == Line::None || s.port.load() != 0)
                    newReader(w, s);
                else
                    reconnect(w, s);
                continue;
            }
            if (s.line == Line::None)
                listenerOperation(w, s);
            else if (s.tasks)
                taskOperation(w, s);
            else
                commandOperation(w, s);
        }
    }

    // Deletes every reader and closes every port.
    void finish(Worker& w) {
        closing_.store(true);
        for (int h = VKKRN_GetReaderList(0); h > 0; h = VKKRN_GetReaderList(0)) {
            if (w.call("VKKRN_DeleteReader", h, kTaskStopLimit, [&] { return VKKRN_DeleteReader(h); }) != 0) {
                run_.broken("VKKRN_DeleteReader(" + hex(h) + ") failed for a reader the list names");
                break;
            }
        }
        for (ReaderSlot& s : slots_)
            closePort(w, s, s.port.exchange(0));
    }

    static void onTask(void* any, int reader, int taskId, int status, unsigned char, unsigned char*,
                       int len) {
        static_cast<ReaderSlot*>(any)->owner->taskEnded(*static_cast<ReaderSlot*>(any), reader, taskId,
                                                        status, len);
    }
    static void onNotification(void* any, int reader, int taskId, int status, unsigned char, unsigned char*,
                               int, char*, int) {
        static_cast<ReaderSlot*>(any)->owner->run_.expectDocumented("the listener callback", reader, status);
        (void)taskId;
    }
    static int onMessage(void* any, int reader, int, int status, unsigned char, unsigned char*, int, char*,
                         int, unsigned char* acknowledge) {
        static_cast<ReaderSlot*>(any)->owner->run_.expectDocumented("the listener callback", reader, status);
        *acknowledge = 0;
        return 1;
    }
    static void onEvent(void* any, unsigned char*, int) {
        ReaderSlot& s = *static_cast<ReaderSlot*>(any);
        // A handler may read its reader's parameters (not send commands).
        const int h = s.reader.load();
        char value[256] = {};
        s.owner->run_.expectDocumented("VKKRN_GetReaderPara in an event handler", h,
                                       VKKRN_GetReaderPara(h, "ERRCODE", value));
    }

  private:
    // ---- Command readers ----------------------------------------------------

    void commandOperation(Worker& w, ReaderSlot& s) {
        enum {
            Transparent,
            Version,
            Info,
            Inventory,
            ReaderPara,
            PortPara,
            Delete,
            New,
            Reconnect,
            Trouble,
            Handler,
            List,
            LastError
        };
        static constexpr std::array<int, 13> kWeights = {20, 8, 4, 4, 6, 4, 5, 5, 4, 5, 3, 2, 2};
        switch (w.pick(kWeights)) {
        case Transparent: transparent(w, s); break;
        case Version: version(w, s); break;
        case Info: {
            const int h = s.reader.load();
            w.call("VKKRN_0x66_ReaderInfo", h, kCommandLimit,
                   [&] { return VKKRN_0x66_ReaderInfo(h, kBusAddress, 0, scratch(), w.uniform(0, 1)); });
            break;
        }
        case Inventory: inventory(w, s); break;
        case ReaderPara: readerPara(w, s); break;
        case PortPara: portPara(w, s); break;
        case Delete: deleteReader(w, s, s.reader.load()); break;
        case New: newReader(w, s); break;
        case Reconnect: reconnect(w, s); break;
        case Trouble: queueTrouble(w, s.sim->reader(), Millis(kLongestTimeoutMs)); break;
        case Handler: handler(w, s); break;
        case List: list(w); break;
        case LastError: lastError(w, s); break;
        }
    }

    void transparent(Worker& w, ReaderSlot& s) {
        const int h = s.reader.load();
        krnsim::Bytes frame = echoRequest(w);
        unsigned char reply[512];
        const int n = w.call("VKKRN_SendTransparent", h, kCommandLimit, [&] {
            return VKKRN_SendTransparent(h, frame.data(), static_cast<int>(frame.size()), reply, sizeof reply,
                                         0, 0);
        });
        if (n > static_cast<int>(sizeof reply))
            run_.broken("VKKRN_SendTransparent(" + hex(h) + ") returned " + std::to_string(n) +
                        " for a buffer of " + std::to_string(sizeof reply));
        lost(w, s, n);
    }

    void version(Worker& w, ReaderSlot& s) {
        const int h = s.reader.load();
        const int rc = w.call("VKKRN_0x65_SoftVersion", h, kCommandLimit, [&] {
            return VKKRN_0x65_SoftVersion(h, kBusAddress, scratch(), w.uniform(0, 1));
        });
        lost(w, s, rc);
    }

    void inventory(Worker& w, ReaderSlot& s) {
        const int h = s.reader.load();
        unsigned char request[] = {0x01, 0x00};
        int length = 0;
        const int rc = w.call("VKKRN_0xB0_ISOCmd", h, kCommandLimit, [&] {
            return VKKRN_0xB0_ISOCmd(h, kBusAddress, request, sizeof request, scratch(), &length, 0);
        });
        if (rc < 0 && length != 0)
            run_.broken("VKKRN_0xB0_ISOCmd(" + hex(h) + ") failed with " + std::to_string(rc) +
                        " but left a reply length of " + std::to_string(length));
        lost(w, s, rc);
    }

    // The port reports the line gone: an application mostly connects again.
    void lost(Worker& w, ReaderSlot& s, int result) {
        if ((result == kTcpRead || result == kTcpTransmit || result == kComRead) && w.chance(0.5))
            reconnect(w, s);
    }

    void readerPara(Worker& w, ReaderSlot& s) {
        const int h = s.reader.load();
        static constexpr std::array<const char*, 4> kKeys = {"REPCNT", "BUSYTO", "CHKRECBUSADR", "ERRCODE"};
        const std::size_t k = static_cast<std::size_t>(w.uniform(0, kKeys.size() - 1));
        if (k == 3) {
            char value[256] = {};
            w.call("VKKRN_GetReaderPara", h, kCallLimit,
                   [&] { return VKKRN_GetReaderPara(h, kKeys[k], value); });
            return;
        }
        const std::string value = std::to_string(k == 0 ? w.uniform(1, kLongestRepeat) : w.uniform(0, 1));
        w.call("VKKRN_SetReaderPara", h, kCallLimit,
               [&] { return VKKRN_SetReaderPara(h, kKeys[k], value.c_str()); });
    }

    void portPara(Worker& w, ReaderSlot& s) {
        const int h = s.reader.load();
        std::string key = "Timeout";
        std::string value = std::to_string(w.uniform(50, kLongestTimeoutMs));
        w.call("VKKRN_PI_SetPortPara", h, kCallLimit,
               [&] { return VKKRN_PI_SetPortPara(h, key.data(), value.data()); });
    }

    static void onCommandEvent(void* any, unsigned char* data, int value) { onEvent(any, data, value); }

    void handler(Worker& w, ReaderSlot& s) {
        const int h = s.reader.load();
        _VKKRN_EVENT_INIT r{};
        r.pAny = &s;
        r.uiUse = 1; // frames sent and received, errors
        r.uiFlag = 6;
        r.callback.form6 = &KrnStress::onCommandEvent;
        if (w.chance(0.5))
            w.call("VKKRN_AddEventHandler", h, kCallLimit, [&] { return VKKRN_AddEventHandler(h, &r); });
        else
            w.call("VKKRN_DelEventHandler", h, kCallLimit, [&] { return VKKRN_DelEventHandler(h, &r); });
    }

    void list(Worker& w) {
        int h = 0;
        for (int i = 0; i < 64; ++i) {
            const HandleBook::Stamp before = book_.stamp();
            h = w.call("VKKRN_GetReaderList", h, kCallLimit, [&] { return VKKRN_GetReaderList(h); });
            if (h <= 0) return;
            book_.listed("VKKRN_GetReaderList", h, before);
        }
        run_.broken("VKKRN_GetReaderList walked more than 64 readers");
    }

    void lastError(Worker& w, ReaderSlot& s) {
        const int h = s.reader.load();
        int code = 0;
        char text[256];
        if (w.call("VKKRN_GetLastError", h, kCallLimit, [&] { return VKKRN_GetLastError(h, &code, text); }) ==
            0)
            run_.expectDocumented("VKKRN_GetLastError's code", h, code);
    }

    // ---- Reader and port lives ------------------------------------------------

    Millis deleteLimit(const ReaderSlot& s) const {
        return s.tasks ? kTaskStopLimit : s.line == Line::None ? kListenerStopLimit : kCallLimit;
    }

    void deleteReader(Worker& w, ReaderSlot& s, int h) {
        if (w.call("VKKRN_DeleteReader", h, deleteLimit(s), [&] { return VKKRN_DeleteReader(h); }) == 0) {
            book_.closed(h);
            s.reader.compare_exchange_strong(h, 0);
        }
    }

    // A new reader on the slot's port in place of the one it had.
    void newReader(Worker& w, ReaderSlot& s) {
        const int port = s.port.load();
        const HandleBook::Stamp before = book_.stamp();
        const int h = w.call("VKKRN_NewReader", port, kCallLimit, [&] { return VKKRN_NewReader(port); });
        if (h <= 0) return;
        book_.handedOut("VKKRN_NewReader", h, s.resource, before, true);
        if (s.line != Line::None) {
            std::string key = "Timeout";
            std::string value = std::to_string(w.uniform(50, kLongestTimeoutMs));
            w.call("VKKRN_PI_SetPortPara", h, kCallLimit,
                   [&] { return VKKRN_PI_SetPortPara(h, key.data(), value.data()); });
        }
        if (const int old = s.reader.exchange(h); old > 0) deleteReader(w, s, old);
    }

    static void closePort(Worker& w, ReaderSlot& s, int port) {
        vkstress::closePort(w, s.line == Line::Tcp, port, kDisconnectLimit);
    }

    // What an application does when the line is gone: delete the reader, close
    // the port, open it again (a new pty in place of one that hung up) and make
    // a new reader on it.
    void reconnect(Worker& w, ReaderSlot& s) {
        if (s.line == Line::None) return;
        std::lock_guard lock(s.lifecycle);
        deleteReader(w, s, s.reader.load());
        closePort(w, s, s.port.exchange(0));
        if (s.line == Line::Pty && !serving(*s.sim, s.pty)) s.pty = s.sim->openPty(s.link).connection;
        const int port = openPort(w, s.line == Line::Tcp, s.tcpPort, s.comNumber,
                                  Millis(w.uniform(50, kLongestTimeoutMs)), kCallLimit);
        if (port <= 0) return;
        s.port.store(port);
        newReader(w, s);
    }

    // ---- The task reader --------------------------------------------------------

    void taskOperation(Worker& w, ReaderSlot& s) {
        // The callback may not delete its reader: the application reconnects afterwards.
        if (s.lineLost.exchange(false) && w.chance(0.8)) {
            reconnect(w, s);
            return;
        }
        enum { Start, Trigger, Cancel, Queue, Delete, New, Reconnect, Drop };
        static constexpr std::array<int, 8> kWeights = {10, 6, 6, 3, 3, 3, 2, 2};
        switch (w.pick(kWeights)) {
        case Start: startTask(w, s, w.uniform(1, 2)); break;
        case Trigger: {
            const int h = s.reader.load();
            w.call("VKKRN_TriggerAsyncTask", h, kCallLimit, [&] { return VKKRN_TriggerAsyncTask(h); });
            break;
        }
        case Cancel: cancel(w, s, kTaskStopLimit); break;
        case Queue: queue(w, s); break;
        case Delete: deleteReader(w, s, s.reader.load()); break;
        case New: newReader(w, s); break;
        case Reconnect: reconnect(w, s); break;
        case Drop: queueDrop(w, s.sim->reader()); break;
        }
    }

    _VKKRN_TASK_INIT taskRecord(ReaderSlot& s) {
        _VKKRN_TASK_INIT r{};
        r.pAny = &s;
        r.ucBusAdr = kBusAddress;
        r.uiMode = 1;
        r.uiTimeout = kTaskTimeout;
        r.uiCallbackVariant = 1;
        r.callback.form1 = &KrnStress::onTask;
        return r;
    }

    void startTask(Worker& w, ReaderSlot& s, int taskId) {
        const int h = s.reader.load();
        _VKKRN_TASK_INIT r = taskRecord(s);
        w.call("VKKRN_StartAsyncTask", h, kCallLimit,
               [&] { return VKKRN_StartAsyncTask(h, taskId, &r, nullptr); });
    }

    void queue(Worker& w, ReaderSlot& s) {
        const int h = s.reader.load();
        _VKKRN_TASK_INIT r = taskRecord(s);
        unsigned char data[] = {0x01, 0x02};
        w.call("VKKRN_0xBC_CmdQueue", h, kCommandLimit,
               [&] { return VKKRN_0xBC_CmdQueue(h, 1, 2, data, sizeof data, &r); });
    }

    void cancel(Worker& w, ReaderSlot& s, Millis limit) {
        const int h = s.reader.load();
        w.call("VKKRN_CancelAsyncTask", h, limit, [&] { return VKKRN_CancelAsyncTask(h); });
    }

    // On the task thread: its result, then (now and then) what a callback may
    // do: a command to its reader, and a cancel or delete it must be refused.
    void taskEnded(ReaderSlot& s, int reader, int taskId, int status, int len) {
        run_.expectDocumented("the task callback", reader, status);
        if (status < 0 && len != 0)
            run_.broken("the callback of task " + std::to_string(taskId) + " of reader " + hex(reader) +
                        " got code " + std::to_string(status) + " with data of length " +
                        std::to_string(len));
        if (status == kTcpRead || status == kTcpTransmit) s.lineLost.store(true);
        const unsigned turn = callbacks_.fetch_add(1);
        if (closing_.load()) return;
        if (turn % 5 == 0) {
            run_.expectDocumented("VKKRN_0x65_SoftVersion in a task callback", reader,
                                  VKKRN_0x65_SoftVersion(reader, kBusAddress, scratch(), 0));
        } else if (turn % 5 == 1) {
            expectRefused("VKKRN_CancelAsyncTask in its task's callback", reader,
                          VKKRN_CancelAsyncTask(reader));
        } else if (turn % 5 == 2) {
            expectRefused("VKKRN_DeleteReader in its task's callback", reader, VKKRN_DeleteReader(reader));
        }
    }

    void expectRefused(const char* call, int reader, int result) {
        // Refused with -4084; or the reader was deleted meanwhile by another thread.
        if (result != kRefusedInCallback && !run_.expectDocumented(call, reader, result)) return;
        if (result == 0) run_.broken(std::string(call) + " of reader " + hex(reader) + " succeeded");
    }

    // ---- The listener reader ------------------------------------------------------

    void listenerOperation(Worker& w, ReaderSlot& s) {
        enum { Start, Cancel, Delete, New, Notify };
        static constexpr std::array<int, 5> kWeights = {6, 4, 2, 2, 10};
        switch (w.pick(kWeights)) {
        case Start: startListener(w, s); break;
        case Cancel: cancel(w, s, kListenerStopLimit); break;
        case Delete: deleteReader(w, s, s.reader.load()); break;
        case New: newReader(w, s); break;
        case Notify: notify(w, s); break;
        }
    }

    void startListener(Worker& w, ReaderSlot& s) {
        const int h = s.reader.load();
        static constexpr std::array<int, 3> kTasks = {3, 6, 7};
        const int task = kTasks[static_cast<std::size_t>(w.uniform(0, 2))];
        const int port = listenerPorts_[static_cast<std::size_t>(w.uniform(0, kListenerPorts - 1))];
        _VKKRN_TASK_INIT r{};
        r.pAny = &s;
        r.ucBusAdr = kBusAddress;
        r.uiMode = 5;
        std::strcpy(r.cAddress, kHost);
        r.uiTcpPort = static_cast<unsigned>(port);
        r.uiTimeout = 1;
        r.uiKeepConnection = static_cast<unsigned>(w.uniform(0, 1));
        r.uiAcknowledge = static_cast<unsigned>(w.uniform(0, 1));
        if (task == 6) {
            r.uiCallbackVariant = 3;
            r.callback.form3 = &KrnStress::onMessage;
        } else {
            r.uiCallbackVariant = 2;
            r.callback.form2 = &KrnStress::onNotification;
        }
        if (w.call("VKKRN_StartAsyncTask", h, kCallLimit,
                   [&] { return VKKRN_StartAsyncTask(h, task, &r, nullptr); }) == 0)
            s.listenerPort.store(port);
    }

    // A reader calls in: connects, sends a notification or two, waits briefly
    // for the acknowledgement and goes (closing or resetting).
    void notify(Worker& w, ReaderSlot& s) {
        const int port = s.listenerPort.load();
        if (port == 0) return;
        static constexpr std::array<std::uint8_t, 3> kCommands = {0x22, 0x1F, 0x77};
        const int frames = w.uniform(1, 2);
        const bool reset = w.chance(0.3);
        try {
            krnsim::Notifier reader(static_cast<std::uint16_t>(port), kBusAddress, kHost);
            for (int i = 0; i < frames; ++i) {
                krnsim::Bytes data(static_cast<std::size_t>(w.uniform(0, 12)), static_cast<std::uint8_t>(i));
                reader.notify(kCommands[static_cast<std::size_t>(w.uniform(0, 2))], data);
                reader.waitFrame(Millis(w.uniform(0, 30)));
            }
            if (reset) reader.reset();
        } catch (const std::runtime_error&) {
            // Nobody listens, or the listener closed the connection meanwhile.
        }
    }

    // Codes the program reacts to, as the port libraries and the reader library document them.
    static constexpr int kTcpRead = -1232;
    static constexpr int kTcpTransmit = -1237;
    static constexpr int kComRead = -1032;
    static constexpr int kRefusedInCallback = -4084;

    Run& run_;
    HandleBook book_;
    LinkDir dir_;
    std::atomic<bool> closing_{false};
    std::atomic<unsigned> callbacks_{0};
    std::array<std::uint16_t, kListenerPorts> listenerPorts_{};
    std::array<ReaderSlot, 4> slots_;

  public:
    // Opens every port and makes the readers.
    void start(Worker& w) {
        for (ReaderSlot& s : slots_) {
            if (s.line == Line::None)
                newReader(w, s);
            else
                reconnect(w, s);
        }
    }
};

} // namespace

void runKrn(Run& run) {
    auto stress = std::make_unique<KrnStress>(run);
    drive(run, *stress);
}

} // namespace vkstress
