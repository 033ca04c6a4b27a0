// Result codes the library itself gives; any other value is the instrument's own.
#ifndef ZRB_RESULT_CODE_H
#define ZRB_RESULT_CODE_H

namespace zrb {

inline constexpr int kOk = 0;
inline constexpr int kNullPointer = 3;        // a required pointer argument is NULL
inline constexpr int kNotConnected = 8;       // not connected, or the connection cannot be opened
inline constexpr int kDisconnectFailed = 9;   // the socket could not be shut down
inline constexpr int kNotSent = 10;           // the request line could not be sent
inline constexpr int kNoReply = 11;           // no usable reply
inline constexpr int kWaveformException = 14; // an exception inside a waveform operation

} // namespace zrb

#endif
