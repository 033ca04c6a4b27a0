// What the families that talk to simulated KRN readers share: the echo
// command, requests for it, the simulator's misbehaviour drawn at random, and a
// short directory for the serial library's port links.
#ifndef VKSTRESS_SIM_PARTS_H
#define VKSTRESS_SIM_PARTS_H

#include "harness.h"

#include <krnsim/simulator.h>

#include <string>

namespace vkstress {

// The command the simulated readers echo: its reply carries the request's data.
inline constexpr std::uint8_t kEchoCommand = 0xB2;
inline constexpr std::uint8_t kBusAddress = krnsim::Reader::kDefaultBusAddress;

// Makes `reader` echo kEchoCommand.
void installEcho(krnsim::Reader& reader);
// A whole echo request frame with 1 to 32 random data bytes.
krnsim::Bytes echoRequest(Worker& worker);
// Queues one misbehaviour of the simulated reader for its next reply: the
// connection dropped (closed or reset; a pseudo-terminal hangs up), a reply
// late by up to twice `timeout` or none at all. Clears its request log now and
// then, which would otherwise grow through a long run.
void queueTrouble(Worker& worker, krnsim::Reader& reader, Millis timeout);
// Drops the connection at the next reply.
void queueDrop(Worker& worker, krnsim::Reader& reader);

// A directory for the serial library's prefix: it opens at most 15
// characters, prefix and port number minus 1 ("/tmp/vsXXXXXX/" and one digit).
class LinkDir {
  public:
    LinkDir();
    ~LinkDir(); // removes the links of ports 1 to 10 and the directory
    LinkDir(const LinkDir&) = delete;
    LinkDir& operator=(const LinkDir&) = delete;

    // "<dir>/": the value of the serial library's "PORTPREFIX".
    std::string prefix() const { return path_ + "/"; }
    // The link of port `number` (1 to 10).
    std::string link(int number) const { return path_ + "/" + std::to_string(number - 1); }

  private:
    std::string path_;
};

// True while the simulator still serves `connection`.
bool serving(krnsim::Simulator& sim, krnsim::ConnectionId connection);

// A port of the TCP library (to 127.0.0.1:`tcpPort`) or of the serial library
// (port `comNumber`) for readers of libvkkrn, with the reply time-out
// `timeout` set before anyone else has it (and a fast line or a short
// character time-out): its handle, or the library's code.
int openPort(Worker& worker, bool tcp, int tcpPort, int comNumber, Millis timeout, Millis limit);
void closePort(Worker& worker, bool tcp, int port, Millis limit);

} // namespace vkstress

#endif
