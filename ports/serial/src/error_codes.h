// The codes of this library's ErrorCodeRange (-1000 to -1099) that it raises.
#ifndef VKCOM_ERROR_CODES_H
#define VKCOM_ERROR_CODES_H

namespace vkcom {

enum ErrorCode : int {
    kOk = 0,
    kErrCreatePort = -1000,
    kErrEmptyList = -1001,
    kErrNullPointer = -1002,
    kErrNoMemory = -1003,
    kErrPortNotFound = -1005,
    kErrUnsupported = -1006,
    kErrAlreadyOpen = -1013,
    kErrUnknownListHandle = -1020,
    kErrHandleZero = -1021,
    kErrHandleNegative = -1022,
    kErrNoHandle = -1023,
    kErrReceiveTimeout = -1030,
    kErrNoTransmitProtocol = -1031,
    kErrRead = -1032,
    kErrFlushInput = -1034,
    kErrFlushOutput = -1035,
    kErrChangeParameter = -1036,
    kErrTransmit = -1037,
    kErrReadLine = -1040,
    kErrUnknownParameter = -1050,
    kErrOutOfRange = -1051,
    kErrPortNumberRange = -1053,
    kErrUnknownCode = -1054,
    kErrBufferOverflow = -1070,
};

} // namespace vkcom

#endif
