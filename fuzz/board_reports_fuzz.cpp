// Input reports of any length and content, queued through the simulated hidapi,
// into the board driver's read path, ping and log ring, and then once more into
// the command channel's answer reading (queue and flush).
//
// Input: byte 0 picks the board build and the read sizes; then reports, each a
// length byte (taken modulo 65) followed by that many bytes.
#include "command_channel.h"
#include "hid_com_driver.h"

#include <hidsim/hidsim.h>

#include <KXx0EVALOComm.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace board_link;
    if (size == 0) return 0;
    hidsim::reset();
    hidsim::DeviceProfile profile;
    profile.vendor = KESTO_VENDOR_ID;
    profile.product = KX20_PRODUCT_ID;
    const int device = hidsim::plug(profile, nullptr);
    profile.product = KX10_PRODUCT_ID;
    hidsim::plug(profile, nullptr);

    const std::uint8_t mode = data[0];
    auto queueReports = [&] {
        std::size_t at = 1;
        while (at < size) {
            const std::size_t length = std::min<std::size_t>(data[at] % 65, size - at - 1);
            hidsim::queueInput(device, hidsim::Report(data + at + 1, data + at + 1 + length));
            at += 1 + length;
        }
    };
    queueReports();
    {
        KXx0HidComDriver driver((mode & 1) != 0 ? kKx10Board : kKx20Board, KESTO_VENDOR_ID);
        if (!driver.open()) std::abort();
        std::vector<std::uint8_t> buffer(300, 0);
        const int asks[] = {1 + (mode >> 4), 5, 61, 62, 200};
        for (int ask : asks) {
            if (driver.read(buffer.data(), ask) != kDriverOk) driver.takeError();
            driver.takeStatus();
        }
        driver.ping((mode & 2) != 0);
        driver.takeError();
        driver.pollLog();
        std::vector<KestoComLogDataSet> entries(256);
        std::uint16_t count = 0;
        driver.readLog(entries.data(), count);
        if (count > 255 || driver.logCount() != 0) std::abort();
        driver.close();

        // The same reports as answers to telegrams.
        queueReports();
        driver.setTimeouts(1, 1);
        CommandChannel channel(&driver, (mode & 4) != 0
                                            ? static_cast<KestoComPolicy*>(&lateFlushPolicy())
                                            : static_cast<KestoComPolicy*>(&immediateFlushPolicy()));
        if (!channel.open()) std::abort();
        KXx0RegisterObject read(1, 1, 0x12);
        KXx0CommandObject command(0x43, 1 + (mode >> 3));
        command.setData({0x01, 0x02});
        FirmwareNumberObject number;
        GetFirmwareInfoObject info;
        channel.queue(&read);
        channel.queue(&command);
        channel.takeLinkErrors();
        channel.queue(&number);
        channel.queue(&info);
        channel.flush();
        if (read.result() > 2 && !read.answered()) std::abort();
        channel.close();
    }
    if (hidsim::counters().liveHandles != 0) std::abort();
    return 0;
}
