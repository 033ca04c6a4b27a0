// The exported interface: argument checks in their order, the last error, and
// the lookup of the transponder outside of which every exchange runs.
#include "codes.h"
#include "manager.h"
#include "texts.h"
#include "transponder.h"

#include <vkcommon/error_code_range.h>
#include <vkcommon/guarded.h>
#include <vkcommon/hex_digit.h>
#include <vkcommon/port_function_id.h>
#include <vkkrn.h>
#include <vktcl.h>
#include <vktcl_text.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

using vktcl::g_LibVkTclManager;

namespace {

constexpr char kVersion[] = "02.02.02";

// Runs an export's body: an exception that comes this far (an allocation that
// failed) gives -4203.
template <typename Body> int guarded(Body&& body) noexcept {
    return vk::guarded(vktcl::kErrMemory, std::forward<Body>(body));
}

// The handle checks of every call on a transponder, each recorded; 0 recorded
// once the transponder is found.
// The checks before the search: negative, zero, no transponder at all.
int handleCheck(int handle) {
    if (handle < 0) return vktcl::kErrHandleNegative;
    if (handle == 0) return vktcl::kErrHandleZero;
    if (g_LibVkTclManager.enumVKTransponder() == 0) return vktcl::kErrEmptyList;
    return 0;
}

std::shared_ptr<vktcl::VKTransponder> lookUp(int handle, int& code) {
    code = handleCheck(handle);
    std::shared_ptr<vktcl::VKTransponder> t;
    if (code == 0) {
        t = g_LibVkTclManager.searchVKTransponder(handle);
        if (t == nullptr) code = vktcl::kErrHandleNotFound;
    }
    g_LibVkTclManager.setLastError(code);
    return t;
}

// A port library's text function, bound by id: its result, or an empty text
// and 0 when it cannot be bound.
int portText(int id, int code, char* text) {
    using TextFn = int (*)(int, char*);
    auto fn = reinterpret_cast<TextFn>(g_LibVkTclManager.portFunction(id));
    if (fn == nullptr) {
        text[0] = '\0';
        return 0;
    }
    return fn(code, text);
}

} // namespace

int getErrorText(int code, char* text) {
    const std::string_view own = vktcl::ownErrorText(code);
    if (!own.empty()) {
        vktcl::copyText(text, own);
        return 0;
    }
    // The bare range bases (-4000, -1000, -1100, -1200) belong to no one here.
    if (code >= -4099 && code <= -4001) return VKKRN_GetErrorText(code, text);
    if (code >= -1099 && code <= -1001) return portText(1001, code, text);
    if (code >= -1199 && code <= -1101) return portText(1102, code, text);
    if (code >= -1299 && code <= -1201) return portText(1201, code, text);
    std::snprintf(text, vktcl::kTextSize, "VKTCL: Unknown error code (%d)", code);
    return vktcl::kErrUnknownCode;
}

char* VktclGetErrorText(int code, char* text) {
    getErrorText(code, text);
    return text;
}

void getCallerText(int number, char* text) {
    const std::string_view name = vktcl::callerName(number);
    if (!name.empty())
        vktcl::copyText(text, name);
    else
        std::snprintf(text, vktcl::kTextSize, "VKTCL: Unbekannter Caller (%d)", number);
}

void printError(int, long, int) {}

int translateDLQStatus(unsigned char status) {
    static constexpr struct {
        unsigned char status;
        int code;
    } kMap[] = {{0x01, -4281}, {0x02, -4282}, {0x03, -4283}, {0x04, -4284}, {0x05, -4285}, {0x08, -4286},
                {0x09, -4287}, {0x0E, -4288}, {0x10, -4289}, {0x11, -4290}, {0x80, -4291}, {0x81, -4292},
                {0x82, -4293}, {0x83, -4294}, {0x94, -4295}, {0x95, -4296}, {0x96, -4297}};
    for (const auto& row : kMap) {
        if (row.status == status) return row.code;
    }
    return status;
}

const char* VktclApduStream2String(unsigned char* data, int length, std::string& text) {
    if (length > vktcl::kMaxApduLength) return "ERROR: APDU length > 65535";
    for (int i = 0; i < length; ++i) {
        text += vk::kHexDigits[data[i] >> 4];
        text += vk::kHexDigits[data[i] & 0x0F];
        text += ' ';
    }
    return text.c_str();
}

extern "C" {

VKTCL_API void VKTCL_GetDLLVersion(char* version) {
    if (version == nullptr) {
        g_LibVkTclManager.setLastError(vktcl::kErrNull);
        return;
    }
    std::memcpy(version, kVersion, sizeof kVersion);
    g_LibVkTclManager.setLastError(0);
}

VKTCL_API int VKTCL_GetErrorText(int code, char* text) {
    if (text == nullptr) return vktcl::kErrNull;
    return getErrorText(code, text);
}

VKTCL_API int VKTCL_GetLastError(int* code, char* text) {
    if (code == nullptr || text == nullptr) return vktcl::kErrNull;
    int last = 0;
    {
        auto lock = g_LibVkTclManager.Lock();
        last = g_LibVkTclManager.getLastError();
    }
    *code = last;
    getErrorText(last, text);
    return 0;
}

VKTCL_API int VKTCL_NewTransponder(int readerHandle, unsigned char busAddress, unsigned char cid,
                                   unsigned char nad, bool useCid, bool useNad) {
    return guarded([&] {
        return g_LibVkTclManager.createNewVKTransponder(readerHandle, busAddress, cid, nad, useCid, useNad);
    });
}

VKTCL_API int VKTCL_DeleteTransponder(int handle) {
    return guarded([&] {
        const int code = handleCheck(handle);
        if (code != 0) {
            g_LibVkTclManager.setLastError(code);
            return code;
        }
        return g_LibVkTclManager.deleteVKTransponder(handle);
    });
}

VKTCL_API int VKTCL_GetTransponderList(int handle) {
    return g_LibVkTclManager.getVKTransponderList(handle);
}

VKTCL_API int VKTCL_Apdu(int handle, unsigned char* apdu, int length, _VKTCL_EVENT_INIT* event) {
    return guarded([&] {
        int code = 0;
        if (apdu == nullptr)
            code = vktcl::kErrNull;
        else if (length > vktcl::kMaxApduLength)
            code = vktcl::kErrApduLength;
        else if (length < 0)
            code = vktcl::kErrRange;
        if (code != 0) {
            g_LibVkTclManager.setLastError(code);
            return code;
        }
        const auto t = lookUp(handle, code);
        if (t == nullptr) return code;
        return t->apdu(apdu, length, event);
    });
}

VKTCL_API int VKTCL_Deselect(int handle) {
    return guarded([&] {
        int code = 0;
        const auto t = lookUp(handle, code);
        return t == nullptr ? code : t->deselect();
    });
}

VKTCL_API int VKTCL_Ping(int handle) {
    return guarded([&] {
        int code = 0;
        const auto t = lookUp(handle, code);
        return t == nullptr ? code : t->ping();
    });
}

VKTCL_API int VKTCL_GetResponseData(int handle, unsigned char* buffer, int size) {
    return guarded([&] {
        if (buffer == nullptr) {
            g_LibVkTclManager.setLastError(vktcl::kErrNull);
            return vktcl::kErrNull;
        }
        int code = 0;
        const auto t = lookUp(handle, code);
        return t == nullptr ? code : t->getResponseData(buffer, size);
    });
}

} // extern "C"
