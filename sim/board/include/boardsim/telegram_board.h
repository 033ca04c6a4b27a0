// The board's firmware at telegram level, from the board's side: it installs
// itself as the responder of a report-level Board, splits the inbound stream
// into request and write telegrams by its own header rules, and answers
// requests with the 5-byte answer header and the payload.
//
// Request header: [pid (bit 7 clear)][request length, 2 bytes][answer length,
// 2 bytes]; write header: [pid | 0x80][length, 2 bytes][0][0]. Lengths are
// big-endian. Answer header: [pid][0][status][length, 2 bytes].
//
// Every member may be called from any thread; the Board's mutex and one of
// its own guard it. Command callbacks run under them and must not call back.
#ifndef BOARDSIM_TELEGRAM_BOARD_H
#define BOARDSIM_TELEGRAM_BOARD_H

#include <boardsim/board.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

inline constexpr std::uint8_t kPidCommand = 0x44;
inline constexpr std::uint8_t kPidRegisterRead = 0x69;
inline constexpr std::uint8_t kPidRegisterWrite = 0x68;
inline constexpr std::uint8_t kPidFirmwareNumber = 0x67;
inline constexpr std::uint8_t kPidFirmwareInfo = 0x66;
inline constexpr std::size_t kMaxTelegramPayload = 1088;

// One telegram the board took.
struct Telegram {
    bool write = false;       // write form (no answer) or request
    std::uint8_t pid = 0;     // bit 7 cleared
    std::size_t length = 0;   // payload length from the header
    std::size_t answered = 0; // answer length the request announced (0 for a write)
    Bytes payload;
};

// What a board command answers.
struct CommandReply {
    std::uint8_t status = 0;
    Bytes payload;
};

// Sees the parameter bytes and the announced answer length.
using CommandHandler = std::function<CommandReply(const Bytes& parameters, std::size_t announced)>;

enum class TelegramFault {
    OtherPid, // the answer carries pid `value`
    Status,   // the answer carries status `value`
    Announce, // the answer header announces `value` bytes; that many are sent
    Shorter,  // `value` payload bytes fewer than announced are sent
    Longer,   // `value` payload bytes more than announced are sent
    NoAnswer, // the next request gets no answer
};

class TelegramBoard {
  public:
    // Becomes `board`'s responder.
    explicit TelegramBoard(std::shared_ptr<Board> board);
    ~TelegramBoard();
    TelegramBoard(const TelegramBoard&) = delete;
    TelegramBoard& operator=(const TelegramBoard&) = delete;

    // Register file: 256 one-byte registers. Bits in `mask` keep `value`
    // whatever is written.
    void setRegister(std::uint8_t address, std::uint8_t value);
    std::uint8_t registerValue(std::uint8_t address) const;
    void stickBits(std::uint8_t address, std::uint8_t mask, std::uint8_t value);

    void setFirmwareNumber(std::uint8_t major, std::uint8_t minor, std::uint8_t marker);
    void setFirmwareText(std::string text); // empty is allowed
    void setCommand(std::uint8_t command, CommandReply reply);
    void setCommand(std::uint8_t command, CommandHandler handler);

    // One-shot faults for the next answer, applied in order.
    void injectFault(TelegramFault fault, int value = 0);

    std::vector<Telegram> telegrams() const;
    void clearRecord();

  private:
    std::vector<Answer> respond(Bytes& inbound);
    Bytes answerFor(const Telegram& t, std::uint8_t& status);

    std::shared_ptr<Board> board_;
    mutable std::mutex mutex_;
    std::array<std::uint8_t, 256> registers_{};
    std::array<std::uint8_t, 256> stuckMask_{};
    std::array<std::uint8_t, 256> stuckValue_{};
    std::array<std::uint8_t, 3> firmware_{1, 0, 0};
    std::string firmwareText_ = "board model";
    std::map<std::uint8_t, CommandHandler> commands_;
    std::vector<std::pair<TelegramFault, int>> faults_;
    std::vector<Telegram> record_;
};

} // namespace boardsim

#endif
