// The ISO 15693 software anticollision and the QB anticollision loop over a
// reader whose answers come from the input: statuses and answer bytes of the
// inventory requests, the ends of frame that open the 16 slots, the stay-quiet
// requests and the QB commands. Input: byte 0 options (bit 0: the boards'
// maxima), then answers as {status, length, bytes}, served in order to the
// ISO 15693 anticollision and then to the QB loop. Once they run out the field
// is empty and silent. Nothing may pass the UID areas.
#include "fake_reader.h"
#include "iso14443qb_pcd.h"
#include "iso15693_pcd.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using kestoreader_test::CurrentReader;
using kestoreader_test::FakeReader;
using vemlasdknative::RfReaderBase;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    FakeReader reader;
    if ((data[0] & 0x01) != 0) reader.boardMaxima();
    for (std::size_t at = 1; at + 2 <= size;) {
        FakeReader::Scripted answer;
        answer.status = static_cast<RfReaderBase::ReaderStatus>(data[at] % 8);
        std::size_t n = data[at + 1];
        at += 2;
        n = std::min(n, size - at);
        answer.answer.assign(data + at, data + at + n);
        at += n;
        reader.script.push_back(answer);
    }
    CurrentReader current(&reader);

    constexpr int kEntries = 17;
    std::vector<std::uint8_t> uids(kEntries * 9);
    int count = -1;
    reader.selected_protocol = RfReaderBase::ISO15693;
    vemlasdknative::Iso15693Commands().Iso15693RunAntiCollision(0x06, 0, &count, uids.data(), kEntries);
    if (count < 0 || count > kEntries) std::abort();

    reader.selected_protocol = RfReaderBase::ISO14443B;
    std::uint8_t* chips = nullptr;
    int bytes = -1;
    const int result = vemlasdknative::ISO14443QB_AnticollisionLoop(&chips, &bytes);
    if (result == 0 && (chips == nullptr || bytes <= 0 || bytes > 16 * 8 || bytes % 8 != 0)) std::abort();
    if (result != 0 && (chips != nullptr || bytes != 0)) std::abort();
    delete[] chips;
    return 0;
}
