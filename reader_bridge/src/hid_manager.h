// The dongle's HID transport: one open device per manager.
#ifndef KESTOREADER_HID_MANAGER_H
#define KESTOREADER_HID_MANAGER_H

#include <hidapi/hidapi.h>

namespace vemlasdknative {

class HidManager {
  public:
    // Report sizes: every output report is 64 bytes, report id in byte 0; an
    // input report is read into 256 bytes.
    static constexpr int kReportSize = 64;
    static constexpr int kReadSize = 256;
    // A dongle that has not answered within this time is taken as gone.
    static constexpr int kReadTimeoutMs = 3000;

    HidManager() = default;
    ~HidManager();
    HidManager(const HidManager&) = delete;
    HidManager& operator=(const HidManager&) = delete;

    bool Init();
    bool IsConnected();
    // hid_write of the 64-byte report; its result.
    int SimpleWrite(const unsigned char* report);
    // One input report into a zeroed 256-byte buffer; hid_read_timeout's
    // result (0 when the dongle did not answer in time).
    int SimpleRead(unsigned char* buffer);
    void GetDeviceCapabilities() {}

    hid_device* mHandle = nullptr;
};

// Up to 11 Init calls in a row, without delay; true at the first success.
bool Darvik_connected(HidManager* manager);

} // namespace vemlasdknative

#endif
