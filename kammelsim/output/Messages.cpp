#include "kammelsim/output/Messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kammelsim {

int UsageFault(const RunOutput& output, std::string_view message) {
  std::fprintf(output.err, "kammelsim: %.*s\n", static_cast<int>(message.size()), message.data());
  return 2;
}

int WriteFault(const RunOutput& output, std::string_view what) {
  const int reason = errno;
  std::fprintf(output.err, "kammelsim: cannot write %.*s: %s\n", static_cast<int>(what.size()),
               what.data(), std::strerror(reason));
  return 1;
}

std::string Escaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '\\' || c == '\'') {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      escaped += code;
    } else {
      escaped.push_back(c);
    }
  }
  return escaped;
}

std::string QuoteValue(std::string_view text, std::size_t most) {
  const std::size_t shown = std::min(text.size(), most);
  return "'" + Escaped(text.substr(0, shown)) + (shown < text.size() ? "...'" : "'");
}

}  // namespace kammelsim
