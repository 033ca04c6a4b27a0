// A card behind the reader's side of ISO/IEC 14443-4, reached through command
// 0xB2: the reader's request data are [BE][mode][payload], each answer block of
// the card goes back as one 0xB2 reply frame, sent as the reader sends every
// reply frame (inside a 0xAF reply of its own on a secured channel).
//
// Mode bits of a request block: 0x01 APDU block; 0x80 starts a request
// (dropping a pending one); 0x02 the first payload byte is the CID, 0x04 then
// the NAD; 0x40 a chained block (the card's R(ACK) comes back as status 0, data
// FF and the block index, 2 bytes); without 0x40 the card runs the APDU. A block
// without 0x80 while nothing is pending is a request of its own. 0x08 (with
// 0x80) is a presence check, 0x80 or 0x82 alone a deselect, which halts the
// card. No card, a halted card or another CID: status 0x01, no data. A request
// frame longer than the reader's advertised receive size: status 0x81, counted.
//
// Answers: the S(WTX) requests first, [01][id hi][id lo][WTXM][FWI] with status
// 0x94, then the response in blocks of the chaining size (by default as much as
// a frame within the advertised transmit size holds), [02][id hi][id lo][data],
// status 0x94 but the last, which has 0; ids run 0, 1, ... across all of them.
// Presence check and deselect answer status 0 with data 02 00 00.
#ifndef KRNSIM_TCL_CARD_H
#define KRNSIM_TCL_CARD_H

#include <krnsim/reader.h>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace krnsim {

// One block on the air between the reader and the card.
struct AirBlock {
    enum class Kind : std::uint8_t { I, RAck, RNak, SWtx, SDeselect, Presence };
    bool fromCard = false;
    Kind kind = Kind::I;
    std::uint8_t number = 0; // the ISO block number of I- and R-blocks
    bool chaining = false;
    std::optional<std::uint8_t> cid;
    std::optional<std::uint8_t> nad;
    Bytes payload;
};

// One answer frame the card hands the reader: what the fault hook may change.
struct CardAnswer {
    std::uint8_t status = 0;
    Bytes data;
    Millis delay{0};        // pause before this frame
    bool badCrc = false;    // first CRC byte inverted (of the 0xAF frame on a secured channel)
    bool sameWrite = false; // sent together with the frame before it
};

struct WaitingTimeRequest {
    std::uint8_t wtxm = 0;
    std::uint8_t fwi = 0;
    Millis delay{0}; // before the card's next block
};

class TclCard {
  public:
    using Model = std::function<Bytes(const Bytes& apdu)>;
    using FaultHook = std::function<void(std::vector<CardAnswer>& answers)>;
    static constexpr int kNakRetries = 2;

    // The card of `reader`; install() makes it the reader's 0xB2 handler.
    explicit TclCard(Reader& reader);
    void install();

    // Thread-safe settings. The model turns an APDU into the response (by
    // default the APDU followed by 90 00).
    void setModel(Model model);
    void setPresent(bool present); // also wakes a halted card
    void setCid(std::uint8_t cid);
    void setResponseTime(Millis time);
    void setWaitingTimes(std::vector<WaitingTimeRequest> requests);
    // Response bytes per answer block; 0: as many as fit.
    void setChainingSize(std::size_t size);
    // The next k request blocks find the card silent: the reader repeats with
    // R(NAK) up to kNakRetries times, then answers 0x01.
    void setMute(int blocks);
    // Answer the next APDUs with status 0x96 and this byte instead of the response.
    void setIsoError(std::optional<std::uint8_t> byte);
    void setFaultHook(FaultHook hook);

    bool halted() const;
    std::vector<AirBlock> airLog() const;
    void clearAirLog();
    std::vector<Bytes> apdus() const; // every APDU the card ran
    std::size_t oversizeCount() const;

    // The reply to one 0xB2 request.
    Reply handle(const Request& request);

  private:
    Answer refuse(std::uint8_t status);
    std::vector<CardAnswer> runApdu(std::size_t transmitSize);
    // The answers as reply frames: the reader sends them as it sends every reply
    // (inside 0xAF on an authenticated channel).
    static Reply reply(std::vector<CardAnswer> answers);
    std::pair<std::size_t, std::size_t> bufferSizes() const;

    Reader& reader_;
    mutable std::mutex mutex_;
    Model model_;
    FaultHook hook_;
    bool present_ = true;
    bool halted_ = false;
    std::uint8_t cid_ = 0;
    Millis responseTime_{0};
    std::vector<WaitingTimeRequest> waitingTimes_;
    std::size_t chainingSize_ = 0;
    int mute_ = 0;
    std::optional<std::uint8_t> isoError_;
    std::optional<Bytes> pending_;
    int chainIndex_ = 0;
    std::uint8_t blockNumber_ = 0;
    std::vector<AirBlock> air_;
    std::vector<Bytes> apdus_;
    std::size_t oversize_ = 0;
};

} // namespace krnsim

#endif
