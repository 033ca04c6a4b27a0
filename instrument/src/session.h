// The library's one session with the instrument: the connection, its flag, the
// last message, and the exchange every instrument command runs. Process-wide
// and unlocked: one caller at a time.
#ifndef ZRB_SESSION_H
#define ZRB_SESSION_H

#include "reply_parser.h"
#include "request_line.h"
#include "transport.h"

#include <functional>
#include <initializer_list>
#include <span>
#include <string>

namespace zrb {

class Session {
  public:
    // ZRB_Connect: closes an open connection first. 0, 3 or 8.
    int connect(int mode, const char* host);
    // ZRB_Disconnect: 0 or 9.
    int disconnect();
    // ZRB_ErrorMessage.
    const char* errorMessage() const { return lastMessage_.c_str(); }
    bool connected() const { return connected_; }

    // One instrument command: refuses when not connected (8) or when a required
    // pointer is NULL (3), both without touching ZRB_Errno; then builds the
    // request, sends it, reads the reply and parses it into `fields`. Returns
    // the command's result, which is also left in ZRB_Errno.
    int exchange(std::initializer_list<const void*> required, const std::function<RequestLine()>& build,
                 std::span<const ReplyField> fields);

  private:
    Transport transport_;
    bool connected_ = false;
    std::string lastMessage_;
};

// The process's session.
Session& session();

} // namespace zrb

#endif
