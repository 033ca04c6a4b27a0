// Builds one request line: "ZRB:<group>:<name> " followed by the arguments,
// separated by commas, and CR LF.
#ifndef ZRB_REQUEST_LINE_H
#define ZRB_REQUEST_LINE_H

#include <cstdint>
#include <string>
#include <string_view>

namespace zrb {

class RequestLine {
  public:
    RequestLine(std::string_view group, std::string_view name);

    RequestLine& integer(int value);          // decimal
    RequestLine& byte(std::uint8_t value);    // decimal value of the byte
    RequestLine& real(double value);          // see formatReal
    RequestLine& text(std::string_view text); // between quotes, as given
    // The hex text of ceil(bits / 8) bytes between quotes, then the bit count
    // as its own decimal argument.
    RequestLine& hexBits(const std::uint8_t* data, unsigned bits);

    // False when a text argument holds CR or LF: such a line must not be sent.
    bool sendable() const { return sendable_; }
    // The line with its CR LF.
    std::string finish() const;

  private:
    void separate();

    std::string line_;
    bool first_ = true;
    bool sendable_ = true;
};

// A double with 12 digits after the point and an exponent of at least three
// digits ("2.500000000000e+003"), independent of the locale; inf and nan as
// "inf", "-inf", "nan".
std::string formatReal(double value);

} // namespace zrb

#endif
