// The codes of this library (-1200 to -1299).
#ifndef VKTCP_ERROR_CODES_H
#define VKTCP_ERROR_CODES_H

namespace vktcp {

enum ErrorCode : int {
    kOk = 0,
    kErrCreateSocket = -1200,
    kErrEmptyList = -1201,
    kErrNullPointer = -1202,
    kErrNoMemory = -1203,
    kErrServerNotFound = -1205,
    kErrOpenTimeout = -1211,
    kErrBadHost = -1212,
    kErrClose = -1213,
    kErrUnknownListHandle = -1220,
    kErrHandleZero = -1221,
    kErrHandleNegative = -1222,
    kErrHandleNotFound = -1223,
    kErrReceiveTimeout = -1230,
    kErrRead = -1232,
    kErrChangeParameter = -1236,
    kErrTransmit = -1237,
    kErrConnectionState = -1238,
    kErrUnknownParameter = -1250,
    kErrOutOfRange = -1251,
    kErrOddParameter = -1252,
    kErrUnknownCode = -1254,
    kErrBufferTooSmall = -1270,
};

} // namespace vktcp

#endif
