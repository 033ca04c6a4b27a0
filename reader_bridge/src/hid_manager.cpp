#include "hid_manager.h"

#include <kestoreader/qm30_dll.h>

#include <cstring>
#include <cwchar>

namespace vemlasdknative {

namespace {
constexpr int kConnectAttempts = 11;
constexpr std::size_t kManufacturerChars = 256;
} // namespace

HidManager::~HidManager() {
    if (mHandle != nullptr) hid_close(mHandle);
}

bool HidManager::Init() {
    if (mHandle != nullptr) return true;
    if (hid_init() != 0) return false;
    mHandle = hid_open(KESTO_VENDOR_ID, KESTO_PRODUCT_ID2, nullptr);
    if (mHandle == nullptr) return false;
    hid_set_nonblocking(mHandle, 0);
    return true;
}

bool HidManager::IsConnected() {
    if (mHandle == nullptr) return false;
    wchar_t text[kManufacturerChars] = {};
    if (hid_get_manufacturer_string(mHandle, text, kManufacturerChars) != 0) return false;
    return std::wcscmp(text, KESTO_MANUFACTURER) == 0;
}

int HidManager::SimpleWrite(const unsigned char* report) {
    return hid_write(mHandle, report, kReportSize);
}

int HidManager::SimpleRead(unsigned char* buffer) {
    std::memset(buffer, 0, kReadSize);
    return hid_read_timeout(mHandle, buffer, kReadSize, kReadTimeoutMs);
}

bool Darvik_connected(HidManager* manager) {
    for (int i = 0; i < kConnectAttempts; ++i)
        if (manager->Init()) return true;
    return false;
}

} // namespace vemlasdknative
