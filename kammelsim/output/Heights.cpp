#include "kammelsim/output/Heights.h"

#include <charconv>
#include <string>

namespace kammelsim {

bool WriteHeightLine(std::FILE* out, const std::int32_t* heights, std::int32_t count) {
  std::string line;
  line.reserve(static_cast<std::size_t>(count) * 4 + 1);
  char digits[16];
  for (std::int32_t n = 0; n < count; ++n) {
    if (n > 0) line.push_back(' ');
    const auto end = std::to_chars(digits, digits + sizeof digits, heights[n]).ptr;
    line.append(digits, end);
  }
  line.push_back('\n');
  return std::fwrite(line.data(), 1, line.size(), out) == line.size() && !std::ferror(out);
}

}  // namespace kammelsim
