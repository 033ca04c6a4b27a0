// The controls of the stand-in libvkusb that records transfers
// (fakes/fake_usb_transfer.cpp), reached in the copy libvkkrn binds. The test
// program puts the stand-in's directory first on LD_LIBRARY_PATH.
#ifndef VKKRN_TESTS_FAKE_USB_TRANSFER_H
#define VKKRN_TESTS_FAKE_USB_TRANSFER_H

#include "loaded_library.h"

#include <cstdint>
#include <string>
#include <vector>

class FakeUsbTransfer {
  public:
    using Bytes = std::vector<std::uint8_t>;
    struct Transfer {
        std::string interfaceName;
        int mode = 0; // 1 head, 2 payload, -1 transmit or receive
        Bytes bytes;
    };

    // Device names that make a reader of the first or the second generation.
    static constexpr const char* kFirstGeneration = "ID KRN.GWT473-U";
    static constexpr const char* kSecondGeneration = "ID KRN.MAX-U";

    FakeUsbTransfer()
        : setName_(usb_.symbol<void (*)(const char*)>("FAKE_UsbSetName")),
          queue_(usb_.symbol<void (*)(int, const std::uint8_t*, int)>("FAKE_UsbQueueReply")),
          reset_(usb_.symbol<void (*)()>("FAKE_UsbReset")),
          count_(usb_.symbol<int (*)()>("FAKE_UsbTransferCount")),
          transfer_(usb_.symbol<int (*)(int, char*, int*, std::uint8_t*, int)>("FAKE_UsbTransfer")),
          holdNext_(usb_.symbol<void (*)()>("FAKE_UsbHoldNext")),
          waitHeld_(usb_.symbol<int (*)(int)>("FAKE_UsbWaitHeld")),
          release_(usb_.symbol<void (*)()>("FAKE_UsbRelease")) {
        reset_();
    }
    ~FakeUsbTransfer() { release_(); }
    FakeUsbTransfer(const FakeUsbTransfer&) = delete;
    FakeUsbTransfer& operator=(const FakeUsbTransfer&) = delete;

    // The "DeviceName" the reader reads when it gets the port.
    void setName(const char* name) { setName_(name); }
    // Queues a reply: `result` is returned, `bytes` written to the reply buffer.
    void queue(int result, const Bytes& bytes = {}) {
        queue_(result, bytes.data(), static_cast<int>(bytes.size()));
    }
    // Forgets transfers and replies.
    void reset() { reset_(); }
    int count() { return count_(); }
    std::vector<Transfer> transfers() {
        std::vector<Transfer> out;
        for (int i = 0; i < count_(); ++i) {
            char name[64];
            int mode = 0;
            Bytes bytes(0x10001);
            const int n = transfer_(i, name, &mode, bytes.data(), static_cast<int>(bytes.size()));
            bytes.resize(static_cast<std::size_t>(n));
            out.push_back({name, mode, bytes});
        }
        return out;
    }
    // The next transfer is recorded, then waits in the stand-in until release().
    void holdNext() { holdNext_(); }
    // True once a transfer is held (false after `ms` milliseconds without one).
    bool waitHeld(int ms = 5000) { return waitHeld_(ms) != 0; }
    void release() { release_(); }

  private:
    LoadedLibrary usb_{"libvkusb.so"};
    void (*setName_)(const char*);
    void (*queue_)(int, const std::uint8_t*, int);
    void (*reset_)();
    int (*count_)();
    int (*transfer_)(int, char*, int*, std::uint8_t*, int);
    void (*holdNext_)();
    int (*waitHeld_)(int);
    void (*release_)();
};

#endif
