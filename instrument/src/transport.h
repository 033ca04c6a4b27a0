// The one TCP connection to the instrument: open, send a request line, read a
// reply line, close. No time-outs: every call blocks as long as the system lets it.
#ifndef ZRB_TRANSPORT_H
#define ZRB_TRANSPORT_H

#include <optional>
#include <string>

namespace zrb {

class Transport {
  public:
    Transport() = default;
    ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // Connects to port 5000 of `host` (NULL: the local machine) over IPv4.
    bool open(const char* host);
    // Sends the whole line (with its CR LF) after tracing it. A failure closes
    // the socket.
    bool send(const std::string& line);
    // Reads one reply line and returns its text (without CR LF), after tracing
    // it. Nothing when the peer closed, a receive failed or the reply holds "ERR";
    // the socket stays open.
    std::optional<std::string> receive();
    // Shuts the sending side down and closes the socket: false when the
    // shutdown failed (the socket is closed all the same).
    bool close();
    bool isOpen() const { return socket_ >= 0; }

  private:
    void release();

    int socket_ = -1;
};

} // namespace zrb

#endif
