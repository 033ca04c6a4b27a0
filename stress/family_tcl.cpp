// libvktcl: transponders on two readers of libvkkrn (on a TCP and a serial
// port) in front of simulated T=CL cards. Every thread opens and deletes
// transponders, sends APDUs on them on its own thread and on the library's
// worker (whose callback fetches the response, deletes its transponder or
// starts the next APDU), pings and deselects, fetches responses, while readers
// are deleted and made anew under their transponders and the simulators drop
// connections. Every asynchronous start that returned 0 must call back exactly
// once, and no other.
#include "families.h"
#include "sim_parts.h"

#include <krnsim/reader_model.h>
#include <krnsim/tcl_card.h>
#include <vkcom/vizer.h>
#include <vkkrn.h>
#include <vktcl.h>
#include <vktcp.h>

#include <deque>
#include <memory>

namespace vkstress {
namespace {

constexpr int kReaders = 2;
constexpr int kTransponders = 4;
// The reply time-out of the ports ("Timeout", ms); the program sets it on
// every port it opens before the port has a reader.
constexpr int kLongestTimeoutMs = 150;
// An APDU of up to 300 bytes crosses a few blocks each way (the reader's
// buffers hold 256 bytes); each block waits up to the port's time-out, twice
// when a late answer is awaited.
constexpr int kLongestApdu = 300;
constexpr Millis kApduLimit{12 * 2 * kLongestTimeoutMs + 1000};
constexpr Millis kCallLimit{1000};
// A TCP disconnection waits up to half a second for the connection's end.
constexpr Millis kDisconnectLimit{1500};
// VKTCL_NewTransponder when the reader did not answer as it must, and the
// reader library's code for a reader handle it does not know.
constexpr int kCannotOpen = -4200;
constexpr int kNoSuchReader = -4023;

class TclStress;

struct TclReader {
    int index = 0;
    bool tcp = true;
    std::string resource;
    // The card answers on the simulator's thread: it goes after the simulator.
    std::unique_ptr<krnsim::TclCard> card;
    krnsim::Simulator sim;
    int tcpPort = 0;
    int comNumber = 0;
    std::string link;
    std::atomic<int> port{0};
    std::atomic<int> reader{0};
    // Held by the thread that deletes the reader, closes its port, opens it
    // again and makes a new reader; guards `pty`. First in the program's lock
    // order: the calls it makes meanwhile take the handle book's and the run's locks.
    std::mutex lifecycle;
    krnsim::ConnectionId pty = 0;
};

struct Transponder {
    std::size_t reader = 0; // index of its reader slot
    std::string resource;
    std::atomic<int> handle{0};
};

// One asynchronous start: what its callback does, and how often it came.
struct Pending {
    enum Action : int { Nothing, Fetch, Delete, Chain };
    TclStress* owner = nullptr;
    Transponder* slot = nullptr;
    int handle = 0;
    Action action = Nothing;
    bool chained = false;          // started from a callback
    std::atomic<int> started{-1};  // -1 not yet known, else 0 or 1: VKTCL_Apdu returned 0
    std::atomic<int> callbacks{0}; // callbacks that came
    std::atomic<int> returned{0};  // callbacks that are done with this record
    std::atomic<int> result{0};
};

class TclStress {
  public:
    explicit TclStress(Run& run) : run_(run), book_(run) {
        std::string key = "PORTPREFIX";
        std::string prefix = dir_.prefix();
        VIZER_SetPortPara(0, key.data(), prefix.data());
        for (int i = 0; i < kReaders; ++i) {
            TclReader& r = readers_[static_cast<std::size_t>(i)];
            r.index = i;
            r.tcp = i == 0;
            r.resource = "reader " + std::to_string(i);
            r.card = std::make_unique<krnsim::TclCard>(r.sim.reader());
            r.card->install();
            // Buffers of 256 bytes each way: longer APDUs are chained both ways.
            krnsim::Bytes info = krnsim::ReaderModel::defaultReaderInfo();
            info[7] = 0x01;
            info[8] = 0x00;
            info[9] = 0x01;
            info[10] = 0x00;
            r.sim.reader().setReaderInfo(0, info);
            if (r.tcp) {
                r.tcpPort = r.sim.listenTcp().port;
            } else {
                r.comNumber = i + 1;
                r.link = dir_.link(r.comNumber);
                r.pty = r.sim.openPty(r.link).connection;
            }
        }
        for (int i = 0; i < kTransponders; ++i) {
            Transponder& t = transponders_[static_cast<std::size_t>(i)];
            t.reader = static_cast<std::size_t>(i % kReaders);
            t.resource = "transponder " + std::to_string(i);
        }
    }

    void start(Worker& w) {
        for (TclReader& r : readers_)
            reconnect(w, r);
        for (Transponder& t : transponders_)
            newTransponder(w, t);
    }

    void work(Worker& w) {
        while (w.next()) {
            Transponder& t = transponders_[static_cast<std::size_t>(w.uniform(0, kTransponders - 1))];
            TclReader& r = readers_[t.reader];
            // Mostly, what an application does first without a transponder: open one.
            if (t.handle.load() == 0 && w.chance(0.8)) {
                newTransponder(w, t);
                continue;
            }
            enum {
                Apdu,
                AsyncApdu,
                Response,
                New,
                Delete,
                Ping,
                Deselect,
                List,
                Reconnect,
                DeleteReader,
                Drop,
                LastError
            };
            static constexpr std::array<int, 12> kWeights = {15, 15, 6, 6, 5, 4, 2, 2, 3, 1, 4, 1};
            switch (w.pick(kWeights)) {
            case Apdu: apdu(w, t); break;
            case AsyncApdu: asyncApdu(w, t, false); break;
            case Response: response(w, t); break;
            case New: newTransponder(w, t); break;
            case Delete: deleteTransponder(w, t, t.handle.load()); break;
            case Ping: {
                const int h = t.handle.load();
                w.call("VKTCL_Ping", h, kApduLimit, [&] { return VKTCL_Ping(h); });
                break;
            }
            case Deselect: {
                const int h = t.handle.load();
                w.call("VKTCL_Deselect", h, kApduLimit, [&] { return VKTCL_Deselect(h); });
                break;
            }
            case List: list(w); break;
            case Reconnect: reconnect(w, r); break;
            case DeleteReader: deleteReader(w, r, r.reader.load()); break;
            case Drop: queueDrop(w, r.sim.reader()); break;
            case LastError: {
                int code = 0;
                char text[VKTCL_TEXT_SIZE];
                if (w.call("VKTCL_GetLastError", 0, kCallLimit,
                           [&] { return VKTCL_GetLastError(&code, text); }) == 0)
                    run_.expectDocumented("VKTCL_GetLastError's code", 0, code);
                break;
            }
            }
        }
    }

    // Deletes every transponder (cancelling the APDUs under way), every reader
    // and port; then every start that returned 0 must have called back once.
    void finish(Worker& w) {
        closing_.store(true);
        for (int h = VKTCL_GetTransponderList(0); h > 0; h = VKTCL_GetTransponderList(0)) {
            if (w.call("VKTCL_DeleteTransponder", h, kApduLimit,
                       [&] { return VKTCL_DeleteTransponder(h); }) != 0) {
                run_.broken("VKTCL_DeleteTransponder(" + hex(h) +
                            ") failed for a transponder the list names");
                break;
            }
        }
        for (TclReader& r : readers_) {
            deleteReader(w, r, r.reader.exchange(0));
            closePort(w, r, r.port.exchange(0));
        }
        const auto deadline = Clock::now() + kApduLimit + run_.options().margin;
        while (!allCalledBack() && Clock::now() < deadline)
            std::this_thread::sleep_for(Millis(10));
        std::lock_guard lock(pendingMutex_);
        for (const Pending& p : pending_) {
            const int calls = p.callbacks.load();
            if (p.started.load() == 1 && calls != 1)
                run_.broken("the asynchronous APDU on " + hex(p.handle) +
                            " whose start returned 0 called back " + std::to_string(calls) + " times");
            if (p.started.load() == 0 && calls != 0)
                run_.broken("the asynchronous APDU on " + hex(p.handle) + " whose start failed called back " +
                            std::to_string(calls) + " times");
        }
    }

    static void onApdu(void* any, int handle, int result, int length) {
        auto& p = *static_cast<Pending*>(any);
        p.owner->calledBack(p, handle, result, length);
        p.returned.fetch_add(1);
    }

  private:
    static krnsim::Bytes randomApdu(Worker& w) {
        krnsim::Bytes a(
            static_cast<std::size_t>(w.chance(0.7) ? w.uniform(1, 40) : w.uniform(41, kLongestApdu)));
        for (auto& b : a)
            b = static_cast<std::uint8_t>(w.uniform(0, 255));
        return a;
    }

    void apdu(Worker& w, Transponder& t) {
        const int h = t.handle.load();
        krnsim::Bytes a = randomApdu(w);
        const int rc = w.call("VKTCL_Apdu", h, kApduLimit,
                              [&] { return VKTCL_Apdu(h, a.data(), static_cast<int>(a.size()), nullptr); });
        // The transponder's reader is gone: an application opens the transponder anew.
        if (rc == kNoSuchReader && w.chance(0.5)) newTransponder(w, t);
    }

    // The callback's APDU runs on the library's worker: `w` is the thread
    // that starts it (null for a start from a callback).
    void asyncApdu(Worker& w, Transponder& t, bool chained) {
        Pending* p = book(t, static_cast<Pending::Action>(w.uniform(0, 3)), chained);
        krnsim::Bytes a = randomApdu(w);
        _VKTCL_EVENT_INIT e{};
        e.pAny = p;
        e.uiFlag = VKTCL_CALLBACK4;
        e.callback = reinterpret_cast<void*>(&TclStress::onApdu);
        const int rc = w.call("VKTCL_Apdu (asynchronous)", p->handle, kCallLimit, [&] {
            return VKTCL_Apdu(p->handle, a.data(), static_cast<int>(a.size()), &e);
        });
        p->started.store(rc == 0 ? 1 : 0);
    }

    Pending* book(Transponder& t, Pending::Action action, bool chained) {
        std::lock_guard lock(pendingMutex_);
        Pending& p = pending_.emplace_back();
        p.owner = this;
        p.slot = &t;
        p.handle = t.handle.load();
        p.action = action;
        p.chained = chained;
        return &p;
    }

    // On the APDU worker.
    void calledBack(Pending& p, int handle, int result, int length) {
        p.result.store(result);
        const int calls = p.callbacks.fetch_add(1) + 1;
        if (calls > 1)
            run_.broken("the asynchronous APDU on " + hex(p.handle) + " called back again (result " +
                        std::to_string(result) + ")");
        if (handle != p.handle)
            run_.broken("the asynchronous APDU on " + hex(p.handle) + " called back for " + hex(handle));
        run_.expectDocumented("the APDU callback", handle, result);
        if (length < 0)
            run_.broken("the APDU callback of " + hex(handle) + " got a response length of " +
                        std::to_string(length));
        if (closing_.load()) return;
        switch (p.action) {
        case Pending::Nothing: break;
        case Pending::Fetch: {
            std::vector<unsigned char> out(static_cast<std::size_t>(std::max(length, 1)));
            run_.expectDocumented("VKTCL_GetResponseData in the APDU callback", handle,
                                  VKTCL_GetResponseData(handle, out.data(), static_cast<int>(out.size())));
            break;
        }
        case Pending::Delete: {
            const int rc = VKTCL_DeleteTransponder(handle);
            run_.expectDocumented("VKTCL_DeleteTransponder in the APDU callback", handle, rc);
            if (rc == 0) {
                book_.closed(handle);
                int expected = handle;
                p.slot->handle.compare_exchange_strong(expected, 0);
            }
            break;
        }
        case Pending::Chain:
            if (!p.chained) chain(p);
            break;
        }
    }

    // The next APDU, started from a callback (with a fixed request: the
    // library's thread has no random sequence of its own).
    void chain(Pending& previous) {
        Pending* p = book(*previous.slot, Pending::Fetch, true);
        p->handle = previous.handle;
        unsigned char a[] = {0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00};
        _VKTCL_EVENT_INIT e{};
        e.pAny = p;
        e.uiFlag = VKTCL_CALLBACK4;
        e.callback = reinterpret_cast<void*>(&TclStress::onApdu);
        const int rc = VKTCL_Apdu(p->handle, a, sizeof a, &e);
        run_.expectDocumented("VKTCL_Apdu (asynchronous) in the APDU callback", p->handle, rc);
        p->started.store(rc == 0 ? 1 : 0);
    }

    bool allCalledBack() {
        std::lock_guard lock(pendingMutex_);
        for (const Pending& p : pending_) {
            if (p.started.load() == 1 && p.returned.load() == 0) return false;
            if (p.callbacks.load() != p.returned.load()) return false;
        }
        return true;
    }

    void response(Worker& w, Transponder& t) {
        const int h = t.handle.load();
        std::vector<unsigned char> out(static_cast<std::size_t>(w.uniform(1, kLongestApdu + 2)));
        const int n = w.call("VKTCL_GetResponseData", h, kCallLimit, [&] {
            return VKTCL_GetResponseData(h, out.data(), static_cast<int>(out.size()));
        });
        if (n > static_cast<int>(out.size()))
            run_.broken("VKTCL_GetResponseData(" + hex(h) + ") returned " + std::to_string(n) +
                        " for a buffer of " + std::to_string(out.size()));
    }

    void newTransponder(Worker& w, Transponder& t) {
        TclReader& r = readers_[t.reader];
        // Without a reader, or when the reader cannot be asked, an application
        // makes the line anew first.
        if (r.reader.load() == 0) reconnect(w, r);
        const int reader = r.reader.load();
        const HandleBook::Stamp before = book_.stamp();
        const int h = w.call("VKTCL_NewTransponder", reader, kApduLimit, [&] {
            return VKTCL_NewTransponder(reader, kBusAddress, 0, 0x21, false, false);
        });
        if (h == kCannotOpen && w.chance(0.3)) reconnect(w, r);
        if (h <= 0) return;
        book_.handedOut("VKTCL_NewTransponder", h, t.resource, before, true);
        if (const int old = t.handle.exchange(h); old > 0) deleteTransponder(w, t, old);
    }

    void deleteTransponder(Worker& w, Transponder& t, int h) {
        if (w.call("VKTCL_DeleteTransponder", h, kApduLimit, [&] { return VKTCL_DeleteTransponder(h); }) ==
            0) {
            book_.closed(h);
            t.handle.compare_exchange_strong(h, 0);
        }
    }

    void list(Worker& w) {
        int h = 0;
        for (int i = 0; i < 64; ++i) {
            const HandleBook::Stamp before = book_.stamp();
            h = w.call("VKTCL_GetTransponderList", h, kCallLimit,
                       [&] { return VKTCL_GetTransponderList(h); });
            if (h <= 0) return;
            book_.listed("VKTCL_GetTransponderList", h, before);
        }
        run_.broken("VKTCL_GetTransponderList walked more than 64 transponders");
    }

    void deleteReader(Worker& w, TclReader& r, int h) {
        if (w.call("VKKRN_DeleteReader", h, kCallLimit, [&] { return VKKRN_DeleteReader(h); }) == 0)
            r.reader.compare_exchange_strong(h, 0);
    }

    static void closePort(Worker& w, TclReader& r, int port) {
        vkstress::closePort(w, r.tcp, port, kDisconnectLimit);
    }

    // A new line to the reader: delete it, close its port, open the port again
    // (a new pty in place of one that hung up), make a new reader. Its
    // transponders stay on the old one until they are opened anew.
    void reconnect(Worker& w, TclReader& r) {
        std::lock_guard lock(r.lifecycle);
        deleteReader(w, r, r.reader.load());
        closePort(w, r, r.port.exchange(0));
        if (!r.tcp && !serving(r.sim, r.pty)) r.pty = r.sim.openPty(r.link).connection;
        const int port =
            openPort(w, r.tcp, r.tcpPort, r.comNumber, Millis(w.uniform(80, kLongestTimeoutMs)), kCallLimit);
        if (port <= 0) return;
        r.port.store(port);
        const int h = w.call("VKKRN_NewReader", port, kCallLimit, [&] { return VKKRN_NewReader(port); });
        if (h > 0) r.reader.store(h);
    }

    Run& run_;
    HandleBook book_;
    LinkDir dir_;
    std::atomic<bool> closing_{false};
    std::array<TclReader, kReaders> readers_;
    std::array<Transponder, kTransponders> transponders_;
    std::mutex pendingMutex_; // guards the list pending_ (not its entries' atomics); taken alone
    std::deque<Pending> pending_;
};

} // namespace

void runTcl(Run& run) {
    auto stress = std::make_unique<TclStress>(run);
    drive(run, *stress);
}

} // namespace vkstress
