// What the board operations share: the handle, the order of argument checks,
// parameters packed big-endian, the exchange of one board command, copies
// clipped to what came and to the caller's capacity, the status widened to a
// result, and the raised read time-out of the blocking exchanges.
//
// Checks run in argument order before anything is sent: the handle (38), then
// every pointer the operation reads or writes (7), then the sizes (7).
#ifndef BOARD_LINK_EXPORT_SUPPORT_H
#define BOARD_LINK_EXPORT_SUPPORT_H

#include "command_channel.h"
#include "kx20_com_usb_hid.h"

#include <KXx0EVALOComm.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace board_link {

// The board object behind a handle.
inline KX20Com_UsbHid* boardOf(KXx0HANDLE handle) {
    return reinterpret_cast<KX20Com_UsbHid*>(handle);
}

// The board status byte as a result: read as signed 8 bits.
inline KXx0ComError widenStatus(std::uint8_t status) {
    return static_cast<KXx0ComError>(static_cast<std::int8_t>(status));
}

// An expected answer length as the telegram header carries it: 16 bits.
inline int expectedLength(std::size_t bytes) {
    return static_cast<std::uint16_t>(bytes);
}

// Whether a command byte and `parameterBytes` fit one telegram's payload.
inline bool fitsTelegram(std::size_t parameterBytes) {
    return parameterBytes < static_cast<std::size_t>(kPayloadCapacity);
}

// Parameter bytes of a board command, multi-byte values most significant first.
class Parameters {
  public:
    Parameters& u8(std::uint32_t v) {
        bytes_.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    Parameters& be16(std::uint32_t v) { return u8(v >> 8).u8(v); }
    Parameters& be32(std::uint32_t v) { return u8(v >> 24).u8(v >> 16).u8(v >> 8).u8(v); }
    Parameters& bytes(const void* data, std::size_t n) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        if (n != 0) bytes_.insert(bytes_.end(), p, p + n);
        return *this;
    }
    const std::vector<std::uint8_t>& get() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

// What one board command brought back.
struct Exchange {
    std::uint8_t status = 0;
    std::vector<std::uint8_t> answer;

    // Answer byte `i`, 0 when it did not come.
    std::uint8_t at(std::size_t i) const { return i < answer.size() ? answer[i] : 0; }
    // Bytes from `offset` on.
    std::size_t after(std::size_t offset) const {
        return answer.size() > offset ? answer.size() - offset : 0;
    }
    // Copies at most `capacity` answer bytes from `offset` on into `out`;
    // returns how many.
    std::size_t copy(std::size_t offset, void* out, std::size_t capacity) const {
        const std::size_t n = std::min(after(offset), capacity);
        if (n != 0) std::memcpy(out, answer.data() + offset, n);
        return n;
    }
    // The received length [BE16] at the answer's start (missing bytes 0).
    std::uint16_t be16At(std::size_t offset) const {
        return static_cast<std::uint16_t>(at(offset) << 8 | at(offset + 1));
    }
};

inline Exchange exchange(KX20Com_UsbHid& board, std::uint8_t command, const Parameters& parameters,
                         std::size_t expected) {
    Exchange e;
    e.status = board.sendBoardCommand(command, parameters.get(), expectedLength(expected), e.answer);
    return e;
}

// A buffer of `length` bytes must be there when `length` is not 0.
inline bool missing(const void* buffer, std::size_t length) {
    return buffer == nullptr && length != 0;
}

// An in-out length and its buffer: the length must be there, the buffer too
// when the length is not 0.
inline bool missingInOut(const void* buffer, const std::size_t* length) {
    return length == nullptr || missing(buffer, *length);
}

// One command whose answer is not looked at; the status as the result.
inline KXx0ComError simpleCommand(KXx0HANDLE handle, std::uint8_t command, const Parameters& parameters = {},
                                  std::size_t expected = 0) {
    if (handle == nullptr) return Invalid_handleError;
    return widenStatus(exchange(*boardOf(handle), command, parameters, expected).status);
}

// One command whose status is not the result: 0 once it ran.
inline KXx0ComError commandWithoutResult(KXx0HANDLE handle, std::uint8_t command,
                                         const Parameters& parameters = {}, std::size_t expected = 0) {
    if (handle == nullptr) return Invalid_handleError;
    exchange(*boardOf(handle), command, parameters, expected);
    return NoError;
}

// The RF layer's set-bit-rate command (its byte is the variant's).
inline Exchange setBitrates(KX20Com_UsbHid& board, std::uint8_t txBr, std::uint8_t rxBr) {
    return exchange(board, board.variant().bitrateCommand, Parameters().u8(txBr).u8(rxBr), 1);
}

// The answer bytes from `offset` on into an in-out buffer: at most the
// capacity *length, which then holds the number copied.
inline void copyInOut(const Exchange& e, std::size_t offset, void* out, std::size_t* length) {
    *length = e.copy(offset, out, *length);
}

// One command whose answer bytes from `offset` on go to an in-out buffer.
inline Exchange receiveInOut(KXx0HANDLE handle, std::uint8_t command, const Parameters& parameters,
                             std::size_t expected, std::size_t offset, void* rx, std::size_t* rxLen) {
    Exchange e = exchange(*boardOf(handle), command, parameters, expected);
    copyInOut(e, offset, rx, rxLen);
    return e;
}

// Raises the driver's read time-out (write 1000 ms) for one exchange and sets
// both back to 1000 ms afterwards, whatever the exchange gave. The channel's
// mutex is held from raising to restoring, so no other thread's exchange on
// the board runs with the raised time-out.
class RaisedReadTimeout {
  public:
    RaisedReadTimeout(KX20Com_UsbHid& board, std::uint32_t readMilliseconds)
        : board_(board), hold_(board.channel().hold()) {
        board_.driver().setTimeouts(static_cast<int>(readMilliseconds), kDefaultTimeout);
    }
    ~RaisedReadTimeout() { board_.driver().setTimeouts(kDefaultTimeout, kDefaultTimeout); }
    RaisedReadTimeout(const RaisedReadTimeout&) = delete;
    RaisedReadTimeout& operator=(const RaisedReadTimeout&) = delete;

    static constexpr int kDefaultTimeout = 1000;

  private:
    KX20Com_UsbHid& board_;
    std::unique_lock<std::recursive_mutex> hold_;
};

} // namespace board_link

#endif
