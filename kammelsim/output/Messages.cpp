#include "kammelsim/output/Messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kammelsim {

std::string Fault::Message(std::string_view command) const {
  switch (doing) {
    case Doing::Writing:
      return "cannot write " + file + ": " + (reason.empty() ? std::strerror(error) : reason);
    case Doing::Checking:
      return "resume: " + file + " " + reason;
    case Doing::Preparing:
      break;
  }
  return std::string(command) + ": " + file + " " + reason;
}

Fault WriteFailed(std::string file, int error) {
  return {Fault::Doing::Writing, std::move(file), error, "", 1};
}

Fault WriteFailed(std::string file, std::string reason) {
  return {Fault::Doing::Writing, std::move(file), 0, std::move(reason), 1};
}

Fault Refused(std::string file, std::string why) {
  return {Fault::Doing::Checking, std::move(file), 0, std::move(why), 1};
}

Fault Unusable(std::string file, std::string why, int status) {
  return {Fault::Doing::Preparing, std::move(file), 0, std::move(why), status};
}

int Say(const RunOutput& output, const Fault& fault, std::string_view command) {
  const std::string line = fault.Message(command);
  std::fprintf(output.err, "kammelsim: %s\n", line.c_str());
  return fault.status;
}

int UsageFault(const RunOutput& output, std::string_view message) {
  std::fprintf(output.err, "kammelsim: %.*s\n", static_cast<int>(message.size()), message.data());
  return 2;
}

int WriteFault(const RunOutput& output, std::string_view what) {
  return Say(output, WriteFailed(std::string(what), errno));
}

namespace {

// The length of the UTF-8 character that starts text, or 0 when it is none, or one of the C1
// control characters (U+0080..U+009F), which a terminal acts on as on the C0 ones.
std::size_t Printable(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead < 0x80                   ? 1
                             : lead >= 0xc2 && lead < 0xe0 ? 2
                             : lead >= 0xe0 && lead < 0xf0 ? 3
                             : lead >= 0xf0 && lead < 0xf5 ? 4
                                                           : 0;
  if (length == 0 || length > text.size()) return 0;
  for (std::size_t n = 1; n < length; ++n) {
    if ((static_cast<unsigned char>(text[n]) & 0xc0) != 0x80) return 0;
  }
  const auto second = static_cast<unsigned char>(length > 1 ? text[1] : 0);
  const bool overlong = (lead == 0xe0 && second < 0xa0) || (lead == 0xf0 && second < 0x90);
  const bool beyond = (lead == 0xed && second >= 0xa0) || (lead == 0xf4 && second >= 0x90);
  const bool c1 = lead == 0xc2 && second < 0xa0;
  return overlong || beyond || c1 ? 0 : length;
}

}  // namespace

std::string Escaped(std::string_view text) {
  std::string escaped;
  while (!text.empty()) {
    const auto byte = static_cast<unsigned char>(text[0]);
    const std::size_t length = Printable(text);
    if (length == 0 || byte < 0x20 || byte == 0x7f || byte == '\\' || byte == '\'') {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      escaped += code;
      text.remove_prefix(1);
    } else {
      escaped.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return escaped;
}

std::string QuoteValue(std::string_view text, std::size_t most) {
  const std::size_t shown = std::min(text.size(), most);
  return "'" + Escaped(text.substr(0, shown)) + (shown < text.size() ? "...'" : "'");
}

}  // namespace kammelsim
