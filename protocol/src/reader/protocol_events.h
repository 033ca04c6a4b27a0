// The events this library raises to the application for its protocol lines.
#ifndef VKKRN_PROTOCOL_EVENTS_H
#define VKKRN_PROTOCOL_EVENTS_H

namespace vkkrn {

inline constexpr int kEventSendText = 2;     // the send line
inline constexpr int kEventReceiveText = 3;  // the receive line (value: status or code)
inline constexpr int kEventSendFrame = 5;    // the sent frame's bytes
inline constexpr int kEventReceiveFrame = 6; // the received frame's bytes (value: status or code)
inline constexpr int kEventErrorText = 101;  // an error line (value: the code)
inline constexpr int kEventSendHex = 102;    // the sent frame as "%02X " text, keys masked

} // namespace vkkrn

#endif
