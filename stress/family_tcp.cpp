// libvktcp: connections to three simulated readers on loopback. Every thread
// connects, sets up, transfers on, disconnects and reconnects any of them with
// the handle it last saw, while the simulators drop connections, answer late
// or not at all. Connections carry a disconnection handler that reconnects, as
// an application does; neither it nor any call that begins after it ran may be
// handed the handle whose disconnection is under way.
#include "families.h"
#include "sim_parts.h"

#include <vktcp.h>

#include <cstdlib>
#include <memory>

namespace vkstress {
namespace {

constexpr int kTargets = 3;
constexpr char kHost[] = "127.0.0.1";
// The reply time-outs the run sets ("TIMEOUT", ms) and the character
// time-out; a transfer may also wait out a late reply of the one before. Every
// thread that is handed a connection sets them before any thread transfers on
// it: the library's own (3000 and 250 ms) never apply.
constexpr int kLongestTimeoutMs = 100;
constexpr int kCharTimeoutMs = 30;
constexpr Millis kTransferLimit{3 * kLongestTimeoutMs + 2 * kCharTimeoutMs};
// A disconnection waits up to half a second for the connection's end, then
// runs the handlers (which may connect again).
constexpr Millis kDisconnectLimit{1500};
constexpr Millis kCallLimit{500};

class TcpStress;

struct Target {
    TcpStress* owner = nullptr;
    krnsim::Simulator sim;
    int port = 0;
    std::string resource; // "127.0.0.1:<port>"
    std::atomic<int> handle{0};
};

class TcpStress {
  public:
    explicit TcpStress(Run& run) : run_(run), book_(run) {
        for (Target& t : targets_) {
            t.owner = this;
            installEcho(t.sim.reader());
            t.port = t.sim.listenTcp().port;
            t.resource = std::string(kHost) + ":" + std::to_string(t.port);
        }
    }

    void work(Worker& w) {
        while (w.next()) {
            Target& t = targets_[static_cast<std::size_t>(w.uniform(0, kTargets - 1))];
            // Mostly, what an application does first without a handle: connect.
            if (t.handle.load() == 0 && w.chance(0.8)) {
                connect(w, t);
                continue;
            }
            enum {
                Transceive,
                TransmitReceive,
                Connect,
                Disconnect,
                Reconnect,
                SocketHandle,
                SetPara,
                PortNumber,
                List,
                LastError,
                State,
                Detect,
                Trouble,
                Handler
            };
            static constexpr std::array<int, 14> kWeights = {25, 6, 10, 10, 4, 6, 6, 4, 3, 3, 1, 1, 6, 4};
            switch (w.pick(kWeights)) {
            case Transceive: transceive(w, t); break;
            case TransmitReceive: transmitReceive(w, t); break;
            case Connect: connect(w, t); break;
            case Disconnect: disconnect(w, t, t.handle.load()); break;
            case Reconnect:
                disconnect(w, t, t.handle.load());
                connect(w, t);
                break;
            case SocketHandle: socketHandle(w, t, 0); break;
            case SetPara: setPara(w, t); break;
            case PortNumber: portNumber(w, t); break;
            case List: list(w); break;
            case LastError: lastError(w, t); break;
            case State:
                w.call("VKTCP_GetSocketState", 0, kCallLimit,
                       [&] { return VKTCP_GetSocketState(kHost, t.port); });
                break;
            case Detect:
                w.call("VKTCP_Detect", 0, kCallLimit, [&] { return VKTCP_Detect(kHost, t.port); });
                break;
            case Trouble: queueTrouble(w, t.sim.reader(), Millis(kLongestTimeoutMs)); break;
            case Handler: handler(w, t); break;
            }
        }
    }

    // Disconnects every socket still listed (the handlers no longer
    // reconnect); the list must then be empty.
    void finish(Worker& w) {
        closing_.store(true);
        for (int h = VKTCP_GetSocketList(0); h > 0; h = VKTCP_GetSocketList(0)) {
            const int rc =
                w.call("VKTCP_DisConnect", h, kDisconnectLimit, [&] { return VKTCP_DisConnect(h); });
            if (rc < 0) {
                run_.broken("VKTCP_DisConnect(" + hex(h) + ") failed with " + std::to_string(rc) +
                            " for a socket the list names");
                break;
            }
        }
    }

    // The disconnection handler: the socket's end is under way.
    static void onDisconnect(void* any, int socket, int eventId, int value) {
        Target& t = *static_cast<Target*>(any);
        t.owner->disconnecting(t, socket, eventId, value);
    }

  private:
    void disconnecting(Target& t, int socket, int eventId, int value) {
        if (eventId != VKTCP_EVENT_DISCONNECT || value != 0) {
            run_.broken("the DISCONNECT handler of " + hex(socket) + " was called with event " +
                        std::to_string(eventId) + ", value " + std::to_string(value));
            return;
        }
        book_.endAnnounced(socket);
        Worker* w = Run::current();
        if (w == nullptr) {
            run_.broken("the DISCONNECT handler of " + hex(socket) +
                        " ran on a thread that did not disconnect");
            return;
        }
        if (closing_.load()) return;
        // An application connects anew, or finds its reader again, from here.
        if (w->chance(0.7)) connect(*w, t, socket);
        socketHandle(*w, t, socket);
    }

    void transceive(Worker& w, Target& t) {
        const int h = t.handle.load();
        krnsim::Bytes request = echoRequest(w);
        std::uint8_t reply[512];
        const int n = w.call("VKTCP_Transceive", h, kTransferLimit, [&] {
            return VKTCP_Transceive(h, request.data(), static_cast<int>(request.size()), reply, sizeof reply);
        });
        if (n > static_cast<int>(sizeof reply))
            run_.broken("VKTCP_Transceive(" + hex(h) + ") returned " + std::to_string(n) +
                        " for a buffer of " + std::to_string(sizeof reply));
        lost(w, t, h, n);
    }

    void transmitReceive(Worker& w, Target& t) {
        const int h = t.handle.load();
        krnsim::Bytes request = echoRequest(w);
        int rc = w.call("VKTCP_Transmit", h, kTransferLimit,
                        [&] { return VKTCP_Transmit(h, request.data(), static_cast<int>(request.size())); });
        if (rc >= 0) {
            std::uint8_t reply[512];
            rc = w.call("VKTCP_Receive", h, kTransferLimit,
                        [&] { return VKTCP_Receive(h, reply, sizeof reply); });
        }
        lost(w, t, h, rc);
    }

    // The port reports the connection gone: an application mostly connects again.
    void lost(Worker& w, Target& t, int h, int result) {
        if ((result == -1232 || result == -1237) && w.chance(0.5)) {
            disconnect(w, t, h);
            connect(w, t);
        }
    }

    // `ending`: the socket whose disconnection handler runs on this thread (0: none).
    void connect(Worker& w, Target& t, int ending = 0) {
        const HandleBook::Stamp before = book_.stamp();
        const int h =
            w.call("VKTCP_Connect", ending, kCallLimit, [&] { return VKTCP_Connect(kHost, t.port); });
        if (h <= 0) return;
        if (h == ending) {
            // What the application gets: a closed connection.
            krnsim::Bytes request = echoRequest(w);
            const int sent = VKTCP_Transmit(h, request.data(), static_cast<int>(request.size()));
            run_.broken("VKTCP_Connect(" + t.resource + ") in the DISCONNECT handler of " + hex(ending) +
                        " handed out that very handle; VKTCP_Transmit on it gave " + std::to_string(sent));
            return;
        }
        book_.handedOut("VKTCP_Connect", h, t.resource, before, false);
        const std::string timeout = std::to_string(w.uniform(20, kLongestTimeoutMs));
        w.call("VKTCP_SetSocketPara", h, kCallLimit,
               [&] { return VKTCP_SetSocketPara(h, "TIMEOUT", timeout.c_str()); });
        const std::string charTimeout = std::to_string(w.uniform(5, kCharTimeoutMs));
        w.call("VKTCP_SetSocketPara", h, kCallLimit,
               [&] { return VKTCP_SetSocketPara(h, "CHARTIMEOUT", charTimeout.c_str()); });
        t.handle.store(h);
        // Most connections carry the handler; adding it again adds nothing.
        if (w.chance(0.8)) addHandler(w, t, h);
    }

    void disconnect(Worker& w, Target& t, int h) {
        if (w.call("VKTCP_DisConnect", h, kDisconnectLimit, [&] { return VKTCP_DisConnect(h); }) >= 0) {
            book_.closed(h);
            t.handle.compare_exchange_strong(h, 0);
        }
    }

    void socketHandle(Worker& w, Target& t, int ending) {
        const HandleBook::Stamp before = book_.stamp();
        const int h = w.call("VKTCP_GetSocketHnd", ending, kCallLimit,
                             [&] { return VKTCP_GetSocketHnd(kHost, t.port); });
        if (h <= 0) return;
        if (h == ending) {
            run_.broken("VKTCP_GetSocketHnd(" + t.resource + ") in the DISCONNECT handler of " + hex(ending) +
                        " found that very handle");
            return;
        }
        book_.handedOut("VKTCP_GetSocketHnd", h, t.resource, before, false);
    }

    static _VKTCP_EVENT_INIT record(Target& t) {
        _VKTCP_EVENT_INIT r{};
        r.pAny = &t;
        r.eventId = VKTCP_EVENT_DISCONNECT;
        r.flag = VKTCP_EVENT_FLAG_CONTEXT;
        r.callback = &TcpStress::onDisconnect;
        return r;
    }

    void addHandler(Worker& w, Target& t, int h) {
        _VKTCP_EVENT_INIT r = record(t);
        w.call("VKTCP_AddEventHandler", h, kCallLimit, [&] { return VKTCP_AddEventHandler(h, &r); });
    }

    void handler(Worker& w, Target& t) {
        const int h = t.handle.load();
        if (w.chance(0.7)) {
            addHandler(w, t, h);
        } else {
            _VKTCP_EVENT_INIT r = record(t);
            w.call("VKTCP_DelEventHandler", h, kCallLimit, [&] { return VKTCP_DelEventHandler(h, &r); });
        }
    }

    void setPara(Worker& w, Target& t) {
        const int h = t.handle.load();
        static constexpr std::array<const char*, 5> kKeys = {"TIMEOUT", "CHARTIMEOUT", "USENUBO",
                                                             "TXDELAYTIME", "HOSTADR"};
        const std::size_t k = static_cast<std::size_t>(w.uniform(0, kKeys.size() - 1));
        if (k == 4) {
            char value[128] = {};
            w.call("VKTCP_GetSocketPara", h, kCallLimit,
                   [&] { return VKTCP_GetSocketPara(h, kKeys[k], value); });
            return;
        }
        const std::string value = std::to_string(k == 0   ? w.uniform(20, kLongestTimeoutMs)
                                                 : k == 1 ? w.uniform(5, kCharTimeoutMs)
                                                 : k == 2 ? w.uniform(0, 1)
                                                          : w.uniform(0, 5));
        w.call("VKTCP_SetSocketPara", h, kCallLimit,
               [&] { return VKTCP_SetSocketPara(h, kKeys[k], value.c_str()); });
    }

    // A handle answers for the connection it was handed out for.
    void portNumber(Worker& w, Target& t) {
        const int h = t.handle.load();
        char value[128] = {};
        if (w.call("VKTCP_GetSocketPara", h, kCallLimit,
                   [&] { return VKTCP_GetSocketPara(h, "PORTNR", value); }) != 0)
            return;
        if (std::atoi(value) != t.port)
            run_.broken("VKTCP_GetSocketPara(" + hex(h) + ", \"PORTNR\") gave " + value +
                        " for a handle of " + t.resource);
    }

    void list(Worker& w) {
        int h = 0;
        for (int i = 0; i < 64; ++i) {
            const HandleBook::Stamp before = book_.stamp();
            h = w.call("VKTCP_GetSocketList", h, kCallLimit, [&] { return VKTCP_GetSocketList(h); });
            if (h <= 0) return;
            book_.listed("VKTCP_GetSocketList", h, before);
        }
        run_.broken("VKTCP_GetSocketList walked more than 64 sockets");
    }

    void lastError(Worker& w, Target& t) {
        const int h = t.handle.load();
        int code = 0;
        char text[256];
        if (w.call("VKTCP_GetLastError", h, kCallLimit, [&] { return VKTCP_GetLastError(h, &code, text); }) ==
            0)
            run_.expectDocumented("VKTCP_GetLastError's code", h, code);
    }

    Run& run_;
    HandleBook book_;
    std::atomic<bool> closing_{false};
    std::array<Target, kTargets> targets_;
};

} // namespace

void runTcp(Run& run) {
    auto stress = std::make_unique<TcpStress>(run);
    drive(run, *stress);
}

} // namespace vkstress
