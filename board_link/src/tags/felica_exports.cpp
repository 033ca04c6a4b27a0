// FeliCa: initialise, poll, pass-through exchange and de-initialise.
#include "export_support.h"

#include <vkcommon/export.h>

namespace {

using namespace board_link;

constexpr std::uint8_t kCmdInit = 0xF0;
constexpr std::uint8_t kCmdPoll = 0xF1;
constexpr std::uint8_t kCmdTxRx = 0xF2;
constexpr std::uint8_t kCmdDeinit = 0xFF;

constexpr std::size_t kAnswer = 254;
constexpr std::size_t kEntry = sizeof(FelicaPollEntry);
// The poll answer: [device count][collisions, signed][20-byte entries].
constexpr std::size_t kEntriesOffset = 2;

} // namespace

extern "C" {

VK_EXPORT KXx0ComError felicaInitialize(KXx0HANDLE handle) {
    return simpleCommand(handle, kCmdInit, {}, 1);
}

VK_EXPORT KXx0ComError felicaPoll(KXx0HANDLE handle, int p1, int p2, int p3, int p4, FelicaPollEntry* list,
                                  size_t* count, size_t* collisions) {
    if (handle == nullptr) return Invalid_handleError;
    if (count == nullptr || missing(list, *count) || collisions == nullptr) return ParameterError;
    const Parameters parameters = Parameters()
                                      .u8(static_cast<std::uint32_t>(p1))
                                      .u8(static_cast<std::uint32_t>(p2))
                                      .u8(static_cast<std::uint32_t>(p3))
                                      .u8(static_cast<std::uint32_t>(p4));
    const Exchange e = exchange(*boardOf(handle), kCmdPoll, parameters, kAnswer);
    if (e.status != 0) {
        *count = 0;
        return widenStatus(e.status);
    }
    // Sign-extended, so -1 reads as -1 through any signed type.
    *collisions = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(static_cast<std::int8_t>(e.at(1))));
    // Up to the board's count of entries, the last one with the bytes it has.
    const std::size_t pieces = (e.after(kEntriesOffset) + kEntry - 1) / kEntry;
    const std::size_t entries = std::min<std::size_t>({e.at(0), pieces, *count});
    for (std::size_t i = 0; i < entries; ++i)
        e.copy(kEntriesOffset + i * kEntry, &list[i], kEntry);
    *count = entries;
    return NoError;
}

VK_EXPORT KXx0ComError felicaTxRxNBytes(KXx0HANDLE handle, const char* tx, size_t txLen, char* rx,
                                        size_t* rxLen) {
    if (handle == nullptr) return Invalid_handleError;
    if (missing(tx, txLen) || missingInOut(rx, rxLen)) return ParameterError;
    if (!fitsTelegram(txLen)) return ParameterError;
    return widenStatus(
        receiveInOut(handle, kCmdTxRx, Parameters().bytes(tx, txLen), kAnswer, 0, rx, rxLen).status);
}

VK_EXPORT KXx0ComError felicaDeInitialize(KXx0HANDLE handle, bool flag) {
    return commandWithoutResult(handle, kCmdDeinit, Parameters().u8(flag ? 1 : 0));
}

} // extern "C"
