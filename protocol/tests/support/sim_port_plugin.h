// An installed port plug-in on a socket pair to a simulated reader
// (Simulator::openLocal): it writes frames and reads them back by their length
// field within its port parameter "Timeout". Reads come from transceive_protocol
// and, for frames that follow a reply, from receive_protocol, which on request
// returns 0 as a plug-in that leaves that slot to its default does.
#ifndef VKKRN_TESTS_SIM_PORT_PLUGIN_H
#define VKKRN_TESTS_SIM_PORT_PLUGIN_H

#include <krnsim/simulator.h>
#include <vkkrn_plugin.h>

#include <poll.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

class SimPortPlugIn : public VKKRN_PlugIn {
  public:
    // What a read gives when the time-out passes first: the code of a serial
    // port, as a plug-in over a serial line would hand on.
    static constexpr int kReceiveTimeout = -1030;
    static constexpr int kUnknownKey = -4050;

    explicit SimPortPlugIn(krnsim::Simulator& sim) : link_(sim.openLocal()) {}

    int get_port_para(char* key, char* valueOut) override {
        if (::strcasecmp(key, "Timeout") != 0) return kUnknownKey;
        if (failGet.load()) return kReceiveTimeout;
        std::snprintf(valueOut, 128, "%d", timeoutMs.load());
        return 0;
    }
    int set_port_para(char* key, char* value) override {
        if (::strcasecmp(key, "Timeout") != 0) return kUnknownKey;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            timeoutsSet.push_back(std::atoi(value));
        }
        if (failSet.load()) return kReceiveTimeout;
        timeoutMs.store(std::atoi(value));
        return 0;
    }
    int transceive_protocol(char* frame, int frameLen, char* replyOut, int replyOutSize) override {
        const int sent = transmit_protocol(frame, frameLen);
        if (sent != 0) return sent;
        return readFrame(replyOut, replyOutSize);
    }
    int transmit_protocol(char* frame, int frameLen) override {
        int done = 0;
        while (done < frameLen) {
            const ssize_t n =
                ::write(link_.fd.get(), frame + done, static_cast<std::size_t>(frameLen - done));
            if (n <= 0) return -1;
            done += static_cast<int>(n);
        }
        return 0;
    }
    int receive_protocol(char* replyOut, int replyOutSize) override {
        if (leaveReceiveToDefault.load()) return 0;
        return readFrame(replyOut, replyOutSize);
    }

    std::vector<int> setTimeouts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return timeoutsSet;
    }

    std::atomic<int> timeoutMs{300};
    std::atomic<bool> leaveReceiveToDefault{false};
    std::atomic<bool> failGet{false};
    std::atomic<bool> failSet{false};

  private:
    // Reads `n` bytes, each within the time-out: false when it passed.
    bool readExactly(char* out, int n) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs.load());
        int done = 0;
        while (done < n) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            pollfd p{link_.fd.get(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
            const ssize_t got = ::read(link_.fd.get(), out + done, static_cast<std::size_t>(n - done));
            if (got <= 0) return false;
            done += static_cast<int>(got);
        }
        return true;
    }

    int readFrame(char* out, int size) {
        if (size < 3 || !readExactly(out, 1)) return kReceiveTimeout;
        int length = static_cast<unsigned char>(out[0]);
        int have = 1;
        if (length == 2) {
            if (!readExactly(out + 1, 2)) return kReceiveTimeout;
            length = static_cast<unsigned char>(out[1]) << 8 | static_cast<unsigned char>(out[2]);
            have = 3;
        }
        if (length < have || length > size) return kReceiveTimeout;
        if (!readExactly(out + have, length - have)) return kReceiveTimeout;
        return length;
    }

    krnsim::LocalLink link_;
    std::mutex mutex_;
    std::vector<int> timeoutsSet;
};

#endif
