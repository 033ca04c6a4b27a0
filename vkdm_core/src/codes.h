// The core's error codes (-100 to -999) and their texts.
#ifndef VKDM_CODES_H
#define VKDM_CODES_H

namespace vkdm {

enum Code : int {
    kUnknownCode = -100,
    kBadIdentifier = -101,
    kValueTooLong = -102,
    kValueDoesNotFit = -103,
    kOutOfRange = -104,
    kBadLength = -105,
    kUnknownType = -106,
    kNoData = -109,
    kNotConnected = -110,
    kAlreadyConnected = -111,
    kUnknownName = -112,
    kFileNotWritten = -113,
    kFileNotRead = -114,
    kNoRecord = -115,
    kBadFile = -116,
    kWrongPortKind = -117,
    kNotSupported = -118,
    kNoObject = -119,
    kNullArgument = -121,
    kStopped = -122,
    kNoAnswer = -123,
    kUnknownTable = -124,
    kUnknownDataId = -125,
    kEmptySize = -126,
    kTooLong = -127,
    kNeverFilled = -128,
    kBadRecord = -129,
    kTableFull = -130,
    kBadPosition = -131,
    kAncestor = -132,
    kNoChild = -133,
    kDependency = -134,
    kNotListenerPort = -138,
    kNotListed = -139,
    kListEmpty = -140,
    kNotRegistered = -141,
    kSlotTaken = -142,
    kOldVersion = -149,
};

// The English text of a core code, or null.
const char* coreText(int code);

// Copies `src` into `text` cut to 127 bytes and a NUL.
void copyText(char* text, const char* src);

} // namespace vkdm

#endif
