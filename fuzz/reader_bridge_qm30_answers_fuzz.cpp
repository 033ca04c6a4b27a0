// Transceiver answers of any shape through each transfer path of the dongle
// reader, the simulated dongle serving them (in one report or in parts).
// Input: byte 0 bits 0-2 the path (0 ISO 14443-A frame, 1 ISO 14443-B frame,
// 2 ISO 15693 frame, 3 ISO 14443-A frame mode, 4 end of frame, 5 firmware
// inventory, 6 ISO 14443-A inventory, 7 REQA), bit 3 one report per frame;
// byte 1 the transmission flag, frame mode or inventory parameter; then
// answers as {result code, length byte, payload length n, trailing length m,
// n + m bytes}. Once they run out the field is empty. Whatever the answers,
// the receive buffer keeps a length it holds and every UID its size.
#include "qm30.h"
#include "qm30_dll.h"

#include <hidsim/hidsim.h>
#include <qm30sim/qm30_model.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace vemlasdknative;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    hidsim::reset();
    auto model = std::make_shared<qm30sim::Qm30Model>();
    qm30sim::plugQm30(model);
    for (std::size_t at = 2; at + 4 <= size;) {
        qm30sim::FrameAnswer answer(data[at], {}, data[at + 1]);
        std::size_t n = std::min<std::size_t>(data[at + 2], size - at - 4);
        std::size_t m = std::min<std::size_t>(data[at + 3], size - at - 4 - n);
        at += 4;
        answer.payload.assign(data + at, data + at + n);
        at += n;
        answer.trailing.assign(data + at, data + at + m);
        at += m;
        model->queueAnswer(answer);
    }

    const int path = data[0] & 0x07;
    MCUrev = (data[0] & 0x08) != 0 ? kLastSingleReportRev : kMCUrevInitial;
    const byte_t parameter = data[1];
    {
        Qm30 reader;
        handle = &reader;
        check(reader.Connect());
        reader.selected_protocol = path == 1                             ? RfReaderBase::ISO14443B
                                   : path == 2 || path == 4 || path == 5 ? RfReaderBase::ISO15693
                                                                         : RfReaderBase::ISO14443A;
        Buffer tx(2);
        tx.buf[0] = 0x30;
        Buffer rx(Qm30::kMaxLength);
        std::vector<Qm30::Uid> uids;
        switch (path) {
        case 0:
        case 1:
        case 2: reader.Transceive(tx, parameter, &rx); break;
        case 3: reader.Transceive14443a(parameter, tx, &rx); break;
        case 4: reader.SendEof(&rx); break;
        case 5:
        case 6: {
            const byte_t algo[] = {1, parameter};
            reader.SetInventoryAlgo(const_cast<byte_t*>(algo));
            reader.Inventory(uids);
            break;
        }
        default: reader.SendReqA(&rx); break;
        }
        check(rx.length >= 0 && rx.length <= rx.capacity());
        check(uids.size() <= (path == 5 ? static_cast<std::size_t>(Qm30::kMaxInventoryTags) : 32u));
        for (const Qm30::Uid& uid : uids)
            check(uid.length == (path == 5 ? 8 : uid.length) && uid.length > 0 && uid.length <= 10);
        handle = nullptr;
    }
    check(hidsim::counters().liveHandles == 0 && hidsim::violations().empty());
    return 0;
}
