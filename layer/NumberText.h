// Numbers to and from the texts of the input dialogs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace layer {

/// Decimal (sign, 32-bit range) or hexadecimal after "$", "x", "X", "0x", "0X" (at most 32 bits,
/// top bit negative), after leading blanks. code: 0 on success, else the 1-based position where
/// conversion stops (1 for an empty text); value is meaningful only when code is 0.
void TextToInteger(std::string_view text, std::int32_t& value, std::int32_t& code);

/// Leading blanks, optional sign, digits with optional "." fraction and optional exponent.
/// Only finite results are accepted. code as for TextToInteger.
void TextToReal(std::string_view text, double& value, std::int32_t& code);

/// value in a field of format's whole part, with format's first decimal as decimals.
std::string FormatReal(double value, double format);

}  // namespace layer
