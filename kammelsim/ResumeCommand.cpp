// kammelsim resume: continues a run from its checkpoint, as if it had never stopped.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "kammelsim/Commands.h"
#include "kammelsim/RecordedRun.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/Provenance.h"
#include "kammelsim/params/Bed.h"
#include "kammelsim/params/Profile.h"
#include "kammelsim/params/Reader.h"
#include "kammelsim/params/Record.h"
#include "kammelsim/params/Stats.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/RunDriver.h"

namespace kammelsim {
namespace {

namespace fs = std::filesystem;

// The total the continued run goes to unless the command line says: the run's own, or the
// larger one it was continued to. A stretch asked for with a smaller total does not shorten
// the run for the next plain resume.
bool ReadTotal(const ParsedOptions& options, const params::Values& recorded, CheckpointData& data,
               std::string& error) {
  using O = params::ResumeOptions;
  const params::Option& own = data.command == "bed" ? O::batches : O::steps;
  const params::Option& other = data.command == "bed" ? O::steps : O::batches;
  if (options.Has(other.name)) {
    error = "--" + std::string(other.name) + " is not for a " + data.command + " run; use --" +
            std::string(own.name);
    return false;
  }
  params::Values values;
  if (!params::ReadWords(options, {&own, 1}, values, error)) return false;
  const bool complete = data.done == data.total;
  data.total = values.Integer(own, std::max(data.total, recorded.Integer(own)));
  if (data.total > data.done || (complete && data.total == data.done)) return true;
  error = "the checkpoint holds " + std::to_string(data.done) + " " + std::string(own.name) +
          " already; --" + std::string(own.name) + " must be more";
  return false;
}

// The model's parameters the resume gives, checked against the recorded run's table, into its
// recorded options where they differ from what those hold; false with error at the first bad
// one. The bed's size, depth and settings stay: the checkpoint's array is of them.
bool ReadChanges(const ParsedOptions& options, const params::Values& recorded, CheckpointData& data,
                 std::vector<std::string>& changed, std::string& error) {
  using Relief = params::BedOptions<model3d::ReliefSettings>;
  const params::Table table =
      data.command == "bed" ? params::Table(Relief::all) : params::ProfileOptions::all;
  using O = params::ResumeOptions;
  for (const params::Option* named : {&O::b, &O::wind, &O::q}) {
    if (!options.Has(named->name)) continue;
    const params::Option& option = *params::Find(table, named->name);
    params::Values given;
    if (!params::ReadWords(options, {&option, 1}, given, error)) return false;
    const bool same = option.type == params::Type::Real
                          ? given.Real(option) == recorded.Real(option)
                          : given.Integer(option) == recorded.Integer(option);
    if (same) continue;
    const std::string word = given.Words().back(), prefix = "--" + std::string(option.name) + "=";
    std::erase_if(data.args, [&prefix](const std::string& w) { return w.starts_with(prefix); });
    data.args.insert(std::upper_bound(data.args.begin(), data.args.end(), word), word);
    changed.emplace_back(option.name);
  }
  return true;
}

}  // namespace

int RunOptionFault(const RunOutput& output, std::string_view command, const std::string& message,
                   const Resume* resume) {
  if (!resume) return UsageFault(output, std::string(command) + ": " + message);
  std::fprintf(output.err, "kammelsim: resume: %s %s\n", QuoteFile(resume->path).c_str(),
               OptionsCannotBe(message).c_str());
  return 1;
}

int RunResumeCommand(std::span<const std::string> args, const RunOutput& output) {
  std::string error;
  OptionFault fault;
  const auto options = ParseOptions(args, params::ResumeOptions::all, fault, 1);
  if (!options) return Refused(output, "resume", fault);
  if (options->positional.empty()) return UsageFault(output, "resume: which checkpoint?");
  Resume resume;
  resume.path = options->positional.front();
  resume.allowOutside = options->Has("allow-outside");
  const std::vector<std::string_view> words(args.begin(), args.end());
  resume.commandLine = CommandLine("resume", words);
  // A resume writes its next checkpoint under the name it was given: through a link that would
  // put a second checkpoint of the run beside the one the link leads to.
  if (std::error_code e; fs::is_symlink(resume.path, e)) {
    std::fprintf(output.err,
                 "kammelsim: resume: %s is a link to %s; resume the checkpoint by its own name\n",
                 QuoteFile(resume.path).c_str(),
                 QuoteFile(fs::read_symlink(resume.path, e).string()).c_str());
    return 1;
  }
  // The checkpoint is read from the file this process holds: no other run can be going on
  // from it, by any of its names.
  resume.lock = std::make_shared<RunLock>();
  std::string why;
  std::shared_ptr<const io::HeldFile> file;
  if (!resume.lock->LockCheckpoint(resume.path, false, &file, error)) {
    std::fprintf(output.err, "kammelsim: resume: %s\n", error.c_str());
    return 1;
  }
  std::optional<params::Values> values;
  if (DecodeCheckpoint(file, resume.data, why)) values = ReadRecord(resume.data, why);
  if (!values) {
    std::fprintf(output.err, "kammelsim: resume: %s %s\n", QuoteFile(resume.path).c_str(),
                 why.c_str());
    return 1;
  }
  if (!ReadTotal(*options, *values, resume.data, error) ||
      !ReadChanges(*options, *values, resume.data, resume.changed, error))
    return UsageFault(output, "resume: " + error);
  if (!resume.changed.empty() && resume.data.total == resume.data.done) {
    const std::string unit = resume.data.command == "bed" ? "batches" : "steps";
    return UsageFault(output, "resume: the run is complete; a change needs --" + unit + " beyond " +
                                  std::to_string(resume.data.done));
  }
  const std::span<const std::string> recorded = resume.data.args;
  return resume.data.command == "bed" ? RunBedCommand(recorded, output, &resume)
                                      : RunProfileCommand(recorded, output, &resume);
}

}  // namespace kammelsim
