// One HID interface of an evaluation board: enumeration by vendor and product
// id, opening by index among the matches or by path, and report reads and
// writes with time-outs.
#ifndef BOARD_LINK_CHID_DEVICE_H
#define BOARD_LINK_CHID_DEVICE_H

#include <cstddef>
#include <cstdint>

namespace vkplatform::hid {
struct Device;
}

namespace board_link {

// Result codes of every CHIDDevice operation.
enum HidResult : std::uint8_t {
    kHidOk = 0,
    kHidNoDevice = 1,
    kHidNotOpen = 2,
    kHidAlreadyOpen = 3,
    kHidTimeout = 4,
    kHidIoFailure = 5,
    kHidInvalidHandle = 7,
    kHidBadLength = 8,
};

// Size of a caller's device-path buffer, terminator included.
inline constexpr std::size_t kDevicePathSize = 260;
// Interfaces at this index or above are never looked at.
inline constexpr int kMaxDeviceIndex = 64;
// All 32 bits set: wait without limit.
inline constexpr std::uint32_t kInfiniteTimeout = 0xFFFFFFFFu;

// Copies the path of the HID interface at `index` into `path` (kDevicePathSize
// characters). 1 on success; 0 for an index of 64 or more, an index with no
// interface, or a path that does not fit.
int getDevicePath(int index, char* path);
// Number of present interfaces carrying both ids.
int countDevices(std::uint16_t vendorId, std::uint16_t productId);
// A board device is usable when its input and output reports are 64 or 65 bytes
// long (report id included): shorter ones cannot carry a report, longer ones do
// not fit the driver's report buffers.
bool acceptReportLengths(std::uint16_t inputLength, std::uint16_t outputLength);

class CHIDDevice {
  public:
    CHIDDevice();
    virtual ~CHIDDevice();
    CHIDDevice(const CHIDDevice&) = delete;
    CHIDDevice& operator=(const CHIDDevice&) = delete;

    std::uint8_t openByIndex(int index, std::uint16_t vendorId, std::uint16_t productId,
                             std::uint16_t wantedBuffers);
    std::uint8_t openByPath(const char* path, std::uint16_t vendorId, std::uint16_t productId,
                            std::uint16_t wantedBuffers);
    std::uint8_t close();
    bool isOpen();

    // Reads `count` whole input reports into `buffer`; `bytes` is the count
    // transferred (0 on failure).
    std::uint8_t readReports(std::uint8_t* buffer, std::size_t length, std::size_t count, std::size_t& bytes);
    // Writes one output report; shorter data is padded with zeros to the report.
    std::uint8_t writeReport(const std::uint8_t* data, std::size_t length);

    void getTimeouts(std::uint32_t& read, std::uint32_t& write) const;
    void setTimeouts(std::uint32_t read, std::uint32_t write);

    std::uint16_t inputReportLength() const { return inputReportLength_; }
    std::uint16_t outputReportLength() const { return outputReportLength_; }
    std::uint16_t featureReportLength() const { return featureReportLength_; }
    std::uint16_t inputBufferCount() const { return inputBufferCount_; }

  private:
    void reset();
    std::uint8_t takeOpened(vkplatform::hid::Device* device, std::uint16_t wantedBuffers);

    vkplatform::hid::Device* handle_ = nullptr; // null: the invalid handle
    bool opened_ = false;
    std::uint32_t readTimeout_ = kInfiniteTimeout;
    std::uint32_t writeTimeout_ = kInfiniteTimeout;
    std::uint16_t inputReportLength_ = 0;
    std::uint16_t outputReportLength_ = 0;
    std::uint16_t featureReportLength_ = 0;
    std::uint16_t inputBufferCount_ = 0;
};

} // namespace board_link

#endif
