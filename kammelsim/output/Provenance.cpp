#include "kammelsim/output/Provenance.h"

#include <sys/random.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "kammel/Version.h"
#include "kammelsim/output/Messages.h"

namespace kammelsim {
namespace {

// Whether a word holds what a shell must be given as \xNN: a control character, C1 included,
// or a byte that is not UTF-8.
bool HasControl(std::string_view text) {
  std::string plain(text);
  std::erase_if(plain, [](char c) { return c == '\\' || c == '\''; });
  return Escaped(plain) != plain;
}

void AppendHex(std::string& text, unsigned char byte) {
  char code[8];
  std::snprintf(code, sizeof code, "\\x%02x", byte);
  text += code;
}

// The length of the UTF-8 sequence that starts text, or 0 when it is not one.
std::size_t Utf8Length(std::string_view text) {
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
  return length;
}

}  // namespace

std::string CommandLine(std::string_view command, std::span<const std::string_view> args) {
  std::string line = "kammelsim " + std::string(command);
  for (const std::string_view arg : args) {
    line.push_back(' ');
    if (HasControl(arg)) {  // bash's quoting: copied back, it gives the same bytes
      line += "$'" + Escaped(arg) + "'";
      continue;
    }
    const bool plain = !arg.empty() && arg.find_first_of(" \t'\"\\$`") == std::string_view::npos;
    if (plain) {
      line.append(arg);
      continue;
    }
    line.push_back('\'');
    for (const char c : arg) {
      if (c == '\'')
        line.append("'\\''");
      else
        line.push_back(c);
    }
    line.push_back('\'');
  }
  return line;
}

std::string ProvenanceText(std::string_view text) {
  std::string clean;
  while (!text.empty()) {
    const auto byte = static_cast<unsigned char>(text[0]);
    const std::size_t length = Utf8Length(text);
    if (length == 0 || byte < 0x20 || byte == 0x7f) {
      AppendHex(clean, byte);
      text.remove_prefix(1);
      continue;
    }
    clean.append(text.substr(0, length));
    text.remove_prefix(length);
  }
  return clean;
}

std::string NewRunId() {
  unsigned char bits[16] = {};
  std::size_t got = 0;
  while (got < sizeof bits) {
    const ssize_t n = getrandom(bits + got, sizeof bits - got, 0);
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  std::string id;
  for (const unsigned char byte : bits) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", byte);
    id += digits;
  }
  return id;
}

std::string HistoryLine(std::string_view commandLine, std::int64_t from, std::int64_t to,
                        std::string_view unit) {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return std::string(stamp) + " kammelsim " + std::string(Version()) + ": " +
         ProvenanceText(commandLine) + " (" + std::to_string(from) + " to " + std::to_string(to) +
         " " + std::string(unit) + ")";
}

std::string ExactReal(double value) {
  char text[40];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string ParametersText(const std::vector<Parameter>& parameters) {
  std::string text;
  for (const Parameter& parameter : parameters) {
    text += (text.empty() ? "" : " ") + parameter.name + "=";
    if (const auto* whole = std::get_if<std::int64_t>(&parameter.value))
      text += std::to_string(*whole);
    else if (const auto* real = std::get_if<double>(&parameter.value))
      text += ExactReal(*real);
    else
      text += std::get<std::string>(parameter.value);
  }
  return text;
}

Provenance MakeProvenance(std::string_view commandLine, std::uint32_t seed,
                          const std::vector<Parameter>& parameters, std::string_view runId,
                          const std::vector<std::string>& history, const InitialRecord& initial) {
  std::string lines;
  for (const std::string& line : history)
    lines += (lines.empty() ? "" : "\n") + ProvenanceText(line);
  Provenance provenance = {{"Software", "kammelsim " + ProvenanceText(Version())},
                           {"Command", ProvenanceText(commandLine)},
                           {"Seed", std::to_string(seed)},
                           {"Parameters", ProvenanceText(ParametersText(parameters))},
                           {"Run", ProvenanceText(runId)},
                           {"History", lines}};
  if (!initial.name.empty()) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", initial.crc);
    provenance.insert(provenance.begin() + 4,
                      {"Initial", ProvenanceText(initial.name) + " (CRC-32 " + crc + ")"});
  }
  provenance.seed = seed;
  provenance.parameters = parameters;
  for (Parameter& parameter : provenance.parameters) {
    if (auto* word = std::get_if<std::string>(&parameter.value)) *word = ProvenanceText(*word);
  }
  return provenance;
}

namespace {

// The "name=value" words of a parameters line, by name.
std::vector<std::pair<std::string_view, std::string_view>> Words(std::string_view text) {
  std::vector<std::pair<std::string_view, std::string_view>> words;
  for (auto at = text.begin(); at != text.end();) {
    const auto end = std::find(at, text.end(), ' ');
    const auto is = std::find(at, end, '=');
    words.emplace_back(std::string_view(at, is), std::string_view(is == end ? end : is + 1, end));
    at = end == text.end() ? end : end + 1;
  }
  return words;
}

}  // namespace

std::string ParameterChanges(std::string_view recorded, std::string_view now,
                             const std::vector<std::string>& names) {
  const auto before = Words(recorded);
  std::string changes;
  for (const auto& [name, value] : Words(now)) {
    if (std::find(names.begin(), names.end(), name) == names.end()) continue;
    const auto was = std::find_if(before.begin(), before.end(),
                                  [name](const auto& word) { return word.first == name; });
    if (was != before.end() && was->second == value) continue;
    changes += (changes.empty() ? "" : ", ") + std::string(name) + "=" + std::string(value);
    if (was != before.end()) changes += " (was " + std::string(was->second) + ")";
  }
  return changes;
}

std::string_view Version() {
  return kammel::Version;
}

}  // namespace kammelsim
