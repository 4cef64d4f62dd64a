#include "tools/Options.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tools {
namespace {

std::string Quote(std::string_view text) {
  std::string quoted(1, '\'');
  quoted.append(text).push_back('\'');
  return quoted;
}

bool IsKnown(std::span<const std::string_view> known, std::string_view name) {
  return std::find(known.begin(), known.end(), name) != known.end();
}

template <class Number>
bool ParseWhole(std::string_view text, Number& value) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || text.starts_with('+')) return false;
  const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
  return fault == std::errc{} && end == text.data() + text.size();
}

}  // namespace

std::string ParsedOptions::Text(std::string_view name, std::string_view fallback) const {
  const auto found = values.find(name);
  return std::string(found == values.end() ? fallback : found->second);
}

std::optional<ParsedOptions> ParseOptions(std::span<const std::string_view> args,
                                          std::span<const std::string_view> known,
                                          std::span<const std::string_view> flags,
                                          std::string& error) {
  ParsedOptions options;
  for (std::size_t n = 0; n < args.size(); ++n) {
    std::string_view arg = args[n];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (!arg.starts_with("--")) {
      error = "unexpected argument " + Quote(arg) + "; options start with --";
      return std::nullopt;
    }
    arg.remove_prefix(2);
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    if (IsKnown(flags, name)) {
      if (equals != std::string_view::npos) {
        error = "--" + std::string(name) + " takes no value";
        return std::nullopt;
      }
      options.values[std::string(name)] = "";
      continue;
    }
    if (!IsKnown(known, name)) {
      error = "unknown option " + Quote("--" + std::string(name));
      return std::nullopt;
    }
    if (equals != std::string_view::npos) {
      options.values[std::string(name)] = arg.substr(equals + 1);
    } else if (n + 1 < args.size()) {
      options.values[std::string(name)] = args[++n];
    } else {
      error = "--" + std::string(name) + " needs a value";
      return std::nullopt;
    }
  }
  return options;
}

std::int64_t IntegerOption(const ParsedOptions& options, std::string_view name,
                           std::int64_t fallback, std::int64_t min, std::int64_t max,
                           std::string& error) {
  const auto found = options.values.find(name);
  if (found == options.values.end()) return fallback;
  std::int64_t value = 0;
  if (!ParseWhole(found->second, value) || value < min || value > max) {
    if (!error.empty()) return fallback;
    error = "--" + std::string(name) + " takes an integer in " + std::to_string(min) + ".." +
            std::to_string(max) + ", not " + Quote(found->second);
    return fallback;
  }
  return value;
}

double RealOption(const ParsedOptions& options, std::string_view name, double fallback,
                  std::string& error) {
  const auto found = options.values.find(name);
  if (found == options.values.end()) return fallback;
  double value = 0;
  if (!ParseWhole(found->second, value) || !std::isfinite(value)) {
    if (!error.empty()) return fallback;
    error = "--" + std::string(name) + " takes a finite real number, not " + Quote(found->second);
    return fallback;
  }
  return value;
}

}  // namespace tools
