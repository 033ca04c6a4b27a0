// A test runs in a fresh working directory against the simulated bus: the bus is
// reset, then the simulated build of the library is loaded (it reads its
// configuration file from the working directory); at the end the library is
// unloaded and the bus must hold nothing the library took from it.
#ifndef VKUSB_TESTS_VKUSB_FIXTURE_H
#define VKUSB_TESTS_VKUSB_FIXTURE_H

#include "vkusb_api.h"

#include <usbsim/usbsim.h>
#include <vktesting/temp_dir.h>

#include <cstdint>
#include <string>

namespace vkusbtest {

inline constexpr const char* kSimLibrary = "libvkusb_sim.so";
inline constexpr char kInterface[] = "NUBO-RCI2";

// A reader of the maker with id `id` (string 1 in hexadecimal), family and
// device name, interface type "NUBO RCI2" and type number "TN-4711".
usbsim::ReaderProfile readerProfile(std::uint32_t id, const std::string& deviceName = "ID KRN.SIM200-U",
                                    const std::string& family = "KRN-SIM");
std::string hexText(std::uint32_t value);

// Redirects standard output (file descriptor 1) into a file until stop().
class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;
    std::string stop();

  private:
    int saved_ = -1;
    std::string path_;
};

class VkUsbTest : public vktesting::TempDirTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    void load();
    void unload();
    // Every handle, claim, descriptor, list and reference given back; libusb ended
    // as often as it was started.
    void expectBusReleased() const;

    int plug(std::uint32_t id) { return usbsim::plug(readerProfile(id)); }
    // Scans everything and opens reader `id`; returns its handle.
    int scanAndOpen(std::uint32_t id);

    VkUsbApi api;
    bool loadInSetUp_ = true;
};

// For scenarios that prepare the bus or the configuration file before loading.
class VkUsbLoadTest : public VkUsbTest {
  protected:
    VkUsbLoadTest() { loadInSetUp_ = false; }
};

} // namespace vkusbtest

#endif
