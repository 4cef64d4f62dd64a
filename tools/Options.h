// Command-line options of kammelsim: "--name value" or "--name=value", checked against a range.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

/// The options given on one command line, by name without the leading "--"; the last of a
/// repeated option counts. A flag given has the empty value.
struct ParsedOptions {
  std::map<std::string, std::string, std::less<>> values;
  bool help = false;

  bool Has(std::string_view name) const { return values.find(name) != values.end(); }
  /// The text of an option, or fallback when it is absent.
  std::string Text(std::string_view name, std::string_view fallback = {}) const;
};

/// Splits args (after the subcommand) into options. known lists the names that take a value,
/// flags those that take none. On a fault, returns nothing and sets error to one line for the
/// user.
std::optional<ParsedOptions> ParseOptions(std::span<const std::string_view> args,
                                          std::span<const std::string_view> known,
                                          std::span<const std::string_view> flags,
                                          std::string& error);

/// An integer option in min..max (default when absent); on a fault sets error.
std::int64_t IntegerOption(const ParsedOptions& options, std::string_view name,
                           std::int64_t fallback, std::int64_t min, std::int64_t max,
                           std::string& error);

/// A finite real option (default when absent); on a fault sets error.
double RealOption(const ParsedOptions& options, std::string_view name, double fallback,
                  std::string& error);

}  // namespace tools
