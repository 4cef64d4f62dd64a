// What a run records of its options: the parameters its outputs carry, typed, and the words
// its checkpoint keeps to make the run again.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "kammelsim/output/Provenance.h"
#include "kammelsim/params/Option.h"

namespace kammelsim {
struct CheckpointData;
}

namespace kammelsim::params {

/// The values a run goes with, defaults and totals filled in, by option.
class Record {
 public:
  /// Keeps value as option's and returns it.
  template <class Number>
  Number Keep(const Option& option, Number value) {
    if constexpr (std::is_floating_point_v<Number>)
      kept_[option.name] = static_cast<double>(value);
    else
      kept_[option.name] = static_cast<std::int64_t>(value);
    return value;
  }
  std::string Keep(const Option& option, std::string value) {
    kept_[option.name] = value;
    return value;
  }
  /// The kept values of table's recorded options, in their places.
  std::vector<Parameter> Parameters(Table table) const;

 private:
  std::map<std::string_view, decltype(Parameter::value)> kept_;
};

/// The options a checkpoint records to make the run again, from canonical ("--name=value")
/// words: without the outputs, which it records on their own, and without --config, already
/// merged; of an option given more than once, the last, which is the one that counts.
std::vector<std::string> RecordedOptions(const std::vector<std::string>& canonical);

/// The first recorded word a resume does not take (an output, --force, --config), or empty.
std::string ForeignRecordedOption(const std::vector<std::string>& recorded);

/// Whether the options and total a checkpoint records are ones a run could have been given:
/// none of its outputs, --force or --config (a resume takes its outputs from the checkpoint
/// alone), and a total within range. False with the rest of a line naming the file in why.
bool TrustworthyRecord(const CheckpointData& data, std::string& why);

}  // namespace kammelsim::params
