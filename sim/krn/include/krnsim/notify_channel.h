// The reader's side of a notification connection, without sockets: the reader
// starts the 0xAE handshake towards the host's listener, then wraps every
// notification in 0xAF and unwraps the host's acknowledgements. It repeats the
// host library's handshake on purpose, from the initiator's side, with the
// simulator's own frames and AES, so that a fault on one side is not mirrored
// on the other.
//
// Stream order on both sides: step 1's answer deciphered (32 bytes), step 2
// enciphered (64), step 2's answer deciphered (32); then per notification one
// encipher call and per acknowledgement one decipher call.
#ifndef KRNSIM_NOTIFY_CHANNEL_H
#define KRNSIM_NOTIFY_CHANNEL_H

#include <krnsim/authentication.h>
#include <krnsim/frame.h>

#include <optional>
#include <string>

namespace krnsim {

// One frame the host sent on a notification connection, split by the form its
// command asks for (0x32 and 0xAF requests, 0xAE and 0x1F replies).
struct HostFrame {
    Bytes raw;                // as received
    Bytes frame;              // the inner frame of an 0xAF wrapping, else raw
    std::uint8_t address = 0; // of `frame`
    std::uint8_t command = 0;
    std::optional<std::uint8_t> status; // replies only
    Bytes data;
    std::string verdict; // "ok", "bad crc", "bad length", "not deciphered"
};

// Splits one whole frame as the form of its command says (no deciphering).
HostFrame splitHostFrame(ByteView raw);

// Deliberate faults of the handshake's initiator.
struct HandshakeFaults {
    std::optional<std::uint8_t> keyTypeByte; // step frames carry this key type instead
    bool shortStep2 = false;                 // step 2 one byte short (73 bytes)
    bool step2Enciphered = true;             // with shortStep2: run the 64-byte call anyway
    bool wrongRotation = false;              // rotate R right instead of left
};

class NotifyChannel {
  public:
    // keyType 0, 1, 2 with a key of 16, 24 or 32 bytes (std::invalid_argument otherwise).
    NotifyChannel(std::uint8_t keyType, Bytes key, std::uint8_t busAddress = 1,
                  const AesBlock& vector = kDefaultChannelVector);

    // Step 1 as the reader sends it.
    Bytes step1() const;
    // Takes the host's answer to step 1: false when it is not [0x01][32 bytes].
    bool takeAnswer1(const HostFrame& answer);
    // Step 2: [X][R rotated left] in one 64-byte call (X random unless given).
    Bytes step2(const HandshakeFaults& faults = {}, std::optional<Bytes> initiator = std::nullopt);
    // Checks the host's proof; on success the channel runs on the channel key.
    bool takeAnswer2(const HostFrame& answer);
    bool authenticated() const { return channel_.has_value(); }

    // A notification frame: `inner` enciphered right after STATUS in a reply
    // 0xAF (status 0) once authenticated, else unchanged.
    Bytes wrap(ByteView inner, Form form = Form::Advanced);
    // Deciphers an 0xAF acknowledgement [0x00][block] in place; false when it is none.
    bool unwrap(HostFrame& frame);

  private:
    std::uint8_t keyType_;
    Bytes key_;
    std::uint8_t busAddress_;
    AesBlock vector_;
    std::optional<ChannelCipher> handshake_;
    std::optional<ChannelCipher> channel_;
    Bytes responder_; // R, the host's
    Bytes initiator_; // X, ours
};

} // namespace krnsim

#endif
