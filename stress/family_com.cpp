// libvkcom: three serial ports on pseudo-terminals of one simulated reader.
// Every thread opens, sets up, transfers on, closes and reopens any of them,
// with the handle it last saw (which another thread may have closed), while
// the simulator drops lines (a hung-up pty is replaced when the port is opened
// again), answers late or not at all.
#include "families.h"
#include "sim_parts.h"

#include <vkcom/vizer.h>

#include <cstdlib>
#include <memory>

namespace vkstress {
namespace {

constexpr int kPorts = 3;
// The longest reply time-out the run sets ("TIMEOUT", ms), on every port it
// opens before any thread transfers on it. A transfer may take it twice (the
// quiet line awaited after a time-out) plus the character time-outs of a reply
// completed by a quiet line.
constexpr int kLongestTimeoutMs = 60;
constexpr Millis kTransferLimit{2 * kLongestTimeoutMs + 300};
constexpr Millis kCallLimit{500};
// Codes the program reacts to as an application does: the line is gone.
constexpr int kRead = -1032;
constexpr int kTransmit = -1037;
constexpr int kFlushInput = -1034;

struct Port {
    int number = 0;
    std::string link;
    std::string resource; // "serial port <number>", for the handle book
    std::atomic<int> handle{0};
    // Held by the thread that replaces the port's pseudo-terminal and reopens the
    // port; guards `pty`. First in the program's lock order: the calls it makes
    // meanwhile take the handle book's and the run's locks.
    std::mutex lifecycle;
    krnsim::ConnectionId pty = 0;
};

class ComStress {
  public:
    explicit ComStress(Run& run) : run_(run), book_(run) {
        installEcho(sim_.reader());
        std::string key = "PORTPREFIX";
        std::string prefix = dir_.prefix();
        VIZER_SetPortPara(0, key.data(), prefix.data());
        for (int i = 0; i < kPorts; ++i) {
            Port& p = ports_[static_cast<std::size_t>(i)];
            p.number = i + 1;
            p.link = dir_.link(p.number);
            p.resource = "serial port " + std::to_string(p.number);
            p.pty = sim_.openPty(p.link).connection;
        }
    }

    void work(Worker& w) {
        while (w.next()) {
            Port& p = ports_[static_cast<std::size_t>(w.uniform(0, kPorts - 1))];
            // Mostly, what an application does first without a handle: open the port.
            if (p.handle.load() == 0 && w.chance(0.8)) {
                reopen(w, p);
                continue;
            }
            enum {
                Transceive,
                TransmitReceive,
                Close,
                Open,
                Reopen,
                SetPara,
                PortNumber,
                PortHandle,
                List,
                LastError,
                Trouble,
                Handler,
                Flush
            };
            static constexpr std::array<int, 13> kWeights = {30, 8, 10, 8, 5, 8, 6, 6, 3, 3, 4, 2, 2};
            switch (w.pick(kWeights)) {
            case Transceive: transceive(w, p); break;
            case TransmitReceive: transmitReceive(w, p); break;
            case Close: close(w, p, p.handle.load()); break;
            case Open: open(w, p); break;
            case Reopen: reopen(w, p); break;
            case SetPara: setPara(w, p); break;
            case PortNumber: portNumber(w, p); break;
            case PortHandle: portHandle(w, p); break;
            case List: list(w); break;
            case LastError: lastError(w, p); break;
            case Trouble: queueTrouble(w, sim_.reader(), Millis(kLongestTimeoutMs)); break;
            case Handler: handler(w, p); break;
            case Flush: flush(w, p); break;
            }
        }
    }

    // Closes every port still open; the list must then be empty.
    void finish(Worker& w) {
        for (int h = VIZER_GetPortList(0); h > 0; h = VIZER_GetPortList(0)) {
            if (w.call("VIZER_ClosePort", h, kCallLimit, [&] { return VIZER_ClosePort(h); }) != 0) {
                run_.broken("VIZER_ClosePort(" + hex(h) + ") failed for a port the list names");
                break;
            }
        }
    }

  private:
    void transceive(Worker& w, Port& p) {
        const int h = p.handle.load();
        krnsim::Bytes request = echoRequest(w);
        std::uint8_t reply[512];
        const int n = w.call("VIZER_Transceive", h, kTransferLimit, [&] {
            return VIZER_Transceive(h, request.data(), static_cast<int>(request.size()), reply, sizeof reply);
        });
        if (n > static_cast<int>(sizeof reply))
            run_.broken("VIZER_Transceive(" + hex(h) + ") returned " + std::to_string(n) +
                        " for a buffer of " + std::to_string(sizeof reply));
        lost(w, p, n);
    }

    // The line reports an error: an application mostly opens the port again.
    void lost(Worker& w, Port& p, int result) {
        if ((result == kRead || result == kTransmit || result == kFlushInput) && w.chance(0.5)) reopen(w, p);
    }

    void transmitReceive(Worker& w, Port& p) {
        const int h = p.handle.load();
        krnsim::Bytes request = echoRequest(w);
        const int sent = w.call("VIZER_Transmit", h, kTransferLimit, [&] {
            return VIZER_Transmit(h, request.data(), static_cast<int>(request.size()));
        });
        if (sent < 0) {
            lost(w, p, sent);
            return;
        }
        std::uint8_t reply[512];
        lost(w, p, w.call("VIZER_Receive", h, kTransferLimit, [&] {
            return VIZER_Receive(h, reply, sizeof reply);
        }));
    }

    void close(Worker& w, Port& p, int h) {
        if (w.call("VIZER_ClosePort", h, kCallLimit, [&] { return VIZER_ClosePort(h); }) == 0) {
            book_.closed(h);
            p.handle.compare_exchange_strong(h, 0);
        }
    }

    void open(Worker& w, Port& p) {
        std::string number = std::to_string(p.number);
        const HandleBook::Stamp before = book_.stamp();
        const int h = w.call("VIZER_OpenPort", 0, kCallLimit, [&] { return VIZER_OpenPort(number.data()); });
        if (h <= 0) return;
        book_.handedOut("VIZER_OpenPort", h, p.resource, before, true);
        // A fast line, so that a transfer takes little more than its reply's way.
        std::string key = "BAUD";
        std::string value = "115200";
        w.call("VIZER_SetPortPara", h, kCallLimit,
               [&] { return VIZER_SetPortPara(h, key.data(), value.data()); });
        key = "TIMEOUT";
        value = std::to_string(w.uniform(20, kLongestTimeoutMs));
        w.call("VIZER_SetPortPara", h, kCallLimit,
               [&] { return VIZER_SetPortPara(h, key.data(), value.data()); });
        p.handle.store(h);
    }

    // What an application does when the line is gone: close, wait for the
    // device to be back (here: a new pseudo-terminal), open again.
    void reopen(Worker& w, Port& p) {
        std::lock_guard lock(p.lifecycle);
        close(w, p, p.handle.load());
        if (!serving(sim_, p.pty)) p.pty = sim_.openPty(p.link).connection;
        open(w, p);
    }

    void setPara(Worker& w, Port& p) {
        const int h = p.handle.load();
        static constexpr std::array<const char*, 4> kKeys = {"TIMEOUT", "USENUBO", "TXDELAYTIME",
                                                             "CHARTIMEOUTMPY"};
        const std::size_t k = static_cast<std::size_t>(w.uniform(0, kKeys.size() - 1));
        std::string key = kKeys[k];
        std::string value = std::to_string(k == 0   ? w.uniform(20, kLongestTimeoutMs)
                                           : k == 1 ? w.uniform(0, 1)
                                           : k == 2 ? w.uniform(0, 5)
                                                    : w.uniform(1, 3));
        w.call("VIZER_SetPortPara", h, kCallLimit,
               [&] { return VIZER_SetPortPara(h, key.data(), value.data()); });
    }

    // A handle answers for the port it was opened for.
    void portNumber(Worker& w, Port& p) {
        const int h = p.handle.load();
        std::string key = "PORTNR";
        char value[256] = {};
        if (w.call("VIZER_GetPortPara", h, kCallLimit,
                   [&] { return VIZER_GetPortPara(h, key.data(), value); }) != 0)
            return;
        if (std::atoi(value) != p.number)
            run_.broken("VIZER_GetPortPara(" + hex(h) + ", \"PORTNR\") gave " + value + " for a handle of " +
                        p.resource);
    }

    void portHandle(Worker& w, Port& p) {
        std::string number = std::to_string(p.number);
        const HandleBook::Stamp before = book_.stamp();
        const int h =
            w.call("VIZER_GetPortHnd", 0, kCallLimit, [&] { return VIZER_GetPortHnd(number.data()); });
        if (h > 0) book_.handedOut("VIZER_GetPortHnd", h, p.resource, before, false);
    }

    void list(Worker& w) {
        int h = 0;
        for (int i = 0; i <= 2 * kPorts; ++i) {
            const HandleBook::Stamp before = book_.stamp();
            h = w.call("VIZER_GetPortList", h, kCallLimit, [&] { return VIZER_GetPortList(h); });
            if (h <= 0) return;
            book_.listed("VIZER_GetPortList", h, before);
        }
        run_.broken("VIZER_GetPortList walked more than " + std::to_string(2 * kPorts) + " handles for " +
                    std::to_string(kPorts) + " ports");
    }

    void lastError(Worker& w, Port& p) {
        const int h = p.handle.load();
        int code = 0;
        char text[256];
        if (w.call("VIZER_GetLastError", h, kCallLimit, [&] { return VIZER_GetLastError(h, &code, text); }) ==
            0)
            run_.expectDocumented("VIZER_GetLastError's code", h, code);
    }

    static void onLine(int, int) {}

    void handler(Worker& w, Port& p) {
        const int h = p.handle.load();
        _VIZER_EVENT_INIT record{};
        record.eventId = static_cast<std::uint32_t>(w.uniform(VIZER_EVENT_CTS, VIZER_EVENT_DTR));
        record.flag = VIZER_EVENT_FLAG_CALLBACK;
        record.callback = &onLine;
        if (w.chance(0.5))
            w.call("VIZER_AddEventHandler", h, kCallLimit, [&] { return VIZER_AddEventHandler(h, &record); });
        else
            w.call("VIZER_DelEventHandler", h, kCallLimit, [&] { return VIZER_DelEventHandler(h, &record); });
    }

    void flush(Worker& w, Port& p) {
        const int h = p.handle.load();
        std::string command = w.chance(0.5) ? "FLUSHINQ" : "FLUSHOUTQ";
        char value[256] = "";
        w.call("VIZER_DoPortCmd", h, kCallLimit, [&] { return VIZER_DoPortCmd(h, command.data(), value); });
    }

    Run& run_;
    HandleBook book_;
    LinkDir dir_;
    krnsim::Simulator sim_;
    std::array<Port, kPorts> ports_;
};

} // namespace

void runCom(Run& run) {
    auto stress = std::make_unique<ComStress>(run);
    drive(run, *stress);
}

} // namespace vkstress
