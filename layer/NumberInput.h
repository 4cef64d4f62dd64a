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

}  // namespace layer
