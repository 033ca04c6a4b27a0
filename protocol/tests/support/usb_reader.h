// Fixture of the internal tests on a USB reader of the stand-in libvkusb that
// records transfers: the reader, the stand-in's controls and the events the
// reader raised.
#ifndef VKKRN_TESTS_USB_READER_H
#define VKKRN_TESTS_USB_READER_H

#include "fake_usb_transfer.h"
#include "internal_fixture.h"

#include <algorithm>
#include <memory>
#include <vector>

class UsbReaderTest : public InternalTest {
  protected:
    static constexpr int kUsbPort = 0x10000001;

    // A reader on the stand-in whose device name is `deviceName` (it decides the
    // generation).
    void start(const char* deviceName) {
        usb_.setName(deviceName);
        reader_ = newReader(kUsbPort, &handle_);
        ASSERT_NE(reader_, nullptr);
        reader_->SetNotificationObserver([this](int event, const unsigned char*, int, int value) {
            events_.push_back({event, value});
        });
    }
    // How often `event` was raised, and the values it carried.
    int count(int event) const {
        return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                              [event](const Raised& r) { return r.event == event; }));
    }
    std::vector<int> values(int event) const {
        std::vector<int> out;
        for (const Raised& r : events_)
            if (r.event == event) out.push_back(r.value);
        return out;
    }

    struct Raised {
        int event;
        int value;
    };
    FakeUsbTransfer usb_;
    std::shared_ptr<VKKRNReader> reader_;
    int handle_ = 0;
    std::vector<Raised> events_;
};

#endif
