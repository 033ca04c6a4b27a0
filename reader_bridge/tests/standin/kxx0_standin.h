// The stand-in board libraries' shared core (test infrastructure): one
// instance per process behind the stand-ins of KX10EVALOComm and
// KX20EVALOComm, which the test programs link too, to place tags, script
// answers and read the call log.
//
// Per board: present or absent (GetKX10 gives no handle), gone after connect
// (checkConnection non-zero, every status 1), the firmware version value and
// the texts getVersion writes. Per operation: queued answers (status, bytes,
// a reported length or count) served ahead of anything else, and a log of
// every call with its arguments. Without a script the stand-in answers from
// the tag field as the board firmware would: ISO 14443-A short frames (length
// in bits), the first anticollision frame written back behind its two header
// bytes, blocking transfers in the protocol of the RF mode set (ISO 14443-A,
// ISO 14443-B, ISO 15693) with the board's CRC handling (flags 0: the board
// adds the CRC and checks and strips the tags'; 1: both sides as they are),
// 4-bit answers with status 40, the select of one tag per call (the stand-in
// resolves it) and the halt; ISO 15693 inventories of 1 and 16 slots from its
// list of vicinity tags. Every other operation is recorded and answered with status 0.
#ifndef KXX0_STANDIN_H
#define KXX0_STANDIN_H

#include <KXx0EVALOComm.h>
#include <rfsim/field.h>
#include <vkcommon/export.h>

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kxx0standin {

using Bytes = std::vector<std::uint8_t>;

enum class Board { Kx10 = 0, Kx20 = 1 };

// One call of an operation: its decorated name, the handle, the numeric
// arguments in order (capacities and in-out lengths as they came in, flags,
// frame wait times) and the bytes it sent.
struct Call {
    Board board = Board::Kx10;
    std::string name;
    KXx0HANDLE handle = nullptr;
    std::vector<std::int64_t> args;
    Bytes bytes;
};

// One queued answer of an operation. The bytes go to its output, never past
// the capacity it was given; `reported` is the length (count) it reports,
// the bytes' own count when unset.
struct Script {
    int status = 0;
    Bytes bytes;
    std::optional<std::uint64_t> reported;
};

struct BoardState {
    bool present = true;
    bool gone = false;
    std::uint32_t firmware = 0x010100;
    int firmwareStatus = 0;
    std::string libraryName = "KXx0 stand-in board library";
    std::string libraryVersion = "0.0.1";
    std::uint8_t mode = 0; // RF mode last set
};

class VK_EXPORT Core {
  public:
    static Core& instance();

    // Both boards present with firmware 1.1.0, an empty field, no scripts, no calls.
    void reset();

    BoardState& board(Board board) { return boards_[static_cast<int>(board)]; }
    KXx0HANDLE handle(Board board);
    rfsim::Field& field() { return *field_; }
    // ISO 15693 tags in the field, UIDs most significant byte first.
    std::vector<std::array<std::uint8_t, 8>> vicinityTags;

    void script(const std::string& name, Script answer) { scripts_[name].push_back(std::move(answer)); }
    const std::vector<Call>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    std::vector<Call> calls(std::string_view name) const;
    std::vector<std::string> callNames() const;

    // The operations, as the stand-in libraries forward them.
    KXx0HANDLE getBoard(Board board);
    void release(Board board, KXx0HANDLE handle);
    KXx0ComError checkConnection(Board board, KXx0HANDLE handle);
    KXx0ComError firmwareVersion(Board board, KXx0HANDLE handle, std::uint32_t* version);
    KXx0ComError ownVersion(Board board, char* name, char* version);
    KXx0ComError setMode(Board board, KXx0HANDLE handle, std::uint8_t mode, std::uint8_t tx, std::uint8_t rx);
    KXx0ComError blocking(Board board, KXx0HANDLE handle, const std::uint8_t* tx, std::uint16_t txLen,
                          std::uint8_t* rx, std::uint16_t rxCap, std::uint16_t* rcvLen, std::uint32_t flags,
                          std::uint32_t fwt);
    KXx0ComError shortFrame(Board board, KXx0HANDLE handle, std::uint8_t code, std::uint8_t* rx,
                            std::uint8_t rxCap, std::uint16_t* rcvLen, std::uint32_t fwt);
    KXx0ComError anticollisionFrame(Board board, KXx0HANDLE handle, std::uint8_t* frame,
                                    std::uint8_t* bytesToSend, std::uint8_t* bitsToSend,
                                    std::uint16_t* rcvLen, std::uint32_t fwt);
    KXx0ComError eof(Board board, KXx0HANDLE handle, std::uint8_t* rx, std::uint8_t rxCap,
                     std::uint16_t* rcvLen);
    KXx0ComError select(Board board, KXx0HANDLE handle, std::uint8_t requestCode, bool flag, char* uid,
                        std::size_t* uidLen, char* atqa, char* sak);
    KXx0ComError halt(Board board, KXx0HANDLE handle, char* rx, std::size_t* rxLen);
    KXx0ComError inventory(Board board, KXx0HANDLE handle, int slots16, Iso15693InventoryEntry* entries,
                           std::size_t* count);
    // Any other operation: recorded with its numeric arguments, status 0.
    KXx0ComError other(Board board, const char* name, KXx0HANDLE handle, std::vector<std::int64_t> args);

  private:
    Core();
    // Logs the call; the queued answer for it, if any.
    std::optional<Script> begin(Board board, const char* name, KXx0HANDLE handle,
                                std::vector<std::int64_t> args, Bytes bytes = {});
    // The status of a call without a script: 1 once the board is gone.
    int fieldStatus(Board board) const { return boards_[static_cast<int>(board)].gone ? 1 : 0; }
    // Resolves, selects and reports one ISO 14443-A tag: UID, ATQA, SAK.
    struct Selected {
        Bytes uid;
        std::array<std::uint8_t, 2> atqa{};
        std::uint8_t sak = 0;
    };
    std::optional<Selected> selectOne(std::uint8_t requestCode);

    std::array<BoardState, 2> boards_;
    std::unique_ptr<rfsim::Field> field_;
    std::map<std::string, std::deque<Script>> scripts_;
    std::vector<Call> calls_;
};

} // namespace kxx0standin

#endif
