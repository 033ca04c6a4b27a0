#include "reply_parser.h"

#include "hex_text.h"
#include "log_categories.h"
#include "reply_number.h"
#include "result_code.h"
#include "unquote.h"

#include <cstddef>

namespace zrb {

namespace {

constexpr const char* kCommandFailed = "ZRB_SCPI_RESP_CMD_FAILED";

// Splits at commas the way strtok does: runs of commas are one separator,
// leading commas are skipped, no field is empty.
class FieldSplitter {
  public:
    explicit FieldSplitter(std::string_view text) : text_(text) {}

    std::optional<std::string_view> next() {
        while (pos_ < text_.size() && text_[pos_] == ',')
            ++pos_;
        if (pos_ >= text_.size()) return std::nullopt;
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ',')
            ++pos_;
        const std::string_view field = text_.substr(start, pos_ - start);
        // Like strtok, step over the comma that ended the field.
        if (pos_ < text_.size()) ++pos_;
        return field;
    }

    // The rest of the text after the last field's separator.
    std::string_view rest() const { return text_.substr(pos_); }
    // Whether the last field ended at a comma (rather than at the end).
    bool lastEndedAtComma() const { return pos_ > 0 && pos_ <= text_.size() && text_[pos_ - 1] == ','; }
    void skip(std::size_t count) { pos_ += count; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace

bool ReplyField::read(std::string_view field) const {
    switch (kind_) {
    case Kind::kCheckedInt: {
        if (out_ == nullptr) return true;
        const DecimalRead number = readDecimal(field);
        *static_cast<int*>(out_) = number.value;
        return number.consumed == field.size();
    }
    case Kind::kLastInt:
        if (out_ != nullptr) *static_cast<int*>(out_) = readDecimal(field).value;
        return true;
    case Kind::kFlagResult:
        if (out_ != nullptr)
            *static_cast<std::uint8_t*>(out_) = static_cast<std::uint8_t>(readDecimal(field).value);
        return true;
    case Kind::kFlagByte:
        if (out_ != nullptr) *static_cast<std::uint8_t*>(out_) = readDecimal(field).value != 0 ? 1 : 0;
        return true;
    case Kind::kHexBytes:
        if (out_ == nullptr) return true;
        return str2bin(static_cast<std::uint8_t*>(out_), size_, field);
    case Kind::kCustom: return !hook_ || hook_(field) == Read::kStored;
    }
    return true;
}

ReplyOutcome parseReply(std::string_view text, std::span<const ReplyField> fields) {
    ReplyOutcome outcome;
    FieldSplitter splitter(text);
    const std::optional<std::string_view> codeField = splitter.next();
    if (!codeField) {
        outcome.code = kNoReply;
        return outcome;
    }
    outcome.code = readDecimal(*codeField).value;

    if (outcome.code != kOk) {
        outcome.message = kCommandFailed;
        if (!splitter.lastEndedAtComma()) {
            outcome.code = kNoReply;
            return outcome;
        }
        std::size_t stop = 0;
        std::optional<std::string> message = unquote_str(splitter.rest(), &stop);
        if (!message) {
            outcome.code = kNoReply;
            return outcome;
        }
        ZRB_LOG(kClientLog, ZLOG_LEVEL_DEBUG, "%s", message->c_str());
        outcome.message = std::move(message);
        // Resume after the comma that ended the message (stop is at it, or at the end).
        splitter.skip(stop < splitter.rest().size() ? stop + 1 : stop);
    }

    for (const ReplyField& field : fields) {
        const std::optional<std::string_view> value = splitter.next();
        if (!value) {
            outcome.code = kNoReply;
            return outcome;
        }
        if (!field.read(*value)) {
            if (outcome.code == kOk) outcome.code = kNoReply;
            return outcome;
        }
    }
    return outcome;
}

} // namespace zrb
