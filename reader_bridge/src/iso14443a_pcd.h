// ISO 14443-A on the current reader through the PCD adaptor: REQA, WUPA, HLTA,
// RATS, DESELECT, the bit-oriented anticollision of one cascade level, the
// three cascade levels, the select of a known UID and the loop that collects
// every tag in the field.
#ifndef KESTOREADER_ISO14443A_PCD_H
#define KESTOREADER_ISO14443A_PCD_H

#include "rf_reader_base.h"

#include <cstdint>
#include <vector>

namespace vemlasdknative {

enum Iso14443aError : int {
    kSuccessCode = 0,
    kDefaultError = kIso14443aError, // every failure
    kCrcError = 98,                  // produced by no routine
};

// One tag found by the anticollision.
struct Iso14443Tag {
    static constexpr std::int32_t kAtqaSize = 2;
    static constexpr std::uint32_t kIso14443aUidSingleSize = 4;
    static constexpr std::uint32_t kIso14443aUidDoubleSize = 7;
    static constexpr std::uint32_t kIso14443aUidTripleSize = 10;
    static constexpr std::uint32_t kIso14443aUidPart = 3; // UID bytes after a cascade tag

    byte_t atqa[kAtqaSize] = {}; // not filled by the anticollision
    std::uint32_t uid_size = 0;
    byte_t uid[11] = {};                        // in the order the tag sends it
    byte_t sak = 0;                             // the last SAK received
    bool ats_supported = false;                 // the final SAK has 0x20
    byte_t cid = 0, fsdi = 0, dri = 0, dsi = 0; // not filled
};

// Results are 0 or 97. The operations allocate their send and receive areas
// from the current reader's maxima and free them before they return; answer
// areas the caller hands in are written up to the capacity it gives.
class Iso14443ACommands {
  public:
    static constexpr std::int32_t kSelectCascadeL1 = 0x93;
    static constexpr std::int32_t kSelectCascadeL2 = 0x95;
    static constexpr std::int32_t kSelectCascadeL3 = 0x97;
    static constexpr std::int32_t kCommandRats = 0xE0;
    static constexpr std::int32_t kCommandPps = 0xD0;
    static constexpr std::int32_t kCommandIBlock02 = 0x02;
    static constexpr std::int32_t kCommandIBlock03 = 0x03;
    static constexpr std::int32_t kCommandSBlock = 0xC2;
    static constexpr std::int32_t kCommandNackBlock = 0xB2;
    static constexpr std::int32_t kIso14443aFsdiMask = 0xF0;
    static constexpr std::int32_t kIso14443aNvm10 = 0x10;
    static constexpr std::int32_t kIso14443aNvm20 = 0x20;
    static constexpr std::int32_t kIso14443aNvm30 = 0x30;
    static constexpr std::int32_t kIso14443aNvm40 = 0x40;
    static constexpr std::int32_t kIso14443aNvm50 = 0x50;
    static constexpr std::int32_t kIso14443aNvm60 = 0x60;
    static constexpr std::int32_t kIso14443aNvm70 = 0x70;
    static constexpr std::int32_t kIso14443aCt = 0x88;
    static constexpr std::int32_t kIso14443aUidMask = 0xC0;
    static constexpr std::int32_t kIso14443aAcBitFrameMask = 0x1F;
    static constexpr std::int32_t kIso14443aCidMask = 0x0F;
    static constexpr std::int32_t SakFlagAtsSupported = 0x20;
    static constexpr std::int32_t SakFlagUidNotComplete = 0x04;

    // Repeats of an anticollision frame answered with an (negative) acknowledge.
    static constexpr int kMaxAcknowledgedRepeats = 3;
    // Rounds of StartAnticollision in one collect-all loop.
    static constexpr int kMaxAnticollisionRounds = 32;

    int Iso14443aReqA(byte_t* answer, int capacity);
    int Iso14443aWupA(byte_t* answer, int capacity);
    // Always 0: the answer is not looked at.
    int Iso14443aHltA(byte_t* answer, int capacity);
    int Iso14443aRats(byte_t* answer, int capacity);
    // 0 when some tag answers REQA, a collision of several answers included.
    int Iso14443aIsPresent();
    int Iso14443aDeselectTag(const byte_t* uid);
    // Selects a tag whose UID (4, 7 or 10 bytes) is known, then RATS.
    int Iso14443aSelectTag(const byte_t* uid, byte_t size);
    // Anticollision of one cascade level; `answer` (5 bytes) gets the level's
    // 4 bytes and their check byte.
    int Iso14443aAc(std::int32_t sel, byte_t* answer);
    int Iso14443aAcLevel1(Iso14443Tag& tag);
    int Iso14443aAcLevel2(Iso14443Tag& tag);
    int Iso14443aAcLevel3(Iso14443Tag& tag);
    // Resolves, selects and halts one tag and appends it.
    int StartAnticollision(std::vector<Iso14443Tag>& tags);
    // Collects every tag in the field. Always 0.
    int Iso14443aAnticollision(std::vector<Iso14443Tag>& tags);

  private:
    int shortFrame(byte_t command, byte_t* answer, int capacity);
    int crcFrame(const std::vector<byte_t>& frame, byte_t* answer, int capacity);
    // SELECT of one cascade level with its 4 bytes and check byte (5 bytes).
    int selectLevel(std::int32_t sel, const byte_t* cascade, byte_t* sak);
};

// A REQA, WUPA or HLTA routine into a receive buffer's bytes (as many as its
// length, within its capacity), which keeps its length: TRANSFER_OK when the
// routine succeeds, else DEFAULT_ERROR.
RfReaderBase::ReaderStatus Iso14443aIntoBuffer(int (Iso14443ACommands::*routine)(byte_t*, int), Buffer* rx);

} // namespace vemlasdknative

#endif
