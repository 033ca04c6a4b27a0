// What the Java natives do, on standard types: each native converts its Java
// arguments, calls one of these and converts the result back. All of them go
// through the current reader (`handle`) and answer a fixed default while there
// is none. One thread at a time: nothing here takes a lock.
#ifndef KESTOREADER_KESTO_READER_H
#define KESTOREADER_KESTO_READER_H

#include "rf_reader_base.h"

#include <string>
#include <vector>

namespace vemlasdknative::natives {

using Bytes = std::vector<byte_t>;

// Defaults without a reader, and the failure answer of the transfers.
inline const Bytes kFailed{RfReaderBase::DEFAULT_ERROR};
inline constexpr byte_t kNoModeResult = 3;
inline constexpr int kNoSelectResult = 255;
inline constexpr char kNoVersionText[] = "Cannot get version";
inline constexpr char kTraceFile[] = "reader_switch.log";

// FSDI for a receive maximum: 0 up to 16 bytes, otherwise the first frame size
// index from 1 whose size reaches the maximum, at most 12.
int getRatsRxNibble(int maxReceive);

// Reader auto-detection: the current reader if any, else the first of the
// first board, the second board and the dongle that connects.
bool connect();
void disconnect();
bool isConnected();
std::string getName();
std::string checkVersion();
std::string getFirmwareVersion();
// The mode bytes go to the reader as four bytes: missing ones read 0, extra
// ones are ignored.
byte_t selectReaderMode(const Bytes& mode);
// {0, received bytes...} or {3}.
Bytes sendReceive(const Bytes& tx);
Bytes sendReceive14443a(byte_t frameMode, const Bytes& tx);
Bytes sendReqA();
Bytes sendWupA();
Bytes sendHltA();
Bytes sendRats();
Bytes sendPps();
std::vector<Bytes> antiCollision();
// The algorithm bytes go to the reader as two bytes, missing ones 0.
void setAnticollisionAlgo(const Bytes& algo);
int getMaxTransmitLengthInBytes();
int getMaxReceiveLengthInBytes();
int selectTag14443A(const Bytes& uid);
int deselectTag14443A(const Bytes& uid);

} // namespace vemlasdknative::natives

#endif
