// Heights as text: the integers of one row on one line, as a run prints them at its end.
#pragma once

#include <cstdint>
#include <string>

namespace kammelsim {

/// Appends the integers separated by single spaces, and the line's end.
void AppendHeightLine(std::string& text, const std::int32_t* heights, std::int32_t count);

}  // namespace kammelsim
