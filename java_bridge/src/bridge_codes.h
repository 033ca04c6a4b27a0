// The bridge's own result codes (the data-manager core's numbering) and the
// reader library's codes it acts on.
#ifndef NUBOKRN4J_BRIDGE_CODES_H
#define NUBOKRN4J_BRIDGE_CODES_H

#include <jni.h>

namespace nubokrn4j {

inline constexpr jint kNoEnv = -1; // no JNIEnv for the virtual machine
inline constexpr jint kEmptyArray = -105;
inline constexpr jint kBadKindOrEvent = -106;
inline constexpr jint kNoData = -109; // an answer without data
inline constexpr jint kNoReaderHandle = -110;
inline constexpr jint kUnsupported = -118;
inline constexpr jint kNullArgument = -121;
inline constexpr jint kNoSerialPort = -138;
inline constexpr jint kNotRegistered = -141;
inline constexpr jint kSlotHeld = -142;

inline constexpr jint kReaderNotRegistered = -4050; // no such handler
inline constexpr jint kReaderNoTask = -4081;

} // namespace nubokrn4j

#endif
