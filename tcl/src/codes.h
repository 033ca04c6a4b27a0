// Result codes of libvktcl and the reader status bytes it acts on.
#ifndef VKTCL_CODES_H
#define VKTCL_CODES_H

#include <cstddef>

namespace vktcl {

inline constexpr std::size_t kTextSize = 256;

inline constexpr int kErrCreate = -4200;
inline constexpr int kErrEmptyList = -4201;
inline constexpr int kErrNull = -4202;
inline constexpr int kErrMemory = -4203;
inline constexpr int kErrBusy = -4209;
inline constexpr int kErrUnknownHandle = -4220;
inline constexpr int kErrHandleZero = -4221;
inline constexpr int kErrHandleNegative = -4222;
inline constexpr int kErrHandleNotFound = -4223;
inline constexpr int kErrThread = -4227;
inline constexpr int kErrBlockTime = -4232;
// "Response protocol not received": the transponder was deleted while its
// asynchronous APDU ran, and the exchange stopped.
inline constexpr int kErrCancelled = -4234;
inline constexpr int kErrPortTimeout = -4238;
inline constexpr int kErrRange = -4251;
inline constexpr int kErrUnknownCode = -4253;
inline constexpr int kErrSmallBuffer = -4257;
inline constexpr int kErrApduLength = -4270;
inline constexpr int kErrResponseTooLarge = -4271;
inline constexpr int kErrAnswerLength = -4273;
inline constexpr int kErrListIncomplete = -4274;
inline constexpr int kErrIncomplete = -4275;
inline constexpr int kErrProtocol = -4276;
// libvkkrn's frame length code, for a frame cut by the end of a read.
inline constexpr int kErrFrameLength = -4030;
// libvkkrn's code of a reply to another command, for an answer read without a
// request that is not an answer of command 0xB2.
inline constexpr int kErrForeignReply = -4035;

inline constexpr int kStatusOk = 0x00;
inline constexpr int kStatusMoreData = 0x94;
inline constexpr int kStatusIsoError = 0x96;

inline constexpr int kPstatWaitingTime = 0x01;
inline constexpr int kPstatData = 0x02;
inline constexpr int kPstatNone = 0xFF;

inline constexpr int kMaxApduLength = 65535;

} // namespace vktcl

#endif
