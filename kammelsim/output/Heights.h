// Heights as text: the integers of one row on one line.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kammelsim {

/// Writes the integers separated by single spaces and ends the line; false if out failed.
[[nodiscard]] bool WriteHeightLine(std::FILE* out, const std::int32_t* heights, std::int32_t count);

}  // namespace kammelsim
