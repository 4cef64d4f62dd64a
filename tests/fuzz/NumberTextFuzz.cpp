// libFuzzer target for the number texts of the input dialogs: any text converts without a
// fault, and what converts reads back the same through every other route.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "layer/NumberText.h"

namespace {

void Check(bool holds, const char* what, std::string_view text) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s for \"%.*s\"\n", what, static_cast<int>(text.size()),
               text.data());
  std::abort();
}

bool CodeInRange(std::int32_t code, std::string_view text) {
  return code >= 0 && static_cast<std::size_t>(code) <= text.size() + 1;
}

bool HexPrefixed(std::string_view text) {
  const std::size_t at = text.find_first_not_of(" \t");
  if (at == std::string_view::npos) return false;
  const std::string_view rest = text.substr(at);
  return rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X' || rest.starts_with("0x") ||
         rest.starts_with("0X");
}

std::int32_t IntegerOf(const std::string& text, std::int32_t& code) {
  std::int32_t value = 0;
  layer::TextToInteger(text, value, code);
  return value;
}

double RealOf(const std::string& text, std::int32_t& code) {
  double value = 0;
  layer::TextToReal(text, value, code);
  return value;
}

void CheckInteger(std::string_view text) {
  std::int32_t value = 0, code = -1;
  layer::TextToInteger(text, value, code);
  Check(CodeInRange(code, text), "integer code in 0..length + 1", text);
  if (code != 0) return;
  std::int32_t again = -1;
  Check(IntegerOf(std::to_string(value), again) == value && again == 0, "decimal round trip", text);
  char hex[16];
  std::snprintf(hex, sizeof hex, "$%X", static_cast<unsigned>(value));
  Check(IntegerOf(hex, again) == value && again == 0, "hexadecimal round trip", text);
  Check(IntegerOf(" \t" + std::string(text), again) == value && again == 0, "leading blanks", text);
  IntegerOf(std::string(text) + " ", again);
  Check(again == static_cast<std::int32_t>(text.size()) + 1, "trailing blank rejected", text);
  if (!HexPrefixed(text)) {
    Check(RealOf(std::string(text), again) == value && again == 0, "decimal is a real", text);
  }
}

void CheckFormat(double value, double format, std::string_view text) {
  const std::string formatted = layer::FormatReal(value, format);
  Check(formatted.size() <= 255, "FormatReal at most 255 characters", text);
  if (!std::isfinite(value)) return;
  std::int32_t code = -1;
  RealOf(formatted, code);
  Check(code == 0, "FormatReal of a finite value converts back", formatted);
  if (std::trunc(format) == format && std::fabs(value) < 2147483647.0) {
    const auto rounded = static_cast<std::int32_t>(std::nearbyint(value));
    Check(IntegerOf(formatted, code) == rounded && code == 0, "whole format reads back", text);
  }
}

void CheckReal(std::string_view text, double format) {
  double value = 0;
  std::int32_t code = -1;
  layer::TextToReal(text, value, code);
  Check(CodeInRange(code, text), "real code in 0..length + 1", text);
  if (code != 0) return;
  Check(std::isfinite(value), "only finite reals", text);
  char shortest[64];
  const auto end = std::to_chars(shortest, shortest + sizeof shortest, value).ptr;
  std::int32_t again = -1;
  const double back = RealOf(std::string(shortest, end), again);
  Check(again == 0 && std::memcmp(&back, &value, sizeof back) == 0, "shortest round trip", text);
  Check(RealOf("  " + std::string(text), again) == value && again == 0, "leading blanks", text);
  RealOf(std::string(text) + " ", again);
  Check(again == static_cast<std::int32_t>(text.size()) + 1, "trailing blank rejected", text);
  CheckFormat(value, format, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckInteger(text);
  // A format from the input itself: widths 0..31 with 0..9 decimals.
  const double format = size == 0 ? 0.0 : (data[0] % 32) + (data[size - 1] % 10) / 10.0;
  CheckReal(text, format);
  if (size >= 16) {  // raw doubles too, NaN, infinities and huge formats among them
    double value = 0, rawFormat = 0;
    std::memcpy(&value, data, sizeof value);
    std::memcpy(&rawFormat, data + 8, sizeof rawFormat);
    CheckFormat(value, rawFormat, text);
  }
  return 0;
}
