// Emscripten 3.1.6's standard library has std::to_chars and std::from_chars for integers only;
// the layer's number texts need the double ones. Included before every source of the web build,
// so the layer compiles unchanged. Each gives what the standard says of it: from_chars the
// correctly rounded value (musl's strtod is exact), to_chars the shortest text that reads back
// as the same double, or printf's %.*f.
#pragma once

#ifdef __cplusplus

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace std {

inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
  // No sign but a minus, no blanks, no hexadecimal: what strtod takes beyond from_chars.
  const char* digits = first != last && *first == '-' ? first + 1 : first;
  if (digits == last || !(std::isdigit(static_cast<unsigned char>(*digits)) || *digits == '.'))
    return {first, errc::invalid_argument};
  const std::string text(first, last);
  char* end = nullptr;
  errno = 0;
  const double read = std::strtod(text.c_str(), &end);
  const auto used = static_cast<std::size_t>(end - text.c_str());
  if (used == 0) return {first, errc::invalid_argument};
  if (errno == ERANGE && (read == 0.0 || std::isinf(read)))
    return {first + used, errc::result_out_of_range};
  value = read;
  return {first + used, errc{}};
}

inline to_chars_result to_chars(char* first, char* last, double value, chars_format,
                                int precision) {
  char text[400];
  const int length = std::snprintf(text, sizeof text, "%.*f", precision, value);
  if (length < 0 || length >= static_cast<int>(sizeof text) || length > last - first)
    return {last, errc::value_too_large};
  std::memcpy(first, text, static_cast<std::size_t>(length));
  return {first + length, errc{}};
}

// The shortest of the fixed and the exponent form of the fewest digits that read back, fixed
// where they are as long.
inline to_chars_result to_chars(char* first, char* last, double value) {
  char exponent[40], fixed[400];
  int digits = 1;
  for (; digits < 17; ++digits) {
    std::snprintf(exponent, sizeof exponent, "%.*e", digits - 1, value);
    if (std::strtod(exponent, nullptr) == value) break;
  }
  std::snprintf(exponent, sizeof exponent, "%.*e", digits - 1, value);
  const char* e = std::strchr(exponent, 'e');
  const int power = e ? std::atoi(e + 1) : 0;
  const int decimals = digits - 1 - power > 0 ? digits - 1 - power : 0;
  std::snprintf(fixed, sizeof fixed, "%.*f", decimals, value);
  const char* best = std::strlen(fixed) <= std::strlen(exponent) ? fixed : exponent;
  const auto length = static_cast<std::ptrdiff_t>(std::strlen(best));
  if (length > last - first) return {last, errc::value_too_large};
  std::memcpy(first, best, static_cast<std::size_t>(length));
  return {first + length, errc{}};
}

}  // namespace std

#endif
