// A run's options as one typed record, read from command-line words (a config file's lines
// become words first) or given typed by Python, each value checked against its table entry.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kammelsim/params/Option.h"

namespace kammelsim {
struct ParsedOptions;
}

namespace kammelsim::params {

struct Canvas {
  std::int64_t width = 0, height = 0;
};

/// A value of its option's type: Integer and Seed as std::int64_t, Real as double, Canvas as
/// Canvas, Flag as true, the rest as text.
using Value = std::variant<std::int64_t, double, std::string, Canvas, bool>;

/// One value given for an option, with its text as a command line holds it: what a checkpoint
/// records, so that a resume reads back the same value.
struct Given {
  Value value;
  std::string text;
  std::string shown = {};  ///< how a message shows it; empty: the text, quoted
};

/// Who gave the values, which says how messages name an option: "--length" on a command
/// line, "length" as Python's keyword.
enum class Voice { CommandLine, Python };

/// The options given, by name; of an option given more than once the last counts.
class Values {
 public:
  explicit Values(Voice voice = Voice::CommandLine) : voice_(voice) {}
  /// The option as messages name it.
  std::string Named(const Option& option) const {
    return (voice_ == Voice::CommandLine ? "--" : "") + std::string(option.name);
  }
  bool Has(std::string_view name) const { return given_.find(name) != given_.end(); }
  /// Adds a value given for option (after any given before).
  void Add(const Option& option, Given given);
  /// The option's last value, or its default when not given; Integer for Integer and Seed.
  std::int64_t Integer(const Option& option) const;
  std::int64_t Integer(const Option& option, std::int64_t fallback) const;
  double Real(const Option& option) const;
  std::string Text(const Option& option) const;
  Canvas CanvasOf(const Option& option, Canvas fallback) const;
  /// Why the first value given that is no value of its option, in table's order, is not:
  /// "length takes an integer in 1..999, not 1000"; empty when every value is one.
  std::string Fault(Table table) const;
  /// Every value given, as "--name=value" words (a flag as "--name"), by name; what reads back
  /// to the same values.
  std::vector<std::string> Words() const;
  /// These values with more's after them.
  Values With(const Values& more) const;
  /// Only the values of options for which keep is true.
  template <class Keep>
  Values Only(Keep keep) const {
    Values kept(voice_);
    for (const auto& [name, given] : given_) {
      if (keep(std::string_view(name))) kept.given_.emplace(name, given);
    }
    return kept;
  }

 private:
  const Given* Last(std::string_view name) const;
  Voice voice_;
  std::map<std::string, std::vector<Given>, std::less<>> given_;
};

/// Why value is no value of option: Wants(option), or empty when it is one.
std::string Check(const Option& option, const Value& value);

/// The value a command line's text gives option; false when the text gives none.
bool Parse(const Option& option, std::string_view text, Value& value);

/// Reads the options of table from words split by ParseOptions, in the table's order; false at
/// the first fault, with error "FILE:LINE: --length takes an integer in 1..999, not '0'"
/// (the place only for a value from a config file). Numbers are checked in every occurrence,
/// other values in the last, which is the one that counts.
bool ReadWords(const ParsedOptions& options, Table table, Values& values, std::string& error);

}  // namespace kammelsim::params
