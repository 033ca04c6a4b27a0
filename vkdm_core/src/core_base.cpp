// VKDM_Base and VKDM_DataBase: texts, versions, port libraries, data memory.
#include "codes.h"
#include "control.h"
#include "hex.h"
#include "state.h"

#include <vkcommon/port_binder.h>
#include <vkfu.h>
#include <vkkrn.h>
#include <vktcl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string.h> // explicit_bzero

namespace vkdm {

namespace {

vk::PortBinder& binder() {
    static vk::PortBinder b;
    return b;
}

} // namespace

void* portFunction(int id) {
    return binder().function(id);
}

void* tcpSymbol(const char* name) {
    void* library = binder().library(vk::PortLibrary::Tcp);
    return library != nullptr ? ::dlsym(library, name) : nullptr;
}

int errorText(char* text, int code) {
    if (text == nullptr) return kNullArgument;
    char buffer[512] = {};
    if (code == 0) {
        copyText(text, "VKDM: OK");
        return 0;
    }
    if (code <= -100 && code >= -999) {
        if (const char* t = coreText(code)) {
            copyText(text, t);
            return 0;
        }
        std::snprintf(buffer, sizeof buffer, "VKDM: unknown error code (%d)", code);
        copyText(text, buffer);
        return kUnknownCode;
    }
    if ((code <= -1000 && code >= -1299) || (code <= -4000 && code >= -4099)) {
        const int rc = VKKRN_GetErrorText(code, buffer);
        buffer[sizeof buffer - 1] = '\0';
        copyText(text, buffer);
        return rc;
    }
    if (code <= -4100 && code >= -4199) {
        const int rc = VKFU_GetErrorText(code, buffer);
        buffer[sizeof buffer - 1] = '\0';
        copyText(text, buffer);
        return rc;
    }
    if (code <= -4200 && code >= -4299) {
        const int rc = VKTCL_GetErrorText(code, buffer);
        buffer[sizeof buffer - 1] = '\0';
        copyText(text, buffer);
        return rc;
    }
    std::snprintf(buffer, sizeof buffer, "VKDM: unknown error code (%d)", code);
    copyText(text, buffer);
    return kUnknownCode;
}

} // namespace vkdm

using namespace vkdm;

// ---- VKDM_Base ----------------------------------------------------------------

VKDM_Base::VKDM_Base() = default;
VKDM_Base::~VKDM_Base() = default;

int VKDM_Base::GetErrorText(char* text, int code) {
    return errorText(text, code);
}

std::string VKDM_Base::GetLibVersion() {
    return versionText();
}

void* VKDM_Base::LoadViZer() {
    return binder().library(vk::PortLibrary::Serial);
}
void* VKDM_Base::LoadVkUsb() {
    return binder().library(vk::PortLibrary::Usb);
}

void* VKDM_Base::GetViZerFunction(unsigned int id) {
    logCall("GetViZerFunction", std::to_string(id));
    if (id < 1000 || id > 1099) return nullptr;
    return binder().function(static_cast<int>(id));
}

void* VKDM_Base::GetVkUsbFunction(unsigned int id) {
    logCall("GetVkUsbFunction", std::to_string(id));
    if (id < 1100 || id > 1199) return nullptr;
    return binder().function(static_cast<int>(id));
}

// ---- VKDM_DataBase ----------------------------------------------------------

VKDM_DataBase::VKDM_DataBase() : m_memory(std::make_unique<DataMemory>()), m_familyCode{}, m_readerName{} {}
VKDM_DataBase::~VKDM_DataBase() = default;

DataMemory& VKDM_DataBase::Memory() {
    return *m_memory;
}

namespace {

std::string idText(const char* id) {
    return id != nullptr ? std::string(id, strnlen(id, 128)) : "(null)";
}

template <typename T> int readScalar(DataMemory& memory, const char* id, T* value, std::uint64_t max) {
    if (value == nullptr) return kNullArgument;
    std::uint64_t n = 0;
    if (int rc = memory.readNumber(id, n); rc < 0) return rc;
    if (n > max) return kValueDoesNotFit;
    *value = static_cast<T>(n);
    return 0;
}

} // namespace

int VKDM_DataBase::GetData(const char* id, bool* value) {
    int forced = 0;
    if (enter("GetData", "bool", idText(id), -1, "", forced)) return forced;
    if (value == nullptr) return kNullArgument;
    std::vector<std::uint8_t> bytes;
    if (int rc = m_memory->read(id, bytes); rc < 0) return rc;
    bool any = false;
    for (std::uint8_t b : bytes)
        any = any || b != 0;
    *value = any;
    return 0;
}

int VKDM_DataBase::GetData(const char* id, unsigned char* value) {
    int forced = 0;
    if (enter("GetData", "u8", idText(id), -1, "", forced)) return forced;
    return readScalar(*m_memory, id, value, 0xFF);
}

int VKDM_DataBase::GetData(const char* id, unsigned char* buffer, int count) {
    int forced = 0;
    if (enter("GetData", "bytes", idText(id), count, "", forced)) return forced;
    if (buffer == nullptr) return kNullArgument;
    std::vector<std::uint8_t> bytes;
    if (int rc = m_memory->read(id, bytes); rc < 0) return rc;
    if (count < 1 || count > static_cast<int>(bytes.size())) return kBadLength;
    std::memcpy(buffer, bytes.data(), static_cast<std::size_t>(count));
    return 0;
}

int VKDM_DataBase::GetData(const char* id, unsigned int* value) {
    int forced = 0;
    if (enter("GetData", "u32", idText(id), -1, "", forced)) return forced;
    return readScalar(*m_memory, id, value, 0xFFFFFFFFu);
}

int VKDM_DataBase::GetData(const char* id, std::string& value) {
    int forced = 0;
    if (enter("GetData", "string", idText(id), -1, "", forced)) return forced;
    std::vector<std::uint8_t> bytes;
    if (int rc = m_memory->read(id, bytes); rc < 0) return rc;
    std::size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0)
        ++n;
    value.assign(reinterpret_cast<const char*>(bytes.data()), n);
    return 0;
}

int VKDM_DataBase::GetData(int id, unsigned char* buffer, int address, int count) {
    int forced = 0;
    if (enter("GetData", "memory", std::to_string(id), count, std::to_string(address), forced)) return forced;
    if (buffer == nullptr) return kNullArgument;
    if (id != 1) return kUnknownType;
    return m_memory->readImage(address, buffer, count);
}

int VKDM_DataBase::SetData(const char* id, bool value) {
    int forced = 0;
    if (enter("SetData", "bool", idText(id), -1, value ? "1" : "0", forced)) return forced;
    return m_memory->writeNumber(id, value ? 1 : 0);
}

int VKDM_DataBase::SetData(const char* id, unsigned char value) {
    int forced = 0;
    if (enter("SetData", "u8", idText(id), -1, std::to_string(value), forced)) return forced;
    return m_memory->writeNumber(id, value);
}

int VKDM_DataBase::SetData(const char* id, unsigned char* buffer, int count) {
    int forced = 0;
    if (enter("SetData", "bytes", idText(id), count,
              buffer != nullptr && count > 0 ? hexText(buffer, static_cast<std::size_t>(std::min(count, 64)))
                                             : "",
              forced))
        return forced;
    if (buffer == nullptr) return kNullArgument;
    if (count < 0) return kBadLength;
    return m_memory->write(id, buffer, static_cast<std::size_t>(count));
}

int VKDM_DataBase::SetData(const char* id, unsigned int value) {
    int forced = 0;
    if (enter("SetData", "u32", idText(id), -1, std::to_string(value), forced)) return forced;
    return m_memory->writeNumber(id, value);
}

int VKDM_DataBase::SetData(const char* id, std::string value) {
    int forced = 0;
    if (enter("SetData", "string", idText(id), static_cast<long long>(value.size()), value, forced))
        return forced;
    return m_memory->write(id, reinterpret_cast<const std::uint8_t*>(value.data()), value.size());
}

void VKDM_DataBase::SetBusAddress(unsigned char address) {
    m_busAddress = address;
}
unsigned char VKDM_DataBase::GetBusAddress() {
    return m_busAddress;
}
const char* VKDM_DataBase::GetFamilyCode() {
    return m_familyCode;
}
const char* VKDM_DataBase::GetReaderName() {
    return m_readerName;
}
int VKDM_DataBase::GetReaderType() {
    return m_readerType;
}

int VKDM_DataBase::SetReaderType(int type) {
    int forced = 0;
    if (enter("SetReaderType", "", "", -1, std::to_string(type), forced)) return forced;
    if (type < 0 || type > 255) return kOutOfRange;
    m_readerType = type;
    return 0;
}

void VKDM_DataBase::SetModuleHnd(int handle) {
    m_moduleHnd = handle;
}
int VKDM_DataBase::GetModuleHnd() {
    return m_moduleHnd;
}
int VKDM_DataBase::GetReaderHnd() {
    return 0;
}

// ---- Free functions -------------------------------------------------------------

int VKDM_ConvHexStrToHexUChar(const char* text, unsigned char* out, int max) {
    if (text == nullptr || out == nullptr) return kNullArgument;
    if (max < 0) return kBadLength;
    // Two digits per byte, at most `max` (32) bytes: the text beyond is not read.
    const std::size_t limit = 2 * static_cast<std::size_t>(std::min(max, 32));
    std::vector<std::uint8_t> bytes;
    const int rc = hexBytes(text, strnlen(text, limit), bytes);
    const int count = static_cast<int>(bytes.size());
    if (rc == 0 && count > 0) std::memcpy(out, bytes.data(), bytes.size());
    // The text may be a cipher key: the bytes decoded in passing leave no copy.
    if (bytes.capacity() > 0) explicit_bzero(bytes.data(), bytes.capacity());
    return rc < 0 ? rc : count;
}

int VKDM_ConvHexUCharToHexStr(const unsigned char* data, int count, char* text) {
    if (text == nullptr || (data == nullptr && count > 0)) return kNullArgument;
    if (count < 0) return kBadLength;
    const std::string hex = hexText(data, static_cast<std::size_t>(count));
    std::memcpy(text, hex.c_str(), hex.size() + 1);
    return static_cast<int>(hex.size());
}

int VKDM_RemNoHexChar(char* text) {
    if (text == nullptr) return kNullArgument;
    int kept = 0;
    for (char* p = text; *p != '\0'; ++p) {
        const char c = *p;
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) text[kept++] = c;
    }
    text[kept] = '\0';
    return kept;
}

int VKDM_GetByteCntOfID(const char* id) {
    ParamId parsed;
    if (int rc = parseParamId(id, parsed); rc < 0) return rc;
    return parsed.count();
}
