// The library's own error codes that its code returns by name, and the port
// function ids it binds itself.
#ifndef VKKRN_ERROR_CODES_H
#define VKKRN_ERROR_CODES_H

namespace vkkrn {

inline constexpr int kErrNewReader = -4000;
inline constexpr int kErrEmptyList = -4001;
inline constexpr int kErrNullPointer = -4002;
inline constexpr int kErrNoMemory = -4003;
inline constexpr int kErrCommMode = -4004;
inline constexpr int kErrUnsupported = -4005;
inline constexpr int kErrFirstGenerationUsb = -4006;
inline constexpr int kErrNoValue = -4010;
inline constexpr int kErrUnknownReader = -4020;
inline constexpr int kErrReaderZero = -4021;
inline constexpr int kErrReaderNegative = -4022;
inline constexpr int kErrNoReaderHandle = -4023;
inline constexpr int kErrPortNegative = -4024;
inline constexpr int kErrLengthError = -4030;
inline constexpr int kErrChecksum = -4031;
inline constexpr int kErrBusy = -4032;
inline constexpr int kErrUnknownStatus = -4033;
inline constexpr int kErrNoUsbReply = -4034;
inline constexpr int kErrWrongCommand = -4035;
inline constexpr int kErrUsbTransaction = -4036;
inline constexpr int kErrWrongBusAddress = -4037;
inline constexpr int kErrUnknownParameter = -4050;
inline constexpr int kErrOutOfRange = -4051;
inline constexpr int kErrOddHex = -4052;
inline constexpr int kErrUnknownErrorCode = -4053;
inline constexpr int kErrUnsupportedOption = -4054;
inline constexpr int kErrLocked = -4056;
inline constexpr int kErrNoPlugIn = -4060;
inline constexpr int kErrPlugInInstalled = -4061;
inline constexpr int kErrPlugInOrigin = -4062;
inline constexpr int kErrBuildDataStream = -4063;
inline constexpr int kErrBuildProtocol = -4064;
inline constexpr int kErrSplitProtocol = -4065;
inline constexpr int kErrSplitDataStream = -4066;
inline constexpr int kErrGetPlugIn = -4067;
inline constexpr int kErrLoadPlugIn = -4068;
inline constexpr int kErrReleasePlugIn = -4069;
inline constexpr int kErrBufferOverflow = -4070;
inline constexpr int kErrTaskRunning = -4080;
inline constexpr int kErrTaskNotStarted = -4081;
inline constexpr int kErrTaskTimeout = -4082;
inline constexpr int kErrTaskBusy = -4084;
inline constexpr int kErrPortInUse = -4086;
inline constexpr int kErrCipherLibrary = -4090;
inline constexpr int kErrCipherInit = -4091;
inline constexpr int kErrAuthentReply = -4092;
inline constexpr int kErrEncipher = -4093;
inline constexpr int kErrDecipher = -4094;
inline constexpr int kErrUsbGeneration = -4006;

inline constexpr int kIdSerialErrorText = 1001;
inline constexpr int kIdSerialSetPortPara = 1024;
inline constexpr int kIdUsbErrorText = 1102;
inline constexpr int kIdUsbGetDevicePara = 1134;
inline constexpr int kIdTcpErrorText = 1201;
inline constexpr int kIdTcpAddEventHandler = 1210;
inline constexpr int kIdTcpDelEventHandler = 1211;

} // namespace vkkrn

#endif
