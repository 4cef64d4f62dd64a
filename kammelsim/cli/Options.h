// Command-line options of kammelsim: "--name value" or "--name=value", from the command line or
// a --config file, each occurrence checked against its range.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kammelsim/cli/ConfigFile.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/params/Option.h"

namespace kammelsim {

/// The options given on one command line, by name without the leading "--", every
/// occurrence in order; the last counts. A flag given has the empty value.
struct ParsedOptions {
  std::map<std::string, std::vector<std::string>, std::less<>> values;
  std::vector<std::string> positional;      ///< words that are not options, in order
  std::set<std::string, std::less<>> flag;  ///< the names in values that are flags
  /// "--name=value" read from a config file, and the "FILE:LINE" it was read from
  std::map<std::string, std::string, std::less<>> origins;

  bool Has(std::string_view name) const { return values.find(name) != values.end(); }
  /// The text of an option's last occurrence, or fallback when it is absent.
  std::string Text(std::string_view name, std::string_view fallback = {}) const;
  /// "FILE:LINE: " when text, a value of name, came from a config file; else empty. Faults
  /// in a value begin with it, so a user finds the line to mend.
  std::string From(std::string_view name, std::string_view text) const;
  /// Every option as "--name=value" (a flag as "--name"), configuration file included: what
  /// reads back to the same options without it.
  std::vector<std::string> Canonical() const;
};

/// Splits args (after the subcommand) into options. known lists the names that take a value,
/// flags those that take none; --config FILE reads more from FILE (see ReadConfigFile), where
/// the command line wins. At most maxPositional words may stand alone. On a fault, returns
/// nothing and sets fault to one line for the user and its status.
std::optional<ParsedOptions> ParseOptions(std::span<const std::string> args,
                                          std::span<const std::string_view> known,
                                          std::span<const std::string_view> flags,
                                          OptionFault& fault, std::size_t maxPositional = 0);

/// ParseOptions for the options of table: its flags take no value, the rest one each.
std::optional<ParsedOptions> ParseOptions(std::span<const std::string> args, params::Table table,
                                          OptionFault& fault, std::size_t maxPositional = 0);

/// Says on err why command's options were refused; returns the fault's status.
int Refused(const RunOutput& output, std::string_view command, const OptionFault& fault);

/// A real number as the options read it; false for text that is not one, or too large.
bool ReadReal(std::string_view text, double& value);

}  // namespace kammelsim
