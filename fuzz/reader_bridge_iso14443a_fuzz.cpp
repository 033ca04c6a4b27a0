// The ISO 14443-A collect-all loop over a reader whose answers come from the
// input: the reader's statuses, answer bytes and collision positions are the
// outside input here. Input: byte 0 options (bit 0: the reader writes no
// collision position; bit 1: the boards' maxima), then answers as {status,
// collision byte, collision bit, length, bytes}. Once they run out the field is
// empty and silent. Every tag found must fit its record.
#include "fake_reader.h"
#include "iso14443a_pcd.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using kestoreader_test::CurrentReader;
using kestoreader_test::FakeReader;
using vemlasdknative::RfReaderBase;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    FakeReader reader;
    reader.silentCollisionPos = (data[0] & 0x01) != 0;
    if ((data[0] & 0x02) != 0) reader.boardMaxima();
    for (std::size_t at = 1; at + 4 <= size;) {
        FakeReader::Scripted answer;
        answer.status = static_cast<RfReaderBase::ReaderStatus>(data[at] % 8);
        answer.byte = data[at + 1];
        answer.bit = data[at + 2];
        std::size_t n = data[at + 3];
        at += 4;
        n = std::min(n, size - at);
        answer.answer.assign(data + at, data + at + n);
        at += n;
        reader.script.push_back(answer);
    }

    CurrentReader current(&reader);
    vemlasdknative::Iso14443ACommands commands;
    std::vector<vemlasdknative::Iso14443Tag> tags;
    if (commands.Iso14443aAnticollision(tags) != 0) std::abort();
    for (const auto& tag : tags) {
        if (tag.uid_size > sizeof tag.uid) std::abort();
    }
    return 0;
}
