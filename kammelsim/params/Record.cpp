#include "kammelsim/params/Record.h"

#include <algorithm>

#include "kammelsim/output/Messages.h"
#include "kammelsim/params/Run.h"
#include "kammelsim/run/Checkpoint.h"

namespace kammelsim::params {
namespace {

// The name of a canonical word: "--name=value" or "--name".
std::string_view NameOf(std::string_view word) {
  if (word.starts_with("--")) word.remove_prefix(2);
  return word.substr(0, word.find('='));
}

bool NamesOutput(std::string_view word) {
  const std::string_view name = NameOf(word);
  const Option* option = Find(kRunOptions, name);
  return name == "config" || (option && IsOutput(*option));
}

}  // namespace

std::vector<Parameter> Record::Parameters(Table table) const {
  std::vector<const Option*> recorded;
  for (const Option& option : table) {
    if (option.place > 0 && kept_.contains(option.name)) recorded.push_back(&option);
  }
  std::stable_sort(recorded.begin(), recorded.end(),
                   [](const Option* a, const Option* b) { return a->place < b->place; });
  std::vector<Parameter> parameters;
  for (const Option* option : recorded)
    parameters.push_back({std::string(option->name), kept_.at(option->name)});
  return parameters;
}

std::vector<std::string> RecordedOptions(const std::vector<std::string>& canonical) {
  // Every occurrence of an option has been checked; the last is the one that counts, and the
  // only one kept, so that what a checkpoint records is bounded by the options there are.
  static_assert(kRunOptions.size() + 16 < kMaxRecordedOptions);
  std::vector<std::string> kept;
  for (std::size_t n = 0; n < canonical.size(); ++n) {
    const std::string& word = canonical[n];
    const bool repeated = n + 1 < canonical.size() && NameOf(canonical[n + 1]) == NameOf(word);
    if (!NamesOutput(word) && !repeated) kept.push_back(word);
  }
  return kept;
}

std::string ForeignRecordedOption(const std::vector<std::string>& recorded) {
  for (const std::string& word : recorded) {
    if (NamesOutput(word) || !word.starts_with("--")) return word;
  }
  return "";
}

bool TrustworthyRecord(const CheckpointData& data, std::string& why) {
  const std::string unit = data.command == "bed" ? "batches" : "steps";
  if (const std::string foreign = ForeignRecordedOption(data.args); !foreign.empty()) {
    why = "records " + QuoteValue(foreign) + ", which a resume does not take";
  } else if (data.total > kMaxRunLength) {
    why = "records a total of " + std::to_string(data.total) + " " + unit + ", beyond " +
          std::to_string(kMaxRunLength);
  }
  return why.empty();
}

}  // namespace kammelsim::params
