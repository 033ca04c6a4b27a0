// How the simulator delivers one reply: the bytes in chunks, each after a gap,
// and what happens to the connection afterwards.
#ifndef ZRBSIM_REPLY_PLAN_H
#define ZRBSIM_REPLY_PLAN_H

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace zrbsim {

struct ReplyChunk {
    std::string bytes;
    std::chrono::milliseconds gapBefore{0};
};

struct ReplyPlan {
    enum class Ending {
        kKeepOpen, // the connection stays as it is
        kFin,      // the simulator closes its side (FIN) after the chunks
        kRst,      // the simulator resets the connection (RST) after the chunks
        kFinAfter, // only the first `finAfterBytes` bytes go out, then FIN
        kSilence,  // nothing goes out; the reply stays owed until the watchdog
    };

    std::vector<ReplyChunk> chunks;
    Ending ending = Ending::kKeepOpen;
    std::size_t finAfterBytes = 0;

    // `text` and CR LF in one segment.
    static ReplyPlan line(const std::string& text);
    // Raw bytes as given, in one segment.
    static ReplyPlan raw(std::string bytes);
    // Segments as given.
    static ReplyPlan segments(std::vector<ReplyChunk> chunks);
    // `text` CR LF, one byte per segment.
    static ReplyPlan byteByByte(const std::string& text,
                                std::chrono::milliseconds gap = std::chrono::milliseconds(0));
    // `text` CR, then LF in a second segment after `gap`.
    static ReplyPlan crApartFromLf(const std::string& text,
                                   std::chrono::milliseconds gap = std::chrono::milliseconds(20));
    // A lone CR LF, then after `gap` the line `text` CR LF.
    static ReplyPlan loneCrLfFirst(const std::string& text,
                                   std::chrono::milliseconds gap = std::chrono::milliseconds(20));
    // The first `count` bytes of `text` CR LF, then FIN.
    static ReplyPlan finAfter(const std::string& text, std::size_t count);
    static ReplyPlan fin();
    static ReplyPlan rst();
    static ReplyPlan silence();
};

} // namespace zrbsim

#endif
