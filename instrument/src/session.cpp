#include "session.h"

#include "log_categories.h"
#include "result_code.h"

#include <Zorbel.h>

namespace zrb {

Session& session() {
    static Session instance;
    return instance;
}

int Session::connect(int mode, const char* host) {
    if (mode == 1 && host == nullptr) return kNullPointer;
    // Only one connection is talked over: an open one is closed first, so that
    // it neither leaks nor stays open at the instrument.
    if (transport_.isOpen()) transport_.close();
    connected_ = transport_.open(host);
    return connected_ ? kOk : kNotConnected;
}

int Session::disconnect() {
    if (!connected_) return kOk;
    const bool shutDown = transport_.close();
    connected_ = false;
    return shutDown ? kOk : kDisconnectFailed;
}

int Session::exchange(std::initializer_list<const void*> required, const std::function<RequestLine()>& build,
                      std::span<const ReplyField> fields) {
    if (!connected_) return kNotConnected;
    for (const void* pointer : required) {
        if (pointer == nullptr) return kNullPointer;
    }

    const RequestLine request = build();
    if (!request.sendable()) {
        ZRB_LOG(kClientLog, ZLOG_LEVEL_ERROR, "Request not sent: a text argument holds CR or LF");
        ZRB_Errno = kNotSent;
        return kNotSent;
    }
    const bool sent = transport_.send(request.finish());
    ZRB_Errno = kNotSent;
    if (!sent) {
        connected_ = false;
        return kNotSent;
    }

    const std::optional<std::string> reply = transport_.receive();
    if (!reply) {
        ZRB_Errno = kNoReply;
        return kNoReply;
    }
    ReplyOutcome outcome = parseReply(*reply, fields);
    if (outcome.message) lastMessage_ = std::move(*outcome.message);
    ZRB_Errno = outcome.code;
    return outcome.code;
}

} // namespace zrb
