// ISO 15693 (vicinity cards) on the current reader through the PCD adaptor:
// the request flags, command codes and CRC constants, the inventory request
// with its mask, the 16-slot inventory driven by ends of frame, stay quiet,
// and the software anticollision that finds every tag in the field by
// extending the inventory mask slot by slot.
#ifndef KESTOREADER_ISO15693_PCD_H
#define KESTOREADER_ISO15693_PCD_H

#include "rf_reader_base.h"

#include <cstdint>

namespace vemlasdknative {

class Iso15693Commands {
  public:
    enum Iso15693Error : int {
        kSuccessCode = 0,
        kDefaultError = 241,
        kRequestFlag = 242,
        kParameterLength = 243,
        kCrcResidue = 244,
        kNotagFound = 245,
        kCollisionDetected = 246,
    };

    // Request flags.
    static constexpr std::int32_t kMaskSubCarrierFlag = 0x01;
    static constexpr std::int32_t kMaskDataRateFlag = 0x02;
    static constexpr std::int32_t kMaskInventoryFlag = 0x04;
    static constexpr std::int32_t kMaskProtExtFlag = 0x08;
    static constexpr std::int32_t kMaskSelectorAfiFlag =
        0x10; // with inventory: AFI present; without: selected
    static constexpr std::int32_t kMaskAddrOrNbSlotsFlag =
        0x20; // with inventory: one slot; without: addressed
    static constexpr std::int32_t kMaskOptionFlag = 0x40;
    static constexpr std::int32_t kMaskRfuFlag = 0x80;

    // Command codes.
    static constexpr std::int32_t KCmdCodeInventory = 0x01;
    static constexpr std::int32_t KCmdCodeStayQuiet = 0x02;
    static constexpr std::int32_t KCmdCodeReadSingleBlock = 0x20;
    static constexpr std::int32_t KCmdCodeWriteSingleBlock = 0x21;
    static constexpr std::int32_t KCmdCodeLockBlock = 0x22;
    static constexpr std::int32_t KCmdCodeReadMultipleBlock = 0x23;
    static constexpr std::int32_t KCmdCodeWriteMultipleBlock = 0x24;
    static constexpr std::int32_t KCmdCodeSelect = 0x25;
    static constexpr std::int32_t KCmdCodeResetToReady = 0x26;
    static constexpr std::int32_t KCmdCodeWriteAfi = 0x27;
    static constexpr std::int32_t KCmdCodeLockAfi = 0x28;
    static constexpr std::int32_t KCmdCodeWriteDsfid = 0x29;
    static constexpr std::int32_t KCmdCodeLockDsfid = 0x2A;
    static constexpr std::int32_t KCmdCodeGetSystemInfo = 0x2B;
    static constexpr std::int32_t KCmdCodeGetMultipleBlockSecStatus = 0x2C;
    static constexpr std::int32_t KCmdCodeExtendedReadSingleBlock = 0x30;
    static constexpr std::int32_t KCmdCodeExtendedWriteSingleBlock = 0x31;
    static constexpr std::int32_t KCmdCodeExtendedLockSingleBlock = 0x32;
    static constexpr std::int32_t KCmdCodeExtendedReadMultipleBlock = 0x33;
    static constexpr std::int32_t KCmdCodeExtendedGetSystemInfo = 0x3B;
    static constexpr std::int32_t KCmdCodeExtendedGetMultipleSecurity = 0x3C;

    // Answers and lengths.
    static constexpr std::int32_t kResultFlagStatusok = 0x00;
    static constexpr std::int32_t kResultFlagError = 0x01;
    static constexpr std::int32_t kInventoryOffSetFlags = 0;
    static constexpr std::int32_t kInventoryOffSetdsfid = 1;
    static constexpr std::int32_t kInventoryOffSetUid = 2;
    static constexpr std::int32_t kNbByteUid = 8;
    static constexpr std::int32_t kNbBitsMaskParameter = 64;
    static constexpr std::int32_t kMaxLengthInventory = 13;
    static constexpr std::int32_t kMaxLengthstayquiet = 12;
    static constexpr std::int32_t kInventoryAnswerLength = 10; // flags, DSFID, UID
    static constexpr std::int32_t kNbSlots = 16;
    static constexpr std::int32_t kUidEntryLength = 9; // DSFID, UID
    static constexpr std::int32_t kMaxAnticollisionRounds = 32;

    // The CRC of ISO/IEC 13239 as ISO 15693 uses it: the register starts at
    // the preset, takes each byte into its low end and shifts right, XORed
    // with the reflected polynomial whenever the bit shifted out is 1. A frame
    // carries the register's ones' complement, low byte first; run over a
    // frame and its CRC, the register ends at the residue.
    static constexpr std::int32_t kPreloadCrc16 = 0xFFFF;
    static constexpr std::int32_t kPolyCrc16 = 0x8408;
    static constexpr std::int32_t kMaskCrc16 = 0x0001;
    static constexpr std::int32_t kResidueCrc16 = 0xF0B8;

    // The CRC a frame of `length` bytes carries (the register's complement),
    // sent low byte first; the preset's complement, 0x0000, for no bytes.
    std::uint16_t Iso15693CalcCRC16(const byte_t* data, int length) const;
    // kSuccessCode when `length` bytes (data and received CRC) leave the
    // residue in the register; kDefaultError otherwise, and for no bytes.
    int Iso15693IsCorrectCRC16Residue(const byte_t* data, int length) const;

    // One inventory request {flags, 0x01, [AFI when flags has 0x10], mask
    // length, mask bytes}: the mask's first maskLength / 8 bytes, and the next
    // one cut to its low maskLength % 8 bits when there are any. Sent with
    // flag 0 (the reader adds the CRC as its mode says). The answer area
    // (`capacity` bytes) starts as {0xFF, 0x00}; the answer's length goes to
    // `answerLength` when given. 0; 246 on a collision; 241 when flags lack
    // 0x04 (nothing sent) or on any other failure; 243 for a mask length
    // outside 0 to 64 (nothing sent).
    int Iso15693Inventory(byte_t flags, byte_t afi, int maskLength, const byte_t* mask, byte_t* answer,
                          int capacity, int* answerLength = nullptr) const;
    // The same with 0x20 (one slot) added to the flags.
    int Iso15693InventoryOneSlot(byte_t flags, byte_t afi, int maskLength, const byte_t* mask, byte_t* answer,
                                 int capacity, int* answerLength = nullptr) const;
    // The request in 16 slots (0x20 removed), slot 0 answered to it and slots
    // 1 to 15 to ends of frame. Each slot's answer of at least 10 bytes puts
    // exactly 10 (flags, DSFID, UID) into `answers` (`capacity` bytes, room for
    // 16 answers needed to keep every one), in slot order, and counts in
    // `tagCount`; shorter answers are skipped. Returns the collision mask: bit
    // s set when slot s collided. A request that cannot be sent (flags without
    // 0x04, a mask over 64 bits) opens no slot: mask 0, count 0.
    std::uint16_t Iso15693Inventory16Slots(byte_t flags, byte_t afi, int maskLength, const byte_t* mask,
                                           int* tagCount, byte_t* answers, int capacity) const;
    // {flags, 0x02, UID (8 bytes)} with flag 0 (the reader adds the CRC). No
    // answer is expected, and readers report silence as a failure: 0 when the
    // adaptor reports success, else 241; 241 without 0x20 in the flags
    // (nothing sent).
    int Iso15693StayQuiet(byte_t flags, const byte_t* uid) const;
    // Finds every tag: a one-slot inventory, and when it does not hear exactly
    // one tag, 16-slot rounds with masks extended by the colliding slots (at
    // most 32 rounds). Every tag found is silenced at once and entered in
    // `uids` as {DSFID, UID least significant byte first}, 9 bytes at 9 * i,
    // up to `capacity` entries; once the area is full the search stops and the
    // tags left are neither silenced nor entered. The caller passes flags 0x06
    // and AFI 0. 0; 241 when nothing answers the first request, for null
    // outputs or no room.
    int Iso15693RunAntiCollision(byte_t flags, byte_t afi, int* count, byte_t* uids, int capacity) const;
};

} // namespace vemlasdknative

#endif
