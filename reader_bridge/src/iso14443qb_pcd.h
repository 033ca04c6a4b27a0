// Short-range type B (QB) tags on the current reader through the PCD adaptor:
// their commands, the anticollision over initiate, PCall16 and the 16 time
// slots, and the loop every reader's ISO 14443-B inventory runs.
//
// Frames go with transmission flag 0, so each reader frames type B its own way
// (CRC_B added and checked as its mode says).
#ifndef KESTOREADER_ISO14443QB_PCD_H
#define KESTOREADER_ISO14443QB_PCD_H

#include "rf_reader_base.h"

#include <vector>

namespace vemlasdknative {

enum ISO14443QB_Error : int {
    ISO14443QB_SUCCESSCODE = 0,
    ISO14443QB_ERRORCODE_DEFAULT = 129, // every failure
    ISO14443QB_ERRORCODE_CRC = 130,     // produced by no routine
    ISO14443QB_NOT_IMPLEMENTED = 131,   // produced by no routine
};

inline constexpr int ISO14443QB_SLOTS = 16;   // time slots, and the most chips one anticollision finds
inline constexpr int ISO14443QB_UID_SIZE = 8; // bytes

// The commands. Answer areas hold `capacity` bytes; a command whose answer
// the routine reads fails (129) when that answer is too short for it.
// {0x0C}: back to inventory; 0 whatever the tags answer.
int ISO14443QB_ResetToInventory();
// {0x06, 0x00}: answer byte 0 is the chip identifier.
int ISO14443QB_Initiate(byte_t* answer, int capacity);
// {0x06, 0x04}: answer byte 0 is the identifier of the chip in slot 0.
int ISO14443QB_PCall16(byte_t* answer, int capacity);
// {(slot << 4) + 0x06}, slot 0 to 15: answer byte 0 is the identifier of the
// chip in that slot.
int ISO14443QB_SlotMarker(int slot, byte_t* answer, int capacity);
// {0x0E, chip identifier}; the answer is not looked at. Selecting a chip
// releases the one selected before.
int ISO14443QB_Select(byte_t chipId, byte_t* answer, int capacity);
// {0x0B}: the selected chip's UID, least significant byte first, into the
// first 8 answer bytes; an answer of fewer than 8 bytes fails.
int ISO14443QB_GetUID(byte_t* answer, int capacity);

// Finds the chips in the field and reads their UIDs into `uids` (room for
// ISO14443QB_SLOTS UIDs of 8 bytes): UID i at byte 8 * i, as the chip sends it,
// for i below `count`. A chip whose select or UID read fails is not counted
// and leaves no gap. 0, or 129 without a current reader or for null arguments.
int ISO14443QB_Anticollision(int* count, byte_t* uids);

// The inventory of every reader: the anticollision, then an array of
// count * 8 bytes, the anticollision's area reversed as a whole (each UID most
// significant byte first, the UIDs in reverse order of their positions),
// handed to the caller, who releases it with delete[]. 0 with `*uids` and
// `*byteCount` set; 129 when the anticollision fails or finds no chip, with
// `*uids` null and `*byteCount` 0.
int ISO14443QB_AnticollisionLoop(byte_t** uids, int* byteCount);

// A reader's ISO 14443-B inventory: the loop's tags, one 8-byte `Uid` each, in
// the loop's order; nothing when it finds none.
void AppendQbInventory(std::vector<RfReaderBase::Uid>& uids);

} // namespace vemlasdknative

#endif
