#include "kammelsim/run/RunDriver.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/Bytes.h"
#include "kammelsim/io/File.h"
#include "kammelsim/output/Provenance.h"
#include "kammelsim/run/Interrupts.h"
#include "kammelsim/run/Progress.h"

namespace kammelsim {
namespace {

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

}  // namespace

RunDriver::RunDriver(RunSettings settings, std::string_view command, std::string_view unit,
                     const Resume* resume, const RunOutput& output)
    : resume_(resume),
      output_(output),
      settings_(Resolved(std::move(settings), resume, places_, resolveError_)),
      command_(command),
      unit_(unit),
      pictures_(settings_.pictures),
      lock_(resume && resume->lock ? resume->lock : std::make_shared<RunLock>()) {}

// A continued run writes where its checkpoint records, resolved against where the checkpoint
// lies now, and its checkpoints where it was continued from.
RunSettings RunDriver::Resolved(RunSettings settings, const Resume* resume, OutputPlaces& places,
                                std::string& error) {
  if (!resume) return settings;
  settings.checkpoint = resume->path;
  PlaceRecordedOutputs(resume->data.outputs, resume->path, resume->allowOutside, settings, places,
                       error);
  return settings;
}

int RunDriver::Prepare(const std::vector<std::string>& recorded,
                       std::span<const std::string> args) {
  if (!resolveError_.empty()) {
    std::fprintf(output_.err, "kammelsim: resume: %s\n", resolveError_.c_str());
    return 1;
  }
  return resume_ ? PrepareResume() : PrepareNew(recorded, args);
}

namespace {

// A checkpoint's texts alone, for Recordable: the arrays are the run's, and always fit.
CheckpointData TextsOf(const CheckpointData& data) {
  CheckpointData texts;
  texts.version = data.version;
  texts.command = data.command;
  texts.commandLine = data.commandLine;
  texts.args = data.args;
  texts.runId = data.runId;
  texts.history = data.history;
  texts.outputs = data.outputs;
  texts.parameters = data.parameters;
  return texts;
}

}  // namespace

// A new run replaces no file that exists unless told to, records only what its checkpoint can
// hold, and clears what killed runs of the same outputs left half written.
int RunDriver::PrepareNew(const std::vector<std::string>& recorded,
                          std::span<const std::string> args) {
  const std::vector<std::string_view> words(args.begin(), args.end());
  recordedArgs_ = recorded;
  commandLine_ = CommandLine(command_, words);
  std::string error;
  if (!settings_.checkpoint.empty()) {
    CheckpointData texts;
    texts.version = Version();
    texts.command = command_;
    texts.commandLine = commandLine_;
    texts.args = recordedArgs_;
    texts.history = {HistoryLine(commandLine_, 0, settings_.schedule.total, unit_)};
    texts.initial.name = settings_.initial;
    if (!Recordable(texts, error))
      return UsageFault(output_, command_ + ": a checkpoint cannot hold this run: " + error);
    if (!lock_->LockName(settings_.checkpoint, error) ||
        !lock_->LockCheckpoint(settings_.checkpoint, true, nullptr, error)) {
      std::fprintf(output_.err, "kammelsim: %s: %s\n", command_.c_str(), error.c_str());
      return 1;
    }
  }
  const int fault = PlaceNew();
  if (fault != 0 && !settings_.checkpoint.empty()) lock_->DropName(settings_.checkpoint);
  return fault;
}

namespace {

// /dev/stderr leads through /proc/self/fd/2 to whatever the stream is; --force would then
// replace the system's link itself. True if a hop of the link's chain names a process's files.
bool LeadsToOpenFile(const io::Place& place) {
  std::string hop = place.name;
  for (int hops = 0; hops < 8; ++hops) {
    char text[4096];
    const ssize_t size = ::readlinkat(place.Dir(), hop.c_str(), text, sizeof text - 1);
    if (size <= 0) return false;
    const std::string to(text, static_cast<std::size_t>(size));
    if (to.starts_with("/dev/fd/") || to.starts_with("/dev/std") ||
        (to.starts_with("/proc/") && to.find("/fd/") != std::string::npos))
      return true;
    const std::size_t slash = hop.rfind('/');
    hop = to.starts_with('/') || slash == std::string::npos ? to : hop.substr(0, slash + 1) + to;
  }
  return false;
}

// Outputs go to files. A device or socket under an output's name, or a link that leads to one,
// to a FIFO or to a process's open file (/dev/stdout), is never replaced, --force or not; nor is a
// lock file. Empty for a name an output may take.
std::string NotForOutput(const io::Place& place) {
  if (IsLockName(place.name)) return "is a name kammelsim keeps for its locks";
  struct stat status {};
  if (!io::StatusOf(place, status)) return {};
  const auto special = [](const struct stat& s) {
    return S_ISCHR(s.st_mode) || S_ISBLK(s.st_mode) || S_ISSOCK(s.st_mode);
  };
  if (special(status)) return "is " + io::KindOf(status) + "; outputs go to files only";
  struct stat target {};
  if (S_ISLNK(status.st_mode) && ::fstatat(place.Dir(), place.name.c_str(), &target, 0) == 0 &&
      (special(target) || S_ISFIFO(target.st_mode))) {
    return "leads to " + io::KindOf(target) + "; outputs go to files only";
  }
  if (S_ISLNK(status.st_mode) && LeadsToOpenFile(place))
    return "leads to a process's open file; outputs go to files only";
  return {};
}

}  // namespace

// Each output's name is checked once this run holds it, so that two runs started together
// cannot both find it free.
int RunDriver::ClaimNew() {
  const OutputPlaces& p = places_;
  const io::Place* files[] = {&p.pictures.png, &p.pictures.spacetime, &p.stats,
                              &p.netcdf,       &p.checkpoint,         &p.heights};
  for (const io::Place* file : files) {
    if (file->Empty()) continue;
    if (const std::string why = NotForOutput(*file); !why.empty())
      return UsageFault(output_, command_ + ": " + QuoteFile(file->shown) + " " + why);
  }
  std::string error;
  if (!lock_->LockOutputs(places_, error)) {
    std::fprintf(output_.err, "kammelsim: %s: %s\n", command_.c_str(), error.c_str());
    return 1;
  }
  for (const io::Place* file : files) {
    if (!settings_.force && !file->Empty() && io::Exists(*file)) {
      return UsageFault(output_, command_ + ": " + QuoteFile(file->shown) +
                                     " exists already; add --force to replace it");
    }
  }
  return 0;
}

int RunDriver::PlaceNew() {
  std::string error;
  if (!PlaceNewOutputs(settings_, places_, recordedOutputs_, error)) {
    std::fprintf(output_.err, "kammelsim: %s\n", error.c_str());
    return 1;
  }
  for (const io::Place* file : {&places_.heights, &places_.checkpoint}) {
    if (!file->Empty() && !io::FolderTakes(*file))
      return WriteFault(output_, QuoteFile(file->shown));
  }
  if (!DistinctOutputs(places_, error)) return UsageFault(output_, command_ + ": " + error);
  if (const int fault = ClaimNew()) return fault;
  const OutputPlaces& p = places_;
  // --force replaces a file whole, so a run still appending to it would go on writing into
  // one that no name leads to: its run is lost.
  for (const io::Place* file :
       {&p.stats, &p.netcdf, &p.pictures.png, &p.pictures.spacetime, &p.heights}) {
    if (!file->Empty() && (io::InUse(*file) || io::FolderInUse(*file))) {
      std::fprintf(output_.err, "kammelsim: %s: %s\n", command_.c_str(),
                   LockFault(file->shown, EWOULDBLOCK).c_str());
      return 1;
    }
  }
  pictures_.SetPlaces(places_.pictures);
  if (const Outcome fault = pictures_.Prepare()) return Say(output_, *fault, command_);
  for (const io::Place* file :
       {&p.pictures.png, &p.pictures.spacetime, &p.stats, &p.netcdf, &p.checkpoint, &p.heights}) {
    if (!file->Empty()) io::RemoveLeftovers(*file);
  }
  return 0;
}

// A resume holds the checkpoint's name and the run's id before it reads any output, and asks
// nothing of the run that its checkpoint could not record or its space-time view not draw.
int RunDriver::PrepareResume() {
  const CheckpointData& data = resume_->data;
  if (const int fault = LockResume()) return fault;
  pictures_.SetPlaces(places_.pictures);
  if (data.done == settings_.schedule.total) return 0;
  if (std::string error; !lock_->LockOutputs(places_, error)) {
    std::fprintf(output_.err, "kammelsim: resume: %s\n", error.c_str());
    return 1;
  }
  CheckpointData texts = TextsOf(data);
  texts.history.push_back(
      HistoryLine(resume_->commandLine, data.done, settings_.schedule.total, unit_));
  std::string why;
  if (!Recordable(texts, why))
    return UsageFault(output_, "resume: " + QuoteFile(resume_->path) +
                                   " cannot record another "
                                   "stretch of its run: " +
                                   why);
  const SnapshotSchedule& s = settings_.schedule;
  const std::int64_t rows = static_cast<std::int64_t>(data.spaceTime.rows.size()) +
                            s.frames.Count(s.total) - s.frames.CountUpTo(data.done);
  if (!settings_.pictures.spacetime.empty() && rows > SpaceTime::kMaxRows) {
    return UsageFault(output_, "resume: --spacetime draws at most " +
                                   std::to_string(SpaceTime::kMaxRows) + " snapshots; to " +
                                   std::to_string(s.total) + " " + unit_ + " this run would have " +
                                   std::to_string(rows) + "; choose a smaller total");
  }
  return 0;
}

// The name's and the run's locks. A complete run is only checked: where no lock file can be
// made (a read-only file system), the lock on its checkpoint file is enough.
int RunDriver::LockResume() {
  const CheckpointData& data = resume_->data;
  const bool complete = data.done == settings_.schedule.total;
  std::string error;
  for (int lock = 0; lock < 2; ++lock) {
    const bool locked = lock == 0 ? lock_->LockName(resume_->path, error)
                                  : lock_->LockRun(resume_->path, data.runId, error);
    if (locked || (complete && errno == EROFS)) continue;
    std::fprintf(output_.err, "kammelsim: resume: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

// A new run that failed before any checkpoint of its own was written (on a full disk, say)
// leaves no lock file under the checkpoint's name.
int RunDriver::Run(const RunModel& model, const std::vector<Parameter>& parameters) {
  const int status = RunOn(model, parameters);
  if (status != 0 && !resume_ && !settings_.checkpoint.empty())
    lock_->DropName(settings_.checkpoint);
  return status;
}

int RunDriver::RunOn(const RunModel& model, const std::vector<Parameter>& parameters) {
  model_ = &model;
  // From before the first output exists: a signal while they are made still stops the run
  // with a checkpoint to go on from, rather than leaving outputs no checkpoint covers.
  InterruptGuard interrupts;
  const std::string now = ParametersText(parameters);
  if (resume_ && !resume_->changed.empty())
    change_ = ParameterChanges(resume_->data.parameters, now, resume_->changed);
  Record(model);
  record_.parameters = now;
  provenance_ = MakeProvenance(record_.commandLine, record_.seed, parameters, record_.runId,
                               record_.history, record_.initial);
  if (resume_) {
    if (record_.done == record_.total) return Completed();
    if (const int fault = Continue(model)) return fault;
    lastCheckpoint_ = std::chrono::steady_clock::now();
  } else if (!OpenNew(model)) {
    return 1;
  }
  const std::string why = model.columns
                              ? analysis::MeaninglessStart(model.columns(), model.jump, model.q)
                              : analysis::MeaninglessStart(model.bed(), model.jump, model.q);
  if (!why.empty()) {
    std::fprintf(output_.err, "kammelsim: %s: warning: %s\n", resume_ ? "resume" : command_.c_str(),
                 why.c_str());
  }
  const SnapshotSchedule& schedule = settings_.schedule;
  std::int64_t done = record_.done;
  Progress progress(output_, done, schedule.total, unit_);
  if (!resume_ && !Snapshot(0)) return 1;
  while (done < schedule.total) {
    if (const int signal = InterruptGuard::Pending(); signal != 0) {
      progress.Clear();
      return Stopped(done, signal);
    }
    {
      const InterruptGuard::Stepping stepping;
      model.step();
    }
    ++done;
    progress.Update(done);
    if (!(schedule.IsSnapshot(done) ? Snapshot(done) : Between(done))) return 1;
  }
  return Finish();
}

// What every checkpoint of the run repeats: a new run's seed, identity and outputs, or the
// recorded run with this resume added to its history.
void RunDriver::Record(const RunModel& model) {
  const std::int64_t total = settings_.schedule.total;
  if (resume_) {
    record_ = resume_->data;
    // Its checkpoints take the model's array; the one read stays with the resume.
    record_.cells = {};
    record_.inFile = {};
    if (record_.done < total) record_.history.push_back(ResumeHistoryLine());
    if (!change_.empty()) {
      record_.changes.push_back("at " + std::to_string(record_.done) + " " + unit_ + ": " +
                                change_);
    }
  } else {
    SeedGenerator(model.random, settings_.seedGiven, settings_.seed, output_);
    record_.command = command_;
    record_.args = recordedArgs_;
    record_.commandLine = commandLine_;
    record_.runId = NewRunId();
    record_.history = {HistoryLine(record_.commandLine, 0, total, unit_)};
    record_.seed = model.random.state;
    if (!settings_.checkpoint.empty()) record_.outputs = recordedOutputs_;
    record_.initial = settings_.initialRecord;
  }
  record_.total = total;
  record_.version = Version();
  pictures_.SetPictureSeed(PictureSeed(record_.seed));
}

// The resume's line of the history, with the parameters it changed.
std::string RunDriver::ResumeHistoryLine() const {
  const std::string line =
      HistoryLine(resume_->commandLine, resume_->data.done, settings_.schedule.total, unit_);
  return change_.empty() ? line : line + " with " + ProvenanceText(change_);
}

std::pair<int, int> RunDriver::Shape(const RunModel& model) const {
  if (model.columns) {
    const analysis::ColumnHeights heights = model.columns();
    return {heights.rows, heights.columns};
  }
  const analysis::Snapshot shape = model.bed();
  return {shape.rows, shape.columns};
}

NetcdfLayout RunDriver::Layout(const RunModel& model) const {
  const auto [rows, columns] = Shape(model);
  return {model.kind, rows, columns, unit_, !settings_.stats.empty(), true, settings_.speedLag};
}

bool RunDriver::OpenNew(const RunModel& model) {
  if (!settings_.stats.empty()) {
    stats_.emplace(model.kind, model.jump, model.q, static_cast<double>(io::Sand(model.cells)));
    if (!Fine(stats_->Open(places_.stats, provenance_, settings_.speedLag))) return false;
  }
  if (!settings_.checkpoint.empty()) {
    // The run's id, which every copy of its checkpoint carries, is held in its folder.
    std::string error;
    if (!lock_->LockRun(settings_.checkpoint, record_.runId, error)) {
      std::fprintf(output_.err, "kammelsim: %s: %s\n", command_.c_str(), error.c_str());
      return false;
    }
  }
  if (settings_.netcdf.empty()) return true;
  netcdf_.emplace();
  return Fine(netcdf_->Create(places_.netcdf, Layout(model), provenance_));
}

RunDriver::~RunDriver() = default;

bool RunDriver::Fine(const Outcome& outcome) const {
  if (!outcome) return true;
  Say(output_, *outcome, command_);
  return false;
}

// The statistics and the data file from a copy of the heights, beside the next batches; the
// pictures here, as they draw the model itself.
bool RunDriver::Snapshot(std::int64_t done) {
  const SnapshotSchedule& s = settings_.schedule;
  const bool last = done == s.total;
  const bool stats = stats_ && s.stats.IsSnapshot(done, s.total);
  const bool netcdf = netcdf_ && s.netcdf.IsSnapshot(done, s.total);
  if ((stats || netcdf) && InPlace()) {
    if (!RecordInPlace(done, stats, netcdf)) return false;
  } else if (stats || netcdf) {
    if (!worker_) worker_.emplace();
    auto bed = std::make_shared<const analysis::Snapshot>(model_->bed());
    worker_->Submit(
        [this, bed, done, stats, netcdf] { return RecordSnapshot(done, *bed, stats, netcdf); });
  }
  if (!stats) TakeReference(done);
  if (last || s.frames.IsSnapshot(done, s.total)) {
    if (!Fine(pictures_.Snapshot(model_->view, done, last, provenance_))) return false;
  }
  if (worker_ && worker_->Failed()) return DrainOutputs();
  heightsInPlace_ = last && InPlace() && model_->heightPieces;
  if (last && !heightsInPlace_) heightsText_ = model_->heights();
  return !CheckpointDue(done, true) || SaveCheckpoint(done);
}

// A batch or step that no output takes a snapshot after: speed's reference may lie there, and
// a checkpoint once its interval has passed.
bool RunDriver::Between(std::int64_t done) {
  TakeReference(done);
  if (worker_ && worker_->Failed()) return DrainOutputs();
  return !CheckpointDue(done, false) || SaveCheckpoint(done);
}

// The heights speed's lag before the next statistics snapshot, which it is measured against;
// none where the snapshot before is as near.
void RunDriver::TakeReference(std::int64_t done) {
  const SnapshotSchedule& s = settings_.schedule;
  const std::int64_t lag = settings_.speedLag;
  if (!stats_ || lag == 0 || done >= s.total || s.stats.Next(done, s.total) - done != lag) return;
  if (InPlace()) {
    // Waits for the snapshots before, which measure against what comes before this.
    if (DrainOutputs()) stats_->Reference(done, model_->columns());
    return;
  }
  if (!worker_) worker_.emplace();
  auto bed = std::make_shared<const analysis::Snapshot>(model_->bed());
  worker_->Submit([this, bed, done] { return stats_->Reference(done, *bed); });
}

// A bed too large to copy is measured and written where it lies, the run waiting for it.
bool RunDriver::InPlace() const {
  if (!model_->columns) return false;
  const analysis::ColumnHeights heights = model_->columns();
  return analysis::Bounded(model_->kind, heights.rows, heights.columns);
}

bool RunDriver::RecordInPlace(std::int64_t done, bool stats, bool netcdf) {
  return DrainOutputs() && Fine(RecordSnapshot(done, model_->columns(), stats, netcdf));
}

template <class Heights>
Outcome RunDriver::RecordSnapshot(std::int64_t done, const Heights& bed, bool stats, bool netcdf) {
  if (stats) {
    if (Outcome fault = stats_->Snapshot(done, bed)) return fault;
  }
  if (!netcdf) return std::nullopt;
  return netcdf_->Snapshot(done, bed, stats ? &stats_->Last() : nullptr);
}

// Waits for the snapshots handed over, and says what failed there.
bool RunDriver::DrainOutputs() {
  if (!worker_) return true;
  const bool written = worker_->Drain();
  return Fine(worker_->TakeFault()) && written;
}

// A checkpoint at the start and the end, and between them at the first batch or step after
// the interval has passed, snapshot or not (interval 0: at every snapshot): the largest bed's
// takes tens of milliseconds with its sync.
bool RunDriver::CheckpointDue(std::int64_t done, bool snapshot) const {
  if (settings_.checkpoint.empty()) return false;
  if (done == 0 || done == settings_.schedule.total) return true;
  if (settings_.checkpointInterval == 0) return snapshot;
  const auto since = std::chrono::steady_clock::now() - lastCheckpoint_;
  return since >= std::chrono::seconds(settings_.checkpointInterval);
}

// What a checkpoint records must be on disk before it: a crash right after the checkpoint
// then finds every output as long as it says.
bool RunDriver::SyncOutputs() {
  return (!stats_ || Fine(stats_->Sync())) && (!netcdf_ || Fine(netcdf_->Sync())) &&
         Fine(pictures_.Sync());
}

bool RunDriver::SaveCheckpoint(std::int64_t done) {
  if (!DrainOutputs()) return false;
  if (settings_.checkpoint.empty()) return true;
  if (!SyncOutputs()) return false;
  lastCheckpoint_ = std::chrono::steady_clock::now();
  CheckpointData& d = record_;
  d.done = done;
  d.modelState = model_->random.state;
  d.pictureState = pictures_.PictureState();
  d.liveCells = model_->cells;
  d.hasStats = stats_.has_value();
  if (stats_) {
    d.stats = stats_->Carry();
    d.statsBytes = stats_->Bytes();
    d.statsCrc = stats_->Crc();
  }
  if (netcdf_) {
    const NetcdfRecord data = netcdf_->Record(d.runId);
    d.netcdfRecords = data.records;
    d.netcdfHeaderCrc = data.headerCrc;
    d.netcdfRecordsCrc = data.recordsCrc;
  }
  d.spaceTime = pictures_.SpaceTimeState();
  if (!RecordHeights(done)) return false;
  std::string error;
  io::File written;
  if (WriteCheckpoint(places_.checkpoint, d, error, &written)) {
    lock_->KeepCheckpoint(std::move(written));
    return true;
  }
  return Fine(WriteFailed(QuoteFile(settings_.checkpoint), error));
}

// The heights file an earlier end of a continued run wrote stays, and stays recorded, until
// this end replaces it: a stop on the way must find it this run's. At the end it goes before
// the checkpoint that records the new one, so a crash between the two leaves none to refuse.
bool RunDriver::RecordHeights(std::int64_t done) {
  CheckpointData& d = record_;
  if (done != settings_.schedule.total || settings_.heights.empty()) return true;
  if (d.heightsWritten && !(io::RemoveAt(places_.heights) && io::SyncFolderOf(places_.heights))) {
    WriteFault(output_, QuoteFile(settings_.heights));
    return false;
  }
  d.heightsWritten = true;
  if (!heightsInPlace_) {
    d.heightsCrc = io::Crc32(heightsText_);
    return true;
  }
  std::uint32_t crc = 0;
  model_->heightPieces([&crc](std::string_view piece) {
    crc = io::Crc32(piece, crc);
    return true;
  });
  d.heightsCrc = crc;
  return true;
}

// A signal asked the run to stop: what it has made so far is kept, and how to go on is said.
int RunDriver::Stopped(std::int64_t done, int signal) {
  const bool saved = SaveCheckpoint(done);
  const bool closed = (!stats_ || Fine(stats_->Close())) && (!netcdf_ || Fine(netcdf_->Close())) &&
                      Fine(pictures_.SaveSpaceTime(provenance_));
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
  if (!DrainOutputs()) return 1;
  if ((stats_ && !Fine(stats_->Close())) || (netcdf_ && !Fine(netcdf_->Close()))) return 1;
  return (heightsInPlace_ ? WriteHeights(model_->heightPieces) : WriteHeights(heightsText_)) ? 0
                                                                                             : 1;
}

bool RunDriver::WriteHeights(const std::string& text) {
  return WriteHeights([&text](const TextSink& put) { return put(text); });
}

bool RunDriver::WriteHeights(const std::function<bool(const TextSink& put)>& pieces) {
  if (settings_.heights.empty()) {
    const bool written = pieces([this](std::string_view piece) {
      return std::fwrite(piece.data(), 1, piece.size(), output_.out) == piece.size();
    });
    if (written && std::fflush(output_.out) == 0) return true;
    WriteFault(output_, "the heights");
    return false;
  }
  const auto write = [&pieces](io::File& file) {
    return pieces([&file](std::string_view piece) { return file.Write(piece); });
  };
  if (io::ReplaceFileWith(places_.heights, write, true)) return true;
  WriteFault(output_, QuoteFile(settings_.heights));
  return false;
}

}  // namespace kammelsim
