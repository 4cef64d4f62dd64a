#include "kammelsim/output/Heights.h"

#include <charconv>

namespace kammelsim {

void AppendHeightLine(std::string& text, const std::int32_t* heights, std::int32_t count) {
  text.reserve(text.size() + static_cast<std::size_t>(count) * 4 + 1);
  char digits[16];
  for (std::int32_t n = 0; n < count; ++n) {
    if (n > 0) text.push_back(' ');
    const auto end = std::to_chars(digits, digits + sizeof digits, heights[n]).ptr;
    text.append(digits, end);
  }
  text.push_back('\n');
}

}  // namespace kammelsim
