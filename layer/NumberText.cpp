#include "layer/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "common/RoundHalfEven.h"

namespace layer {
namespace {

constexpr std::size_t None = std::string_view::npos;
// The longest text a dialog field takes back; FormatReal never returns more.
constexpr std::size_t MaxTextLength = 255;
// Beyond this an exponent only says "far too large" or "far too small"; it still outweighs
// the digit count of any text.
constexpr std::int64_t ExponentCap = 1'000'000'000'000'000;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::size_t SkipBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && IsBlank(text[at]))
    ++at;
  return at;
}

// 1-based position of a 0-based index, for texts of any length.
std::int32_t Position(std::size_t index) {
  constexpr auto Largest = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(std::min(index, Largest - 1) + 1);
}

// Where the hexadecimal digits start after "$", "x", "X", "0x" or "0X"; None for decimal.
std::size_t HexDigitsAt(std::string_view text, std::size_t at) {
  if (at >= text.size()) return None;
  const char c = text[at];
  if (c == '$' || c == 'x' || c == 'X') return at + 1;
  if (c == '0' && at + 1 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    return at + 2;
  }
  return None;
}

// Index of the first character that does not belong, or None when value holds the number.
std::size_t ReadHex(std::string_view text, std::size_t at, std::int32_t& value) {
  if (at >= text.size() || HexValue(text[at]) < 0) return at;
  std::uint64_t sum = 0;
  for (; at < text.size() && HexValue(text[at]) >= 0; ++at) {
    sum = sum * 16 + static_cast<std::uint64_t>(HexValue(text[at]));
    if (sum > 0xFFFFFFFFu) return at;  // the digit that pushes it past 32 bits
  }
  if (at < text.size()) return at;
  value = static_cast<std::int32_t>(static_cast<std::uint32_t>(sum));
  return None;
}

std::size_t ReadDecimal(std::string_view text, std::size_t at, std::int32_t& value) {
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  if (at >= text.size() || !IsDigit(text[at])) return at;
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > limit) return at;  // the digit that leaves the 32-bit range
  }
  if (at < text.size()) return at;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return None;
}

struct RealText {
  bool negative = false;
  std::size_t mantissaAt = 0;  // first character after the sign
  std::size_t exponentAt = None;
  bool zero = true;            // no non-zero digit in the mantissa
  std::int64_t magnitude = 0;  // power of ten of the leading non-zero digit, exponent included
};

// Reads "e" or "E", an optional sign and digits; the index where that fails, or None.
std::size_t ReadExponent(std::string_view text, std::size_t& at, RealText& real) {
  real.exponentAt = at++;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  if (at >= text.size() || !IsDigit(text[at])) return at;
  std::int64_t exponent = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    exponent = std::min(exponent * 10 + (text[at] - '0'), ExponentCap);
  }
  real.magnitude += negative ? -exponent : exponent;
  return None;
}

// Checks the syntax: sign, digits with an optional point ("5." and ".5" but not "."), exponent.
// Returns the index of the first character that does not belong, or None.
std::size_t ScanReal(std::string_view text, std::size_t at, RealText& real) {
  real.negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  real.mantissaAt = at;
  std::size_t integerEnd = at;
  while (integerEnd < text.size() && IsDigit(text[integerEnd]))
    ++integerEnd;
  std::int64_t power = static_cast<std::int64_t>(integerEnd - at) - 1;  // of the next digit
  std::size_t digits = 0;
  const auto takeDigits = [&] {
    for (; at < text.size() && IsDigit(text[at]); ++at, ++digits, --power) {
      if (real.zero && text[at] != '0') real.zero = false, real.magnitude = power;
    }
  };
  takeDigits();
  if (at < text.size() && text[at] == '.') ++at, takeDigits();
  if (digits == 0) return at;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    const std::size_t stop = ReadExponent(text, at, real);
    if (stop != None) return stop;
  }
  return at < text.size() ? at : None;
}

// The correctly rounded magnitude; false when it overflows a double.
bool ConvertMagnitude(std::string_view text, const RealText& real, double& magnitude) {
  const char* first = text.data() + real.mantissaAt;
  const auto [end, error] = std::from_chars(first, text.data() + text.size(), magnitude);
  if (error == std::errc::result_out_of_range) {
    // Out of range is either side; a leading digit below 10^0 can only have underflowed.
    magnitude = 0.0;
    return real.magnitude < 0;
  }
  return error == std::errc{} && end == text.data() + text.size();
}

std::string_view Shortest(double value, char* buffer, std::size_t size) {
  const auto result = std::to_chars(buffer, buffer + size, value);
  return {buffer, static_cast<std::size_t>(result.ptr - buffer)};
}

// The number without its field: fixed-point with decimals, else the integer nearest to value.
// A text that would pass MaxTextLength falls back to the shortest exact exponent form.
std::string_view NumberText(double value, int decimals, char* buffer, std::size_t size) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  if (decimals <= 0) {
    value = std::nearbyint(value);
    if (value == 0.0) value = 0.0;  // an integer has no negative zero
    decimals = 0;
  }
  const auto result =
      std::to_chars(buffer, buffer + size, value, std::chars_format::fixed, decimals);
  const auto length = static_cast<std::size_t>(result.ptr - buffer);
  if (result.ec != std::errc{} || length > MaxTextLength) return Shortest(value, buffer, size);
  return {buffer, length};
}

}  // namespace

void TextToInteger(std::string_view text, std::int32_t& value, std::int32_t& code) {
  value = 0;
  const std::size_t at = SkipBlanks(text, 0);
  const std::size_t hexAt = HexDigitsAt(text, at);
  const std::size_t stop =
      hexAt != None ? ReadHex(text, hexAt, value) : ReadDecimal(text, at, value);
  if (stop != None) value = 0;
  code = stop == None ? 0 : Position(stop);
}

void TextToReal(std::string_view text, double& value, std::int32_t& code) {
  value = 0.0;
  RealText real;
  const std::size_t stop = ScanReal(text, SkipBlanks(text, 0), real);
  if (stop != None) {
    code = Position(stop);
    return;
  }
  double magnitude = 0.0;
  if (!ConvertMagnitude(text, real, magnitude)) {
    code = Position(real.exponentAt != None ? real.exponentAt : real.mantissaAt);
    return;
  }
  value = real.negative ? -magnitude : magnitude;
  code = 0;
}

std::string FormatReal(double value, double format) {
  const long double whole = std::trunc(static_cast<long double>(format));
  const long double tenths = (static_cast<long double>(format) - whole) * 10;
  const int decimals = std::isfinite(tenths) ? common::RoundHalfEven(tenths) : 0;
  const long double width = std::isnan(whole) ? 0 : std::clamp<long double>(whole, 0, 255);

  char buffer[400];  // a double in fixed-point with ten decimals needs at most 320
  const std::string_view number = NumberText(value, decimals, buffer, sizeof buffer);
  const auto field = static_cast<std::size_t>(width) + (decimals > 0 ? decimals + 2 : 0);
  // number is never longer than MaxTextLength, so neither is the padded field
  const std::size_t padding =
      field > number.size() ? std::min(field, MaxTextLength) - number.size() : 0;
  std::string text(padding, ' ');
  text.append(number);
  return text;
}

}  // namespace layer
