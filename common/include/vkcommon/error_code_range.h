// ErrorCodeRange: 0 or more is success, a negative result names by its range the
// library that made it.
#ifndef VKCOMMON_ERROR_CODE_RANGE_H
#define VKCOMMON_ERROR_CODE_RANGE_H

namespace vk {

enum class ErrorOwner { None, DataManager, Serial, Usb, Tcp, Reader, FunctionUnit, Transponder };

struct ErrorCodeRange {
    int lowest;
    int highest;
};

inline constexpr ErrorCodeRange kDataManagerErrors{-999, -100};
inline constexpr ErrorCodeRange kSerialErrors{-1099, -1000};
inline constexpr ErrorCodeRange kUsbErrors{-1199, -1100};
inline constexpr ErrorCodeRange kTcpErrors{-1299, -1200};
inline constexpr ErrorCodeRange kReaderErrors{-4099, -4000};
inline constexpr ErrorCodeRange kFunctionUnitErrors{-4199, -4100};
inline constexpr ErrorCodeRange kTransponderErrors{-4299, -4200};

constexpr bool inRange(int code, ErrorCodeRange range) {
    return code >= range.lowest && code <= range.highest;
}

constexpr ErrorOwner errorOwner(int code) {
    if (inRange(code, kDataManagerErrors)) return ErrorOwner::DataManager;
    if (inRange(code, kSerialErrors)) return ErrorOwner::Serial;
    if (inRange(code, kUsbErrors)) return ErrorOwner::Usb;
    if (inRange(code, kTcpErrors)) return ErrorOwner::Tcp;
    if (inRange(code, kReaderErrors)) return ErrorOwner::Reader;
    if (inRange(code, kFunctionUnitErrors)) return ErrorOwner::FunctionUnit;
    if (inRange(code, kTransponderErrors)) return ErrorOwner::Transponder;
    return ErrorOwner::None;
}

} // namespace vk

#endif
