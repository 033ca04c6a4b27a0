// A virtual KRN reader: bus address, dispatch, built-in model, faults and the
// request log. It does no I/O itself: endpoints hand it received units and send
// the plans it returns. Every function is thread-safe.
//
// Dispatch order for a good frame addressed to this reader:
//   1. the request filter (may change or drop the request);
//   2. the oldest one-shot scripted reply for this command (or for any command);
//   3. the handler for the command byte;
//   4. the built-in model (status 0x80 for an unknown command).
// The reply frame then takes the next matching one-shot fault, else the
// persistent fault, if any.
//
// Secured channel: while it is on, a 0xAF request carrying [00][enciphered
// request frame] is deciphered with the keystream (krnsim/keystream.h), the
// inner request goes through the dispatch above, and its whole reply frame goes
// back enciphered as the data of a 0xAF reply with status 0 (faults apply to
// that outer frame). One channel and one keystream per reader, shared by every
// connection. While it is off, the model answers 0xAF with status 0x82.
#ifndef KRNSIM_READER_H
#define KRNSIM_READER_H

#include <krnsim/authentication.h>
#include <krnsim/fault.h>
#include <krnsim/keystream.h>
#include <krnsim/reader_model.h>
#include <krnsim/request_log.h>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>

namespace krnsim {

class Reader {
  public:
    static constexpr std::uint8_t kDefaultBusAddress = 1;
    static constexpr Millis kDefaultInterByteGap{300};

    Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Bus address 0 to 253; anything else throws std::invalid_argument.
    void setBusAddress(int address);
    std::uint8_t busAddress() const { return address_; }
    // Answer requests to every bus address.
    void setAnswerAll(bool on) { answerAll_ = on; }
    // Send every reply in the advanced form.
    void setForceAdvanced(bool on) { forceAdvanced_ = on; }
    // Quiet time after which a partial request is dropped; must be positive.
    void setInterByteGap(Millis gap);
    Millis interByteGap() const { return Millis(gapMs_.load()); }

    // One-shot scripted replies, used in the order queued.
    void script(Reply reply);
    void script(std::uint8_t command, Reply reply);
    // A handler per command byte; an empty handler removes it.
    void setHandler(std::uint8_t command, Handler handler);
    void setCannedReply(std::uint8_t command, Reply reply);
    void setRequestFilter(RequestFilter filter);

    // Built-in model.
    void setReadOut(std::uint8_t command, Bytes data);
    void setReaderInfo(std::uint8_t mode, Bytes data);
    Bytes readerInfo(std::uint8_t mode) const;
    // The data buffer of 0x21 and 0x22 (see ReaderModel).
    void queueBufferRecord(Bytes record);
    void setBufferHead(Bytes head);
    std::size_t bufferRecords() const;
    void addTag(Tag tag);
    void removeTag(const Uid& uid);
    void setTagInField(const Uid& uid, bool inField);
    void clearTags();
    std::vector<Tag> tags() const;

    // Faults: a one-shot queue (a fault may be limited to a command or a
    // connection) and a persistent fault for every reply while it is set.
    void queueFault(Fault fault);
    void setPersistentFault(Fault fault);
    void clearPersistentFault();
    void clearFaults();
    std::size_t queuedFaults() const;

    // The secured channel: on with the keystream at block 0, or off.
    void startSecuredChannel();
    void endSecuredChannel();
    bool securedChannelActive() const;
    // The block the keystream's next call starts from.
    std::uint32_t keystreamBlock() const;
    // The next 0xAF request while the channel is on is deciphered and then
    // answered in plain with this status and no data: 0x82 (not available) also
    // ends the channel, so the host sends the request again in plain; 0x19 keeps it.
    void queueSecuredStatus(std::uint8_t status);
    // A frame the reader sends by itself on the secured channel: the reply frame
    // (command, status, data) enciphered with the channel's keystream inside a
    // 0xAF reply. Throws std::logic_error while the channel is off.
    Bytes securedFrame(std::uint8_t command, std::uint8_t status, ByteView data);

    // Authentication (0xAE): the reader's key (16, 24 or 32 bytes; empty: none,
    // and 0xAE answers 0x82 as before; any other length throws
    // std::invalid_argument). A connection that completes the handshake gets an
    // authenticated channel of its own (see authentication.h), which ends when the
    // connection closes or a new step 1 on it is answered.
    void setAuthenticationKey(Bytes key);
    // The vector every keying starts from (default kDefaultChannelVector).
    void setChannelVector(const AesBlock& vector);
    AesBlock channelVector() const;
    // A one-shot fault in the answer to the next step (1 or 2) that succeeds.
    void queueAuthFault(std::uint8_t step, AuthFault fault);
    // Handshakes completed since the start.
    std::size_t authentications() const;

    RequestLog& log() { return log_; }

    // The in-process link: the reader's answer to `bytes` as a plan, at once.
    // A partial frame waits for the next call (and is dropped after the gap).
    Plan exchange(ByteView bytes);
    // Handles one unit received on a connection and returns what to send.
    Plan handle(Unit unit, ConnectionContext& context);

  private:
    enum class Secured : std::uint8_t { Plain, Unwrapped, Answered };

    bool accepts(std::uint8_t address, std::uint8_t command) const;
    std::optional<Fault> takeFault(std::uint8_t command, ConnectionId connection);
    // A 0xAF request while a channel is on (the connection's authenticated one,
    // else the reader-wide one): deciphers it and puts the inner request in its
    // place (Unwrapped), or fills `direct` with a plain answer (Answered). Plain:
    // no channel is on or it is another command.
    Secured unwrap(Request& request, LogEntry& entry, Answer& direct, ConnectionContext& context);
    // The secured reply frame around a plain reply frame, enciphered with the
    // connection's channel (null or none: the reader-wide one); empty when it is too long.
    Bytes wrap(Form requestForm, ByteView plainFrame, ConnectionContext* context);
    // The connection's authenticated channel, or null.
    static ChannelCipher* connectionChannel(ConnectionContext& context);
    // Answers a 0xAE step with the reader's key.
    Answer authenticate(const Request& request, ConnectionContext& context);
    // The plan of one reply frame to `request`: in its form (advanced when the
    // data need it or it is forced), enciphered inside a 0xAF reply of
    // `outerForm` when the request came `secured`, sent with `fault`, else with
    // the next queued fault that matches. Empty, with a note in `entry`, when the
    // data are too long.
    Plan replyFrame(const Answer& answer, const Request& request, Form outerForm, bool secured,
                    ConnectionContext& context, std::optional<Fault> fault, LogEntry& entry);

    // Lock order: exchangeMutex_, then mutex_, then the log's. Neither is held
    // while a handler or filter runs.
    std::mutex exchangeMutex_; // guards the exchange link's reassembler and context
    Reassembler exchangeReassembler_;
    ConnectionContext exchangeContext_{kExchangeConnection};

    mutable std::mutex mutex_; // guards the dispatch tables, the model and the faults
    ReaderModel model_;
    std::deque<std::pair<std::optional<std::uint8_t>, Reply>> scripts_;
    std::map<std::uint8_t, Handler> handlers_;
    RequestFilter filter_;
    std::deque<Fault> faults_;
    std::optional<Fault> persistentFault_;
    bool securedOn_ = false;
    Keystream keystream_;
    std::deque<std::uint8_t> securedStatuses_;
    Bytes authKey_;
    AesBlock channelVector_ = kDefaultChannelVector;
    std::deque<std::pair<std::uint8_t, AuthFault>> authFaults_;
    std::size_t authentications_ = 0;

    std::atomic<std::uint8_t> address_{kDefaultBusAddress};
    std::atomic<bool> answerAll_{false};
    std::atomic<bool> forceAdvanced_{false};
    std::atomic<long long> gapMs_{kDefaultInterByteGap.count()};

    RequestLog log_;
};

} // namespace krnsim

#endif
