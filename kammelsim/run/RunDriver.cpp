#include "kammelsim/run/RunDriver.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "kammelsim/output/Messages.h"
#include "kammelsim/output/Provenance.h"
#include "kammelsim/run/Interrupts.h"
#include "kammelsim/run/Progress.h"

namespace kammelsim {
namespace {

namespace fs = std::filesystem;

std::string CurrentFolder() {
  std::error_code error;
  const fs::path here = fs::current_path(error);
  return error ? std::string(".") : here.string();
}

// Sets the generator from --seed, or from the clock, reporting the seed taken.
void SeedGenerator(common::Random& random, bool seedGiven, std::uint32_t seed,
                   const RunOutput& output) {
  if (seedGiven) {
    random.state = seed;
    return;
  }
  common::SeedFromClock(random);
  std::fprintf(output.err, "kammelsim: seed %u (repeat the run with --seed %u)\n", random.state,
               random.state);
}

// The provenance's value named so; empty when it has none.
std::string ProvenanceValue(const Provenance& provenance, std::string_view name) {
  for (const auto& [key, value] : provenance) {
    if (key == name) return value;
  }
  return "";
}

// Until the checkpoint keeps a run id of its own: one made from what it records of the run's
// start, the same at every resume (FNV-1a, twice over for 128 bits).
std::string RecordedRunId(const CheckpointData& record) {
  const std::string text =
      record.commandLine + '\n' + record.directory + '\n' + std::to_string(record.seed);
  std::string id;
  for (const std::uint64_t basis : {14695981039346656037ull, 1099511628211ull}) {
    std::uint64_t hash = basis;
    for (const char c : text)
      hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    id += hex;
  }
  return id;
}

double ArrayTotal(std::span<const std::int32_t> cells) {
  double total = 0;
  for (const std::int32_t h : cells)
    total += h;
  return total;
}

}  // namespace

// A continued run writes where it began, and its checkpoints where it was continued from.
RunSettings RunDriver::Resolved(RunSettings settings, const Resume* resume) {
  if (!resume) return settings;
  ResolveFileNames(settings, resume->data.directory);
  settings.checkpoint = resume->path;
  return settings;
}

void ResolveFileNames(RunSettings& settings, const std::string& directory) {
  for (std::string* name :
       {&settings.pictures.png, &settings.pictures.frames, &settings.pictures.spacetime,
        &settings.stats, &settings.netcdf, &settings.checkpoint}) {
    if (!name->empty() && fs::path(*name).is_relative())
      *name = (fs::path(directory) / *name).string();
  }
}

RunDriver::RunDriver(RunSettings settings, std::string_view command, std::string_view unit,
                     const Resume* resume, const RunOutput& output)
    : settings_(Resolved(std::move(settings), resume)),
      command_(command),
      unit_(unit),
      resume_(resume),
      output_(output),
      pictures_(settings_.pictures) {}

int RunDriver::Prepare() {
  if (!resume_ && !settings_.pictures.force) {
    for (const std::string* file : {&settings_.pictures.png, &settings_.pictures.spacetime,
                                    &settings_.stats, &settings_.netcdf, &settings_.checkpoint}) {
      std::error_code error;
      if (!file->empty() && fs::exists(*file, error)) {
        return UsageFault(output_, command_ + ": " + QuoteFile(*file) +
                                       " exists already; add --force to replace it");
      }
    }
  }
  return pictures_.Prepare(output_, command_, resume_ != nullptr);
}

int RunDriver::Run(const RunModel& model, const std::vector<std::string>& canonical,
                   std::span<const std::string> args, const std::string& parameters) {
  model_ = &model;
  if (const int fault = Start(model, canonical, args, parameters)) return fault;
  const SnapshotSchedule& schedule = settings_.schedule;
  std::int64_t done = resume_ ? resume_->data.done : 0;
  InterruptGuard interrupts;
  Progress progress(output_, done, schedule.total, unit_);
  if (!resume_ && !Snapshot(0)) return 1;
  while (done < schedule.total) {
    model.step();
    ++done;
    progress.Update(done);
    if (schedule.IsSnapshot(done) && !Snapshot(done)) return 1;
    if (const int signal = InterruptGuard::Pending(); signal != 0 && done < schedule.total) {
      progress.Clear();
      return Stopped(done, signal);
    }
  }
  return Finish();
}

// Seeds the run, or takes up a recorded one, and opens its files.
int RunDriver::Start(const RunModel& model, const std::vector<std::string>& canonical,
                     std::span<const std::string> args, const std::string& parameters) {
  if (resume_) {
    record_ = resume_->data;
  } else {
    SeedGenerator(model.random, settings_.seedGiven, settings_.seed, output_);
    record_.command = command_;
    record_.args = canonical;
    const std::vector<std::string_view> words(args.begin(), args.end());
    record_.commandLine = CommandLine(command_, words);
    record_.directory = CurrentFolder();
    record_.seed = model.random.state;
  }
  record_.version = Version();
  record_.parameters = parameters;
  record_.total = settings_.schedule.total;
  provenance_ = MakeProvenance(record_.commandLine, record_.seed, parameters);
  pictures_.SetPictureSeed(PictureSeed(record_.seed));
  if (resume_ && !Fits(model)) return 1;
  if (!OpenFiles(model)) return 1;
  if (resume_) Restore();
  return 0;
}

// A checkpoint whose checksum holds can still name another bed than its options make: its
// array and the rows it carries must be those of this run before anything is put back.
bool RunDriver::Fits(const RunModel& model) const {
  const CheckpointData& data = resume_->data;
  const analysis::Snapshot shape = model.bed();
  const auto alongWind = static_cast<std::size_t>(shape.rows);
  const StatsCarry& carry = data.stats;
  const bool cells = data.cells.size() == model.cells.size();
  const bool stats = !data.hasStats || carry.previousField.empty() ||
                     (carry.rows == shape.rows && carry.columns == shape.columns &&
                      carry.previousField.size() == (alongWind - 1) * shape.columns);
  const bool rows = std::all_of(data.spaceTime.rows.begin(), data.spaceTime.rows.end(),
                                [&](const auto& row) { return row.size() == alongWind; });
  if (cells && stats && rows && data.hasStats == !settings_.stats.empty()) return true;
  std::fprintf(output_.err, "kammelsim: resume: %s does not fit the run it records\n",
               QuoteFile(resume_->path).c_str());
  return false;
}

bool RunDriver::OpenFiles(const RunModel& model) {
  if (!settings_.stats.empty()) {
    stats_.emplace(model.kind, model.jump, model.q, ArrayTotal(model.cells));
    const bool open =
        resume_ ? stats_->Reopen(settings_.stats, record_.statsBytes, record_.stats, output_)
                : stats_->Open(settings_.stats, provenance_, output_);
    if (!open) return false;
  }
  if (settings_.netcdf.empty()) return true;
  const analysis::Snapshot shape = model.bed();
  const NetcdfLayout layout = {model.kind, shape.rows, shape.columns, unit_,
                               !settings_.stats.empty()};
  netcdf_.emplace();
  Provenance provenance = provenance_;
  if (ProvenanceValue(provenance, "Run").empty())
    provenance.push_back({"Run", RecordedRunId(record_)});
  if (!resume_) return netcdf_->Create(settings_.netcdf, layout, provenance, output_);
  const std::string history = ProvenanceValue(provenance, "History");
  return netcdf_->Reopen(settings_.netcdf, layout, record_.netcdfRecords,
                         ProvenanceValue(provenance, "Run"),
                         history.substr(history.rfind('\n') + 1), output_);
}

// Puts back the array and the generators as the checkpoint holds them.
void RunDriver::Restore() {
  const CheckpointData& data = resume_->data;
  std::copy(data.cells.begin(), data.cells.end(), model_->cells.begin());
  model_->random.state = data.modelState;
  pictures_.SetPictureSeed(data.pictureState);
  pictures_.RestoreSpaceTime(data.spaceTime);
}

bool RunDriver::Snapshot(std::int64_t done) {
  const bool last = done == settings_.schedule.total;
  if (stats_ || netcdf_) {
    const analysis::Snapshot bed = model_->bed();
    if (stats_ && !stats_->Snapshot(done, bed, output_)) return false;
    if (netcdf_ && !netcdf_->Snapshot(done, bed, stats_ ? &stats_->Last() : nullptr, output_))
      return false;
  }
  if (!pictures_.Snapshot(model_->view, done, last, output_, provenance_)) return false;
  return SaveCheckpoint(done);
}

bool RunDriver::SaveCheckpoint(std::int64_t done) {
  if (settings_.checkpoint.empty()) return true;
  CheckpointData& d = record_;
  d.done = done;
  d.modelState = model_->random.state;
  d.pictureState = pictures_.PictureState();
  d.cells.assign(model_->cells.begin(), model_->cells.end());
  d.hasStats = stats_.has_value();
  if (stats_) {
    d.stats = stats_->Carry();
    d.statsBytes = stats_->Bytes();
  }
  if (netcdf_) {
    if (!netcdf_->Sync(output_)) return false;
    d.netcdfRecords = netcdf_->Records();
  }
  d.spaceTime = pictures_.SpaceTimeState();
  std::string error;
  if (WriteCheckpoint(settings_.checkpoint, d, error)) return true;
  std::fprintf(output_.err, "kammelsim: cannot write '%s': %s\n", settings_.checkpoint.c_str(),
               error.c_str());
  return false;
}

// A signal asked the run to stop: what it has made so far is kept, and how to go on is said.
int RunDriver::Stopped(std::int64_t done, int signal) {
  const bool saved = SaveCheckpoint(done);
  const bool closed = (!stats_ || stats_->Close(output_)) &&
                      (!netcdf_ || netcdf_->Close(output_)) &&
                      pictures_.SaveSpaceTime(output_, provenance_);
  if (!saved || !closed) return 1;
  const std::string where =
      std::to_string(done) + " of " + std::to_string(settings_.schedule.total) + " " + unit_;
  if (settings_.checkpoint.empty()) {
    std::fprintf(output_.err,
                 "kammelsim: stopped after %s; without --checkpoint it cannot be continued\n",
                 where.c_str());
  } else {
    const std::string_view file = settings_.checkpoint;
    std::fprintf(output_.err, "kammelsim: stopped after %s; continue with: %s\n", where.c_str(),
                 CommandLine("resume", std::span(&file, 1)).c_str());
  }
  return InterruptGuard::ExitStatus(signal);
}

int RunDriver::Finish() {
  if ((stats_ && !stats_->Close(output_)) || (netcdf_ && !netcdf_->Close(output_))) return 1;
  if (!model_->writeHeights(output_.out)) return WriteFault(output_, "the heights");
  return 0;
}

}  // namespace kammelsim
