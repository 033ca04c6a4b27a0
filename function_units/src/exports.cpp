// The exported functions: texts, version and the unit commands, each a row of
// the command table handed to its runner.
#include "codes.h"
#include "last_state.h"
#include "unit_commands.h"

#include <vkfu.h>

#include <cstdio>

using namespace vkfu;

namespace {

constexpr char kVersion[] = "02.00.00";

} // namespace

extern "C" {

VKFU_API void VKFU_GetDLLVersion(char* version) {
    if (version == nullptr) {
        setLastError(kReaderNullPointer);
        return;
    }
    std::snprintf(version, sizeof kVersion, "%s", kVersion);
    setLastError(0);
}

VKFU_API int VKFU_GetErrorText(int code, char* text) {
    if (text == nullptr) {
        setLastError(kNullPointer);
        return kNullPointer;
    }
    setLastError(0);
    if (const char* known = errorText(code)) {
        std::snprintf(text, kTextCapacity, "%s", known);
        return 0;
    }
    std::snprintf(text, kTextCapacity, "VKFU: Unknown Errorcode (%d)", code);
    setLastError(kUnknownCode);
    return kUnknownCode;
}

VKFU_API int VKFU_GetStatusText(int status, char* text) {
    if (text == nullptr) {
        setLastError(kNullPointer);
        return kNullPointer;
    }
    setLastError(0);
    const auto byte = static_cast<std::uint8_t>(status);
    if (const char* known = statusText(byte)) {
        std::snprintf(text, kTextCapacity, "%s", known);
        return 0;
    }
    std::snprintf(text, kTextCapacity, "VKFU: Unknown Statusbyte (0x%02X)", static_cast<unsigned>(byte));
    setLastError(kUnknownStatus);
    return kUnknownStatus;
}

VKFU_API int VKFU_GetLastState(char* text) {
    if (text == nullptr) {
        setLastError(kNullPointer);
        return kNullPointer;
    }
    setLastError(0);
    const std::uint8_t status = lastStatus();
    const int rc = VKFU_GetStatusText(status, text);
    return rc < 0 ? rc : status;
}

VKFU_API int VKFU_GetLastError(int* code, char* text) {
    if (code == nullptr || text == nullptr) {
        setLastError(kNullPointer);
        return kNullPointer;
    }
    *code = lastError();
    return VKFU_GetErrorText(*code, text);
}

VKFU_API int VKFU_DAT_SoftVersion(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                  unsigned char* version) {
    return runIso(kDatSoftVersion, readerHnd, busAdr, unitAdr, {}, version);
}

VKFU_API int VKFU_DAT_CPUReset(int readerHnd, unsigned char busAdr, unsigned char unitAdr) {
    return runIso(kDatCpuReset, readerHnd, busAdr, unitAdr, {}, nullptr);
}

VKFU_API int VKFU_DAT_SetCapacities(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                    unsigned char value1, unsigned char value2) {
    return runIso(kDatSetCapacities, readerHnd, busAdr, unitAdr, {value1, value2}, nullptr);
}

VKFU_API int VKFU_DAT_GetValues(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                unsigned char* values) {
    return runIso(kDatGetValues, readerHnd, busAdr, unitAdr, {}, values);
}

VKFU_API int VKFU_DAT_SetOutput(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                unsigned char value) {
    return runIso(kDatSetOutput, readerHnd, busAdr, unitAdr, {value}, nullptr);
}

VKFU_API int VKFU_DAT_ReTuning(int readerHnd, unsigned char busAdr, unsigned char unitAdr) {
    return runIso(kDatReTuning, readerHnd, busAdr, unitAdr, {}, nullptr);
}

VKFU_API int VKFU_DAT_StartTuning(int readerHnd, unsigned char busAdr, unsigned char unitAdr) {
    return runIso(kDatStartTuning, readerHnd, busAdr, unitAdr, {}, nullptr);
}

VKFU_API int VKFU_DAT_SwitchAntenna(int readerHnd, unsigned char busAdr, unsigned char unitAdr) {
    return runIso(kDatSwitchAntenna, readerHnd, busAdr, unitAdr, {}, nullptr);
}

VKFU_API int VKFU_DAT_StoreSettings(int readerHnd, unsigned char busAdr, unsigned char unitAdr) {
    return runIso(kDatStoreSettings, readerHnd, busAdr, unitAdr, {}, nullptr);
}

VKFU_API int VKFU_DAT_Detect(int readerHnd, unsigned char busAdr, unsigned char unitAdr) {
    return runIso(kDatDetect, readerHnd, busAdr, unitAdr, {}, nullptr);
}

VKFU_API int VKFU_DAT_SetAddress(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                 unsigned char newAdr) {
    return runIso(kDatSetAddress, readerHnd, busAdr, unitAdr, {newAdr}, nullptr);
}

VKFU_API int VKFU_DAT_SetMode(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                              unsigned char mode) {
    return runIso(kDatSetMode, readerHnd, busAdr, unitAdr, {mode}, nullptr);
}

VKFU_API int VKFU_MUX_SoftVersion(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                  unsigned char* version) {
    return runIso(kMuxSoftVersion, readerHnd, busAdr, unitAdr, {}, version);
}

VKFU_API int VKFU_MUX_CPUReset(int readerHnd, unsigned char busAdr, unsigned char unitAdr) {
    return runIso(kMuxCpuReset, readerHnd, busAdr, unitAdr, {}, nullptr);
}

VKFU_API int VKFU_MUX_SelectChannel(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                    unsigned char value1, unsigned char value2) {
    return runIso(kMuxSelectChannel, readerHnd, busAdr, unitAdr, {value1, value2}, nullptr);
}

VKFU_API int VKFU_MUX_Detect(int readerHnd, unsigned char busAdr, unsigned char unitAdr) {
    return runIso(kMuxDetect, readerHnd, busAdr, unitAdr, {}, nullptr);
}

VKFU_API int VKFU_UMUX_SoftVersion(int readerHnd, unsigned char busAdr, unsigned char value1,
                                   unsigned char value2, unsigned char* status, unsigned char* version) {
    return runUhf(kUmuxSoftVersion, readerHnd, busAdr, {value1, value2}, status, version);
}

VKFU_API int VKFU_UMUX_CPUReset(int readerHnd, unsigned char busAdr, unsigned char value1,
                                unsigned char value2, unsigned char* status) {
    return runUhf(kUmuxCpuReset, readerHnd, busAdr, {value1, value2}, status, nullptr);
}

VKFU_API int VKFU_UMUX_SelectChannel(int readerHnd, unsigned char busAdr, unsigned char value1,
                                     unsigned char value2, unsigned char value3, unsigned char* status) {
    return runUhf(kUmuxSelectChannel, readerHnd, busAdr, {value1, value2, value3}, status, nullptr);
}

VKFU_API int VKFU_UMUX_Detect_GetPower(int readerHnd, unsigned char busAdr, unsigned char value1,
                                       unsigned char value2, unsigned char* status, unsigned char* values) {
    return runUhf(kUmuxDetectGetPower, readerHnd, busAdr, {value1, value2}, status, values);
}

} // extern "C"
