// HID services the board link libraries expect from their platform: the list of
// present HID interfaces, and one report at a time to and from an opened one.
// Linux build over hidapi (hidraw backend); each final target links either the
// real hidapi or a simulated one.
//
// Reports cross this interface with the report id in byte 0. The boards use
// unnumbered reports: a read puts a 0 in front of what the device sent, and a
// write hands the whole buffer (id 0 first) to the device.
#ifndef VKPLATFORM_HID_SERVICES_H
#define VKPLATFORM_HID_SERVICES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vkplatform::hid {

// Interfaces beyond this count are never looked at.
inline constexpr std::size_t kMaxInterfaces = 64;
// hidapi has no capability query: a board interface carries 64-byte reports,
// 65 with the report id, and no feature report.
inline constexpr std::uint16_t kReportLength = 65;
// The hidraw driver queues this many input reports per open file.
inline constexpr std::uint16_t kInputBuffers = 64;

struct Interface {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

struct ReportLengths {
    std::uint16_t input = 0; // report id included
    std::uint16_t output = 0;
    std::uint16_t feature = 0;
};

enum class Transfer { Done, TimedOut, Failed };

struct Device; // an opened interface

// The present HID interfaces in the platform's order, at most `limit` of them.
std::vector<Interface> enumerate(std::size_t limit = kMaxInterfaces);

// Opens the interface at `path`; null when it cannot be opened or this process
// holds it open already (the boards are not shared).
Device* open(const char* path);
void close(Device* device);

ReportLengths reportLengths(const Device* device);
std::uint16_t inputBuffers(const Device* device);
// hidraw's queue has a fixed size: the wanted count is kept, not applied.
bool setInputBuffers(Device* device, std::uint16_t count);

// Reads one input report into buffer[1..length-1] within `timeoutMs` (all 32
// bits set: no limit) and sets buffer[0] = 0. `received` counts the id byte.
Transfer readReport(Device* device, std::uint8_t* buffer, std::size_t length, std::uint32_t timeoutMs,
                    std::size_t& received);
// Writes one report, id in data[0]; done only when every byte went out. hidapi
// cannot bound a write: the time-out is accepted and not enforced.
Transfer writeReport(Device* device, const std::uint8_t* data, std::size_t length, std::uint32_t timeoutMs);

// The hidapi time-out for a time-out in milliseconds: all 32 bits set is -1 (no
// limit), other values above INT_MAX are clamped.
int hidapiTimeout(std::uint32_t timeoutMs);

} // namespace vkplatform::hid

#endif
