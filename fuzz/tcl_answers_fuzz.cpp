// Input: [route][request index] then reads, each [length hi][length lo][bytes].
// Route bit 0: the reader library's route (the first read is the answer of
// command 0xB2: status, then data; each later read one frame), else a direct
// route (each read walked frame by frame). Bit 1: waiting-time raises fail.
// The response is copied into a buffer of exactly its length.
#include "exchange.h"

#include <vkkrn.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

int portlessReader() {
    static const int reader = VKKRN_NewReader(0);
    return reader;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 2) return 0;
    const bool library = (input[0] & 1) != 0;
    const int raiseResult = (input[0] & 2) != 0 ? -1 : 0;
    const int reader = portlessReader();
    std::vector<std::uint8_t> data(65538);
    vktcl::VKResponse response;
    vktcl::BlockExchange exchange(library ? vktcl::Route::Library : vktcl::Route::Serial, input[1], response,
                                  [raiseResult](std::uint8_t, std::uint8_t) { return raiseResult; });
    const vktcl::FrameSplit split = [&](const std::uint8_t* frame, int length) {
        std::vector<std::uint8_t> copy(frame, frame + length);
        unsigned char address = 0;
        unsigned char command = 0;
        int dataLength = 0;
        const int status = VKKRN_SplitRecProtocol(reader, copy.data(), length, &address, &command,
                                                  data.data(), &dataLength, 0);
        return vktcl::AnswerFrame{status, data.data(), status < 0 ? 0 : dataLength};
    };
    std::size_t at = 2;
    bool first = true;
    while (at + 2 <= size && !exchange.ended()) {
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(input[at] << 8 | input[at + 1]), size - at - 2);
        // Each read in a buffer of its own length, so that an over-read shows.
        std::vector<std::uint8_t> read(input + at + 2, input + at + 2 + n);
        at += 2 + n;
        if (!library) {
            if (n == 0) {
                exchange.readFailed(0);
                break;
            }
            vktcl::walkRead(read.data(), static_cast<int>(n), split, exchange);
        } else if (first) {
            first = false;
            const int status = n > 0 ? read[0] : -1;
            std::unique_ptr<std::uint8_t[]> answer(new std::uint8_t[n > 0 ? n - 1 : 1]);
            for (std::size_t i = 1; i < n; ++i)
                answer[i - 1] = read[i];
            exchange.feed(vktcl::AnswerFrame{status, answer.get(), n > 0 ? static_cast<int>(n - 1) : 0});
        } else if (n > 0) {
            exchange.feed(split(read.data(), static_cast<int>(n)));
        }
    }
    if (!exchange.ended()) exchange.readFailed(-4238);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(response.getResponseLength()));
    response.getResponse(out.data());
    return 0;
}
