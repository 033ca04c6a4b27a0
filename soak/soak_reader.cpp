#include "soak_reader.h"

#include "soak_exchange.h"

#include <krnsim/frame.h>
#include <vkcom/vizer.h>
#include <vkkrn.h>
#include <vktcp.h>

#include <algorithm>

namespace vksoak {
namespace {

constexpr std::uint8_t kCmdAuthenticate = 0xAE;
constexpr std::uint8_t kCmdSecured = 0xAF;

bool contains(const krnsim::Bytes& haystack, const krnsim::Bytes& needle) {
    return !needle.empty() &&
           std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

} // namespace

SoakReader::SoakReader(Link link, int index, const std::string& ptyDir, std::chrono::milliseconds timeout,
                       krnsim::Bytes key)
    : link_(link), index_(index), ptyDir_(ptyDir), timeout_(timeout), key_(std::move(key)) {
    // Echo the request data: the sequence number comes back in the reply.
    sim().setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
        return krnsim::Reply::frame(0x00, r.data);
    });
    if (!key_.empty()) sim().setAuthenticationKey(key_);
    sim().log().setObserver([this](const krnsim::LogEntry& entry) {
        received_.fetch_add(1);
        if (!key_.empty()) checkWire(entry);
    });
    if (link_ == Link::Tcp) tcpPort_ = sim_->listenTcp().port;
    open();
}

SoakReader::~SoakReader() {
    close();
    sim_.reset();
}

int SoakReader::open() {
    if (link_ == Link::Tcp) {
        port_ = VKTCP_Connect("127.0.0.1", tcpPort_);
    } else {
        sim_->openPty(ptyDir_ + "/" + std::to_string(index_));
        std::string number = std::to_string(index_ + 1);
        port_ = VIZER_OpenPort(number.data());
    }
    if (port_ <= 0) {
        const int code = port_;
        port_ = 0;
        return code < 0 ? code : -1;
    }
    reader_ = VKKRN_NewReader(port_);
    if (reader_ <= 0) {
        const int code = reader_;
        reader_ = 0;
        close();
        return code;
    }
    char timeoutKey[] = "Timeout";
    std::string timeout = std::to_string(timeout_.count());
    char checkKey[] = "CHKRECBUSADR";
    char on[] = "1";
    int rc = VKKRN_PI_SetPortPara(reader_, timeoutKey, timeout.data());
    if (rc == 0) rc = VKKRN_SetReaderPara(reader_, checkKey, on);
    if (rc == 0 && !key_.empty()) rc = authenticate();
    if (rc != 0) close();
    return rc;
}

int SoakReader::authenticate() {
    const int keyType = static_cast<int>(key_.size() / 8) - 2;
    return VKKRN_0xAE_ReaderAuthent(reader_, 1, 0, keyType, static_cast<int>(key_.size()), key_.data(), 0);
}

void SoakReader::watchPlain(krnsim::Bytes frame, krnsim::Bytes data) {
    std::lock_guard lock(wireMutex_);
    plainFrame_ = std::move(frame);
    plainData_ = std::move(data);
}

std::optional<std::string> SoakReader::plainSeen() const {
    std::lock_guard lock(wireMutex_);
    return plainSeen_;
}

void SoakReader::checkWire(const krnsim::LogEntry& entry) {
    const krnsim::Bytes& raw = entry.raw;
    if (raw.size() < 5) return;
    const std::uint8_t command = raw[0] == krnsim::kAdvancedMark ? raw[4] : raw[2];
    std::lock_guard lock(wireMutex_);
    if (plainSeen_) return;
    const bool handshake = command == kCmdAuthenticate;
    // Data of three bytes or fewer may show in ciphertext by chance.
    const bool plain = !handshake && (command != kCmdSecured || contains(raw, plainFrame_) ||
                                      (plainData_.size() > 3 && contains(raw, plainData_)));
    if (!plain) return;
    plainSeen_ = "a request in plain after authentication: " + hexText(raw.data(), raw.size());
}

void SoakReader::close() {
    if (reader_ > 0) VKKRN_DeleteReader(reader_);
    reader_ = 0;
    if (port_ > 0) {
        if (link_ == Link::Tcp)
            VKTCP_DisConnect(port_);
        else
            VIZER_ClosePort(port_);
    }
    port_ = 0;
}

int SoakReader::reconnect() {
    close();
    return open();
}

} // namespace vksoak
