#include "kammelsim/cli/ConfigFile.h"

#include <algorithm>
#include <cctype>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/output/Messages.h"

namespace kammelsim {
namespace {

// Config files are a few lines; anything much larger is not one.
constexpr std::uint64_t kMaxConfigBytes = 1 << 20;

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool Among(std::span<const std::string_view> names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The value after "=": quoted and taken whole, or bare up to a " #" comment and taken whole.
bool ReadValue(std::string_view text, std::string& value) {
  if (!text.empty() && (text.front() == '"' || text.front() == '\'')) {
    const std::size_t close = text.find(text.front(), 1);
    if (close == std::string_view::npos) return false;
    const std::string_view after = Trim(text.substr(close + 1));
    if (!after.empty() && after.front() != '#') return false;
    value = text.substr(1, close - 1);
    return true;
  }
  const std::size_t comment = text.find(" #");
  value = Trim(text.substr(0, comment));
  return true;
}

// A flag's value: whether it is set; false when the text is no truth value.
bool ReadTruth(std::string text, bool& set) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  set = text == "true" || text == "yes" || text == "1";
  return set || text == "false" || text == "no" || text == "0";
}

struct Line {
  std::string where;  // "FILE:LINE"
  std::string_view text;
};

bool ReadLine(const Line& line, std::span<const std::string_view> known,
              std::span<const std::string_view> flags, std::vector<std::string>& words,
              std::map<std::string, std::string, std::less<>>& origins, OptionFault& fault) {
  const std::size_t equals = line.text.find('=');
  const std::string name(Trim(line.text.substr(0, equals)));
  std::string value;
  if (equals == std::string_view::npos || name.empty()) {
    fault.message = line.where + ": not 'name = value'";
  } else if (name == "config") {
    fault.message = line.where + ": a config file cannot name another";
  } else if (!Among(known, name) && !Among(flags, name)) {
    fault.message = line.where + ": unknown option " + QuoteValue(name);
  } else if (!ReadValue(Trim(line.text.substr(equals + 1)), value)) {
    fault.message = line.where + ": the value of " + name + " is quoted but not closed";
  } else if (Among(flags, name)) {
    bool set = false;
    if (!ReadTruth(value, set)) {
      fault.message = line.where + ": " + name + " takes true or false, not " + QuoteValue(value);
    } else if (set) {
      words.push_back("--" + name);
    }
  } else {
    words.push_back("--" + name + "=" + value);
    origins.try_emplace(words.back(), line.where);
  }
  return fault.message.empty();
}

}  // namespace

bool ReadConfigFile(const std::string& path, std::span<const std::string_view> known,
                    std::span<const std::string_view> flags, std::vector<std::string>& words,
                    std::map<std::string, std::string, std::less<>>& origins, OptionFault& fault) {
  std::string bytes;
  if (const io::ReadFault read = io::ReadWholeFile(path, kMaxConfigBytes, bytes);
      read != io::ReadFault::None) {
    fault = {"--config: cannot read " + QuoteFile(path) + ": " +
                 io::ReadFaultReason(read, kMaxConfigBytes),
             1};
    return false;
  }
  std::string_view rest(bytes);
  if (rest.starts_with("\xef\xbb\xbf"))
    rest.remove_prefix(3);  // a byte-order mark some editors add
  for (int number = 1; !rest.empty(); ++number) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view text = Trim(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (text.empty() || text.front() == '#' || text.front() == ';') continue;
    if (!ReadLine({QuoteFile(path) + ":" + std::to_string(number), text}, known, flags, words,
                  origins, fault)) {
      return false;
    }
  }
  return true;
}

}  // namespace kammelsim
