// Dialogs that come back until their text is a number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace layer {

/// "Integer-Eingabe" dialogs until text converts; text keeps what was typed.
void ReadInteger(std::string_view prompt, std::string& text, std::int32_t& value);
/// "Real-Eingabe" dialogs until text, with commas read as points, converts.
void ReadReal(std::string_view prompt, std::string& text, double& value);

/// ReadInteger until the value also lies in min..max, asking again without a message, like
/// a text that is no number; text keeps what was typed last.
void ReadIntegerWithin(std::string_view prompt, std::string& text, std::int32_t& value,
                       std::int32_t min, std::int32_t max);

}  // namespace layer
