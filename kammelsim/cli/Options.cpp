#include "kammelsim/cli/Options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace kammelsim {
namespace {

bool IsKnown(std::span<const std::string_view> known, std::string_view name) {
  return std::find(known.begin(), known.end(), name) != known.end();
}

// The option a word names, "--name" or "--name=value", if it is one of names.
bool NamesOption(std::string_view word, std::span<const std::string_view> names) {
  if (!word.starts_with("--")) return false;
  word.remove_prefix(2);
  return IsKnown(names, word.substr(0, word.find('=')));
}

// The first word left over: an unknown option, or a word that is not an option.
std::string LeftOver(const std::string& word) {
  if (word.starts_with("--")) return "unknown option " + QuoteValue(word.substr(0, word.find('=')));
  return "unexpected argument " + QuoteValue(word) + "; options start with --";
}

// A flag takes no value on the command line: "--force=no" would read as if it meant no.
bool FlagWithValue(std::span<const std::string> args, std::span<const std::string_view> flags,
                   std::string& error) {
  for (const std::string& word : args) {
    const std::size_t equals = word.find('=');
    if (equals != std::string::npos && NamesOption(word, flags)) {
      error = word.substr(0, equals) + " takes no value";
      return true;
    }
  }
  return false;
}

// An option's value is the next word whatever it is, so "--png --force" is caught here, where
// the value names an option: the user left the value out.
bool MissingValue(const ParsedOptions& options, std::span<const std::string_view> known,
                  std::span<const std::string_view> flags, std::string& error) {
  for (const auto& [name, values] : options.values) {
    for (const std::string& value : values) {
      if (NamesOption(value, known) || NamesOption(value, flags)) {
        error = "--" + name + " needs a value";
        return true;
      }
    }
  }
  return false;
}

// Splits words into options' values, flags and the words left over, in order; false, with
// error, for an option that takes a value and ends the words.
bool Split(std::span<const std::string> words, std::span<const std::string_view> known,
           std::span<const std::string_view> flags, ParsedOptions& options,
           std::vector<std::string>& left, std::string& error) {
  for (std::size_t n = 0; n < words.size(); ++n) {
    const std::string& word = words[n];
    const std::size_t equals = word.find('=');
    const std::string name = word.starts_with("--") ? word.substr(2, equals - 2) : std::string();
    if (!name.empty() && IsKnown(known, name)) {
      // "--name=" is "--name": its value is the next word, as the command line has always read.
      if (equals != std::string::npos && equals + 1 < word.size()) {
        options.values[name].push_back(word.substr(equals + 1));
      } else if (n + 1 < words.size()) {
        options.values[name].push_back(words[++n]);
      } else {
        error = "--" + name + " needs a value";
        return false;
      }
    } else if (!name.empty() && equals == std::string::npos && IsKnown(flags, name)) {
      options.values[name] = {""};
      options.flag.insert(name);
    } else {
      left.push_back(word);
    }
  }
  return true;
}

bool TakePositional(const std::vector<std::string>& words, std::size_t most, ParsedOptions& options,
                    std::string& error) {
  for (const std::string& word : words) {
    if (word.starts_with("--") || options.positional.size() == most) {
      error = LeftOver(word);
      return false;
    }
    options.positional.push_back(word);
  }
  return true;
}

}  // namespace

std::string ParsedOptions::Text(std::string_view name, std::string_view fallback) const {
  const auto found = values.find(name);
  return std::string(found == values.end() ? fallback : std::string_view(found->second.back()));
}

std::string ParsedOptions::From(std::string_view name, std::string_view text) const {
  const auto found = origins.find("--" + std::string(name) + "=" + std::string(text));
  return found == origins.end() ? std::string() : found->second + ": ";
}

std::vector<std::string> ParsedOptions::Canonical() const {
  std::vector<std::string> words;
  for (const auto& [name, texts] : values) {
    for (const std::string& text : texts)
      words.push_back(text.empty() && flag.contains(name) ? "--" + name : "--" + name + "=" + text);
  }
  return words;
}

namespace {

// --config FILE and --config=FILE taken out of args: what the files hold goes first, so that
// the command line wins.
bool ExpandConfig(std::span<const std::string> args, std::span<const std::string_view> known,
                  std::span<const std::string_view> flags, std::vector<std::string>& words,
                  std::map<std::string, std::string, std::less<>>& origins, OptionFault& fault) {
  std::vector<std::string> given;
  for (std::size_t n = 0; n < args.size(); ++n) {
    std::string path;
    if (args[n] == "--config") {
      if (n + 1 == args.size() || args[n + 1].starts_with("--")) {
        fault.message = "--config needs a value";
        return false;
      }
      path = args[++n];
    } else if (args[n].starts_with("--config=")) {
      path = args[n].substr(9);
    } else {
      given.push_back(args[n]);
      continue;
    }
    if (!ReadConfigFile(path, known, flags, words, origins, fault)) return false;
  }
  words.insert(words.end(), given.begin(), given.end());
  return true;
}

}  // namespace

int Refused(const RunOutput& output, std::string_view command, const OptionFault& fault) {
  std::fprintf(output.err, "kammelsim: %.*s: %s\n", static_cast<int>(command.size()),
               command.data(), fault.message.c_str());
  return fault.status;
}

std::optional<ParsedOptions> ParseOptions(std::span<const std::string> args,
                                          std::span<const std::string_view> known,
                                          std::span<const std::string_view> flags,
                                          OptionFault& fault, std::size_t maxPositional) {
  std::vector<std::string> words;
  ParsedOptions options;
  if (!ExpandConfig(args, known, flags, words, options.origins, fault)) return std::nullopt;
  std::string& error = fault.message;
  std::vector<std::string> left;
  if (FlagWithValue(words, flags, error) || !Split(words, known, flags, options, left, error) ||
      MissingValue(options, known, flags, error) ||
      !TakePositional(left, maxPositional, options, error)) {
    return std::nullopt;
  }
  return options;
}

std::optional<ParsedOptions> ParseOptions(std::span<const std::string> args, params::Table table,
                                          OptionFault& fault, std::size_t maxPositional) {
  std::vector<std::string_view> known, flags;
  for (const params::Option& option : table)
    (option.type == params::Type::Flag ? flags : known).push_back(option.name);
  return ParseOptions(args, known, flags, fault, maxPositional);
}

bool ReadReal(std::string_view text, double& value) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || text.starts_with('+')) return false;
  const char* const end = text.data() + text.size();
  const auto [stop, fault] = std::from_chars(text.data(), end, value);
  if (stop != end) return false;
  if (fault == std::errc{}) return std::isfinite(value);
  if (fault != std::errc::result_out_of_range) return false;
  // Beyond a double's range: too small reads as 0, as the dialogs read it; too large is
  // refused. A long double's wider range tells which; past that, the exponent's sign does.
  long double wide = 0;
  if (std::from_chars(text.data(), end, wide).ec == std::errc{}) {
    value = static_cast<double>(wide);
    return std::isfinite(value);
  }
  const std::size_t e = text.find_first_of("eE");
  if (e == std::string_view::npos || e + 1 >= text.size() || text[e + 1] != '-') return false;
  value = text.starts_with('-') ? -0.0 : 0.0;
  return true;
}

}  // namespace kammelsim
