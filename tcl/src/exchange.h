// The pure parts of an exchange: cutting a request into blocks, the waiting
// time a card asks for, and the state machine that takes the answers to one
// request block one at a time. No I/O: the transponder reads, splits and feeds.
#ifndef VKTCL_EXCHANGE_H
#define VKTCL_EXCHANGE_H

#include "blocks.h"
#include "codes.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace vktcl {

// How a transponder reaches its reader, by the port handle's type bits.
enum class Route { Serial, Tcp, Library };
Route routeOf(int portHandle);

enum class RequestKind { Deselect = 0, Apdu = 1, Ping = 0x80 };

struct RequestShape {
    int receiveSize = 0; // the reader's receive-buffer size: bounds a request frame
    bool advanced = false;
    bool useCid = false;
    bool useNad = false;
    std::uint8_t cid = 0;
    std::uint8_t nad = 0;
};

// The frame overhead a block is cut for: 7 for advanced frames and when more
// than 250 bytes would go into one frame, else 5.
int blockOverhead(int remaining, bool advanced);

// Fills `request` with the blocks of one request: an APDU (`data` may be null
// only for 0 bytes) or a ping or deselect (data not read). 0, or -4203.
int buildRequest(VKProtocol& request, RequestKind kind, const std::uint8_t* data, int length,
                 const RequestShape& shape);

// The time-out in milliseconds a waiting-time request asks for, clamped to
// [300, 6500]; none when both values are 0.
std::optional<int> wantedTimeout(std::uint8_t wtxm, std::uint8_t fwi);

// Bounds of the answers to one request block, so that a reader that keeps
// sending waiting-time or more-data frames cannot hold a call or grow a response
// without end: more than kMaxAnswerFrames frames, or a response of more than
// kMaxResponseBytes bytes (a 65,536-byte response and its status word), end the
// block with -4271; more than kMaxBlockTime after the block went out, with -4232.
inline constexpr int kMaxAnswerFrames = 4096;
inline constexpr int kMaxResponseBytes = 65538;
inline constexpr std::chrono::seconds kMaxBlockTime{60};

// One answer frame after splitting: the reader status (or a negative split
// code) and the answer data.
struct AnswerFrame {
    int status = 0;
    const std::uint8_t* data = nullptr;
    int length = 0;
};

// The answers to one request block. The direct routes feed every frame of a
// read, then say the read has ended; the library route feeds the answer of
// command 0xB2 first, then each follow-up frame. `raise` sets a waiting time
// and returns the port's result; on the direct routes a result other than 0
// ends the block with it.
class BlockExchange {
  public:
    using Raise = std::function<int(std::uint8_t wtxm, std::uint8_t fwi)>;
    using Clock = std::chrono::steady_clock;

    // `sent`: when the request block went out.
    BlockExchange(Route route, int requestIndex, VKResponse& response, Raise raise,
                  Clock::time_point sent = Clock::now());

    // Takes one answer; true once the block has ended (result() then holds it).
    bool feed(const AnswerFrame& answer);
    // Before each further read: true once the block has ended, by now after
    // kMaxBlockTime (-4232).
    bool overdue(Clock::time_point now);
    // Direct routes: the frames of one read have been fed. Ends the block with 0
    // when the response is complete.
    bool endOfRead();
    // A read gave no frame: `code` 0 or a negative port or library code, or the
    // end of the waiting (-4238). Ends the block.
    void readFailed(int code);
    // The cancel flag stopped the reads: -4234, the response did not come.
    void cancelled() { end(kErrCancelled); }

    bool ended() const { return ended_; }
    int result() const { return result_; }

  private:
    bool end(int result);
    bool feedDirect(const AnswerFrame& answer);
    bool feedFirst(const AnswerFrame& answer);
    bool feedFollowUp(const AnswerFrame& answer);
    bool add(int id, const AnswerFrame& answer, int pstat);
    bool feedOne(const AnswerFrame& answer);

    Route route_;
    Clock::time_point sent_;
    int frames_ = 0;
    VKResponse& response_;
    Raise raise_;
    bool first_ = true;
    bool ended_ = false;
    int result_ = 0;
    int lastId_;
};

// Walks the frames of one read of a direct route through `split` (frame,
// length -> the split answer) into `exchange`: a frame that runs past the bytes
// read gives -4030, a first byte below 6 other than 2, or an advanced length
// below 8, gives -4276. Ends with endOfRead() when no frame ended the block.
using FrameSplit = std::function<AnswerFrame(const std::uint8_t* frame, int length)>;
void walkRead(const std::uint8_t* bytes, int count, const FrameSplit& split, BlockExchange& exchange);

} // namespace vktcl

#endif
