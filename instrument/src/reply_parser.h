// The reply grammar: a code field, for a non-zero code a quoted message, then
// the value fields a command expects, all separated by commas.
#ifndef ZRB_REPLY_PARSER_H
#define ZRB_REPLY_PARSER_H

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zrb {

// How one value field is read. Every field must be present, even when its
// output is NULL (then nothing is stored and nothing is converted).
class ReplyField {
  public:
    // Outcome of reading a field through a caller's hook.
    enum class Read { kStored, kFailed };
    using Hook = std::function<Read(std::string_view field)>;

    // A decimal int; characters after the number store the value read so far
    // and end parsing as a failed conversion.
    static ReplyField checkedInt(int* out) { return ReplyField(Kind::kCheckedInt, out); }
    // A decimal int in the reply's last field: characters after it are ignored.
    static ReplyField lastInt(int* out) { return ReplyField(Kind::kLastInt, out); }
    // A flag returned as a command's result: the decimal value truncated to a byte.
    static ReplyField flagResult(std::uint8_t* out) { return ReplyField(Kind::kFlagResult, out); }
    // A flag stored through a byte pointer: 1 when the decimal value is non-zero.
    static ReplyField flagByte(std::uint8_t* out) { return ReplyField(Kind::kFlagByte, out); }
    // Hex bytes into `size` bytes at out (see str2bin).
    static ReplyField hexBytes(std::uint8_t* out, unsigned size) {
        ReplyField field(Kind::kHexBytes, out);
        field.size_ = size;
        return field;
    }
    // A field read by the caller's hook; an empty hook only requires the field.
    static ReplyField custom(Hook hook) {
        ReplyField field(Kind::kCustom, nullptr);
        field.hook_ = std::move(hook);
        return field;
    }

    // Reads `field` into the output: false for a failed conversion.
    bool read(std::string_view field) const;

  private:
    enum class Kind { kCheckedInt, kLastInt, kFlagResult, kFlagByte, kHexBytes, kCustom };
    ReplyField(Kind kind, void* out) : kind_(kind), out_(out) {}

    Kind kind_;
    void* out_;
    unsigned size_ = 0;
    Hook hook_;
};

// What a reply says.
struct ReplyOutcome {
    // The command's result and the new value of ZRB_Errno: the instrument's code,
    // or 11 when the reply lacks a field, a non-zero code comes without a
    // readable message, or a conversion fails while the code is 0.
    int code = 0;
    // For a non-zero code, the new last message: the instrument's message, or
    // "ZRB_SCPI_RESP_CMD_FAILED" when it could not be read.
    std::optional<std::string> message;
};

// Parses a reply text (without its CR LF) and stores the value fields through
// their outputs in order. The instrument's message is logged on "ZRB_CLIENT" at
// DEBUG.
ReplyOutcome parseReply(std::string_view text, std::span<const ReplyField> fields);

} // namespace zrb

#endif
