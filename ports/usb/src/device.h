// VKDevice: one KRN reader on the bus. Owns a counted reference to its libusb
// device, reads the reader's identity from its string descriptors, opens and
// configures it, finds out on first use whether it is driven by bulk or by
// vendor control transfers, and carries the host-protocol bytes: one write and
// one read transfer per exchange, no framing of its own.
#ifndef VKUSB_DEVICE_H
#define VKUSB_DEVICE_H

#include <vkusb/vkusb.h>

#include <libusb-1.0/libusb.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace vkusb {

inline constexpr int kTextFieldSize = 256; // family name, device name, interface type
inline constexpr unsigned kDefaultTimeoutMs = 1000;
inline constexpr int kTransferModeUnknown = 255;
inline constexpr int kTransferModeBulk = 1;
inline constexpr int kTransferModeControl = 0;
inline constexpr std::uint8_t kNoEndpoint = 255;
inline constexpr int kControlLengthLimit = 0xFFFF; // a control transfer's length field is 16 bits

// "%p" of a libusb device pointer, for trace lines.
struct PointerText {
    char text[64];
};

class VKDevice {
  public:
    VKDevice(int deviceHandle, libusb_device* device);
    virtual ~VKDevice();
    VKDevice(const VKDevice&) = delete;
    VKDevice& operator=(const VKDevice&) = delete;

    // Every public operation below takes the device mutex for its whole run.
    int IdentifyDevice();
    int OpenDevice();
    int CloseDevice();
    int IsPresent();
    bool IsDevice(const _VKUSB_SCANSEARCH* filter);
    int GetDevicePara(const char* key, char* value);
    int SetDevicePara(const char* key, const char* value);
    int Transceive(const char* interfaceName, const std::uint8_t* tx, int txLength, std::uint8_t* rx,
                   int rxLength);
    int Transmit(const char* interfaceName, const std::uint8_t* tx, int length);
    int Receive(const char* interfaceName, std::uint8_t* rx, int length);

    // Accessors take no lock; the registry calls them under its list mutex.
    std::uint32_t GetDeviceId() const { return deviceId_; }
    int GetDeviceHnd() const { return deviceHandle_; }
    const char* GetFamilyName() const { return familyName_; }
    const char* GetDeviceName() const { return deviceName_; }
    libusb_device* GetLibUsbDevice() const { return device_; }
    int GetLastError() const { return lastError_.load(); }
    int GetMarker() const { return marker_.load(); }
    bool IsOwnerScanList() const { return ownedByScanList_; }
    bool IsOpen() const { return handle_ != nullptr; }
    void SetDeviceHnd(int deviceHandle) { deviceHandle_ = deviceHandle; }
    void SetMarker(int marker) { marker_.store(marker); }
    void SetOwnerScanList(bool owned) { ownedByScanList_ = owned; }
    PointerText GetUsbDevPtr() const;

  private:
    enum class Transfer { Both, Write, Read };

    void CloseDev();
    int SetConfiguration();
    int GetBulkEndPoints();
    void ResetBulkEndPoints();
    int Transmit_Bulk(const std::uint8_t* data, int length);
    int Receive_Bulk(std::uint8_t* data, int length);
    int Transmit_Ctrl(const std::uint8_t* data, int length);
    int Receive_Ctrl(std::uint8_t* data, int length);
    int Exchange(const char* tag, Transfer transfer, const char* interfaceName, const std::uint8_t* tx,
                 int txLength, std::uint8_t* rx, int rxLength);
    int IsPresentLocked();
    int GetDeviceParaLocked(std::unique_lock<std::mutex>& lock, const char* key, char* value);
    int SetDeviceParaLocked(const char* key, const char* value);
    void logBuffer(const char* tag, bool written, const std::uint8_t* data, int count) const;

    std::mutex mutex_; // the device mutex; last in the lock order scan, list, device
    libusb_device* const device_;
    libusb_device_handle* handle_ = nullptr;
    bool ownedByScanList_ = true;
    std::atomic<int> lastError_{0};
    unsigned timeoutMs_ = kDefaultTimeoutMs;
    int deviceHandle_;
    std::uint32_t deviceId_ = 0;
    char familyName_[kTextFieldSize] = {};
    char deviceName_[kTextFieldSize] = {};
    char interfaceType_[kTextFieldSize] = {};
    int transferMode_ = kTransferModeUnknown;
    std::uint8_t inEndpoint_ = kNoEndpoint;
    std::uint8_t outEndpoint_ = kNoEndpoint;
    std::atomic<int> marker_{0};
};

// Copies `source` upper-cased into `destination` (128 bytes); false, leaving it
// empty, when the text does not fit.
bool g_ToUpperString(const char* source, char (&destination)[128]);

// libusb_open; the third argument is not used.
int g_libusb_open(libusb_device* device, libusb_device_handle** handle, int unused);

// Reads the id of a reader that has no object yet: opens it, reads string
// descriptor 1 and closes it. 0 when it cannot be opened or read, or is not hex.
std::uint32_t readDeviceId(libusb_device* device);

// Reads a device id as hexadecimal text (leading blanks, an optional sign and
// "0x"), looking at no more than `limit` characters; false when no digit follows.
bool parseHexId(const char* text, std::size_t limit, std::uint32_t& id);

} // namespace vkusb

#endif
