// The board readers over board answers of any shape: the entry table is filled
// with functions whose statuses, reported lengths and counts and written bytes
// come from the input (each writes no more than the room it is given, as the
// board libraries do; the lengths it reports are anything). Input: byte 0
// chooses the reader (bit 0) and three bytes name entries left missing; then
// steps {operation, arguments...} run on the reader, the answers drawn from
// the rest as the reader asks for them.
#include "KX10.h"
#include "kx20.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace vemlasdknative;

struct Input {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;

    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    std::uint16_t word() { return static_cast<std::uint16_t>(byte() << 8 | byte()); }
    // Up to `room` bytes into `out`, as many as the input says.
    void fill(void* out, std::size_t room) {
        const std::size_t n = std::min<std::size_t>({byte(), room, size - std::min(at, size)});
        if (n > 0) std::memcpy(out, data + at, n);
        at += n;
    }
};

Input input;
tagKXx0HANDLE* const kBoard = reinterpret_cast<tagKXx0HANDLE*>(&input);

KXx0ComError status() {
    return static_cast<KXx0ComError>(static_cast<std::int8_t>(input.byte()));
}

// Every byte the reader hands over must be readable.
void touch(const void* bytes, std::size_t n) {
    volatile std::uint8_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum = static_cast<std::uint8_t>(sum + static_cast<const std::uint8_t*>(bytes)[i]);
}

KXx0HANDLE getBoard() {
    return (input.byte() & 1) != 0 ? kBoard : nullptr;
}
void release(KXx0HANDLE) {}
KXx0ComError plain(KXx0HANDLE) {
    return status();
}
KXx0ComError value(KXx0HANDLE, std::uint32_t) {
    return status();
}
KXx0ComError rates(KXx0HANDLE, std::uint8_t, std::uint8_t) {
    return status();
}
KXx0ComError setMode(KXx0HANDLE, std::uint8_t, std::uint8_t, std::uint8_t) {
    return status();
}
KXx0ComError firmware(KXx0HANDLE, std::uint32_t* version) {
    *version = static_cast<std::uint32_t>(input.word()) << 16 | input.word();
    return status();
}
KXx0ComError ownVersion(char* name, char* version) {
    input.fill(name, 50);
    input.fill(version, 10);
    return status();
}
KXx0ComError blocking(KXx0HANDLE, const std::uint8_t* tx, std::uint16_t txLen, std::uint8_t* rx,
                      std::uint16_t rxCap, std::uint16_t* rcvLen, std::uint32_t, std::uint32_t) {
    touch(tx, txLen);
    input.fill(rx, rxCap);
    *rcvLen = input.word();
    return status();
}
KXx0ComError shortFrame(KXx0HANDLE, std::uint8_t, std::uint8_t* rx, std::uint8_t rxCap, std::uint16_t* rcvLen,
                        std::uint32_t) {
    input.fill(rx, rxCap);
    *rcvLen = input.word();
    return status();
}
KXx0ComError anticollision(KXx0HANDLE, std::uint8_t* frame, std::uint8_t* bytes, std::uint8_t* bits,
                           std::uint16_t* rcvLen, std::uint32_t) {
    const std::size_t n = *bytes + 5u + (*bits != 0 ? 1u : 0u);
    touch(frame, n);
    input.fill(frame, n);
    *bytes = input.byte();
    *bits = input.byte();
    *rcvLen = input.word();
    return status();
}
KXx0ComError eof(KXx0HANDLE, std::uint8_t* rx, std::uint8_t rxCap, std::uint16_t* rcvLen) {
    input.fill(rx, rxCap);
    *rcvLen = input.word();
    return status();
}
KXx0ComError select(KXx0HANDLE, std::uint8_t, bool, char* uid, std::size_t* uidLen, char* atqa, char* sak) {
    input.fill(uid, *uidLen);
    input.fill(atqa, 2);
    input.fill(sak, 1);
    *uidLen = input.word();
    return status();
}
KXx0ComError halt(KXx0HANDLE, char* rx, std::size_t* rxLen) {
    input.fill(rx, *rxLen);
    *rxLen = input.word();
    return status();
}
KXx0ComError initialise(KXx0HANDLE, int, bool) {
    return status();
}
KXx0ComError inventory(KXx0HANDLE, int, Iso15693InventoryEntry* entries, std::size_t* count) {
    input.fill(entries, *count * sizeof(Iso15693InventoryEntry));
    *count = input.word();
    return status();
}

// The entries the readers use, each left missing when its bit in `missing` is set.
void fillTable(std::uint32_t missing) {
    kxx0Entries = {};
    int bit = 0;
    const auto set = [&](auto& entry, auto function) {
        if ((missing >> bit++ & 1) == 0) entry = function;
    };
    set(kxx0Entries.GetKX10, &getBoard);
    set(kxx0Entries.ReleaseKX10, &release);
    set(kxx0Entries.checkConnection, &plain);
    set(kxx0Entries.getFirmwareVersion, &firmware);
    set(kxx0Entries.getVersion, &ownVersion);
    set(kxx0Entries.mosaInitialize, &plain);
    set(kxx0Entries.mosaFieldOff, &plain);
    set(kxx0Entries.mosaFieldOnAndStarGT, &plain);
    set(kxx0Entries.mosaSetMode, &setMode);
    set(kxx0Entries.mosaSetBitrate, &rates);
    set(kxx0Entries.mosaSetFDTListen, &value);
    set(kxx0Entries.mosaSetFDTPoll, &value);
    set(kxx0Entries.mosaSetGT, &value);
    set(kxx0Entries.mosaTransceiveBlockingTxRx, &blocking);
    set(kxx0Entries.mosaISO14443ATransceiveShortFrame, &shortFrame);
    set(kxx0Entries.mosaISO14443ATransceiveAnticollisionFrame, &anticollision);
    set(kxx0Entries.mosaISO15693TransceiveAnticollisionEOF, &eof);
    set(kxx0Entries.iso14443aSelect, &select);
    set(kxx0Entries.iso14443aHalt, &halt);
    set(kxx0Entries.iso15693Initialise, &initialise);
    set(kxx0Entries.iso15693sendInventoryRequest, &inventory);
}

void check(const Buffer& rx) {
    if (rx.length < 0 || rx.length > rx.capacity()) std::abort();
}

void step(RfReaderBase& reader) {
    switch (input.byte() % 12) {
    case 0: reader.Connect(); break;
    case 1: {
        byte_t mode[4] = {static_cast<byte_t>(input.byte() % 6), input.byte(), input.byte(), input.byte()};
        reader.SetMode(mode);
        break;
    }
    case 2:
    case 3: {
        Buffer tx(input.byte() + (input.byte() & 1) * 256);
        input.fill(tx.buf, static_cast<std::size_t>(tx.length));
        Buffer rx(input.byte() * 2);
        reader.Transceive(tx, &rx);
        check(rx);
        break;
    }
    case 4: {
        Buffer rx(input.byte() * 2);
        reader.SendHltA(&rx);
        check(rx);
        break;
    }
    case 5: {
        Buffer rx(input.byte() * 2);
        reader.SendEof(&rx);
        check(rx);
        break;
    }
    case 6: {
        std::vector<RfReaderBase::Uid> uids;
        reader.Inventory(uids);
        if (uids.size() > 20) std::abort();
        for (const auto& uid : uids)
            if (uid.length < 0 || uid.length > 10) std::abort();
        break;
    }
    case 7:
    case 8: {
        char text[kVersionTextSize];
        std::memset(text, 'x', sizeof text);
        // A text the reader reports is terminated within the room.
        const bool reported =
            (input.byte() & 1) != 0 ? reader.CheckVersion(text) : reader.GetFirmwareVersion(text);
        if (reported && std::memchr(text, 0, sizeof text) == nullptr) std::abort();
        break;
    }
    case 9: {
        Buffer rx(reader.GetMaxReceiveLengthInBytes());
        reader.SendReqA(&rx);
        check(rx);
        break;
    }
    case 10: {
        Buffer tx(input.byte());
        input.fill(tx.buf, static_cast<std::size_t>(tx.length));
        std::vector<byte_t> out(static_cast<std::size_t>(reader.GetMaxReceiveLengthInBytes()));
        if (reader.DllTxRx(tx, out.data()) > static_cast<int>(out.size())) std::abort();
        break;
    }
    default: reader.Disconnect(); break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    input = {data, size, 4};
    // No board library is within reach: the reader's own load leaves the table.
    std::unique_ptr<BoardReader> reader;
    if ((data[0] & 1) != 0) {
        auto second = std::make_unique<kx20>();
        second->kx20_dllHandle = kBoard;
        reader = std::move(second);
    } else {
        auto first = std::make_unique<kx10>();
        first->kx10_dllHandle = kBoard;
        reader = std::move(first);
    }
    fillTable(static_cast<std::uint32_t>(data[1] | data[2] << 8 | data[3] << 16) &
              ((data[0] & 2) != 0 ? ~0u : 0u));
    handle = reader.get();
    while (input.at < input.size)
        step(*reader);
    handle = nullptr;
    return 0;
}
