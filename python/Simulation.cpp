#include "python/Simulation.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "common/Random.h"
#include "kammelsim/RecordedRun.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/cli/RunOptions.h"
#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/Bytes.h"
#include "kammelsim/io/Place.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/Provenance.h"
#include "kammelsim/output/pictures/Pictures.h"
#include "kammelsim/params/Bed.h"
#include "kammelsim/params/Profile.h"
#include "kammelsim/params/Record.h"
#include "kammelsim/params/Run.h"
#include "kammelsim/params/Stats.h"
#include "kammelsim/run/CheckpointFit.h"
#include "kammelsim/run/RunFolder.h"
#include "python/Arguments.h"
#include "python/Bed.h"
#include "python/Interrupts.h"
#include "python/Profile.h"
#include "python/Statistics.h"

namespace kammelpy {
namespace {

namespace ks = kammelsim;

// The layer draws through module state: one picture at a time in the whole process.
std::mutex drawing;

unsigned long mainThread = 0;

// Waits for a lock without the GIL: its holder may need the GIL to let go.
std::unique_lock<std::mutex> Take(std::mutex& mutex) {
  std::unique_lock lock(mutex, std::try_to_lock);
  if (!lock.owns_lock()) {
    py::gil_scoped_release free;
    lock.lock();
  }
  return lock;
}

// OSError with the runner's message, of the subclass errno names (FileNotFoundError, ...).
[[noreturn]] void FileFault(int code, const std::string& message) {
  const auto type = py::reinterpret_borrow<py::object>(PyExc_OSError);
  const py::object error = code != 0 ? type(code, message) : type(message);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

}  // namespace

bool Scheduling(std::string_view name) {
  using namespace params;
  return name == kEvery.name || name == kStatsEvery.name || name == kNetcdfEvery.name ||
         name == kFramesEvery.name || name == kSpeedLag.name;
}

void NoteMainThread() {
  mainThread =
      py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
}

namespace {

// Every object built, by address: one Python made with __new__ alone was never built, and its
// address, whatever Python holds there, is not among them.
std::mutex living;
std::unordered_set<const Simulation*> built;

}  // namespace

Simulation::Simulation(params::Values values, const Kind& kind)
    : values_(std::move(values)), kind_(kind) {
  const std::lock_guard lock(living);
  built.insert(this);
}

Simulation::~Simulation() {
  {
    const std::lock_guard lock(living);
    built.erase(this);
  }
  const std::lock_guard lock(Measuring());  // FFTW's plans go with it
  series_.reset();
}

bool Simulation::Built(const Simulation* object) {
  const std::lock_guard lock(living);
  return built.contains(object);
}

std::unique_lock<std::mutex> Simulation::Hold() {
  return Take(busy_);
}

void Simulation::Start(ks::RunModel model, const ks::RunSettings& run) {
  model_.emplace(std::move(model));
  if (run.seedGiven)
    model_->random.state = run.seed;
  else
    common::SeedFromClock(model_->random);
  seed_ = model_->random.state;
  pictureState_ = ks::PictureSeed(seed_);
  initialTotal_ = static_cast<double>(ks::io::Sand(model_->cells));
  runId_ = ks::NewRunId();
}

bool Simulation::Restore(const ks::CheckpointData& data, const ks::SnapshotSchedule& schedule,
                         std::string& why) {
  // The check a resume makes, against this model as the checkpoint's options set it up.
  if (!ks::CheckpointFits(data, *model_, schedule, why)) return false;
  const ks::StatsCarry& carry = data.stats;
  const bool measured = carry.previousDone >= 0;
  if (!ks::CopyCells(data, model_->cells)) {
    why = ks::kChangedWhileRead;
    return false;
  }
  model_->random.state = data.modelState;
  if (model_->resumed) model_->resumed(data.done);
  seed_ = data.seed;
  done_ = data.done;
  recordedDone_ = data.done;
  pictureState_ = data.pictureState;
  runId_ = data.runId;
  history_ = data.history;
  changes_ = data.changes;
  initial_ = data.initial;
  commandLine_ = data.commandLine;
  const std::int64_t sand = initial_.name.empty() ? ks::io::Sand(model_->cells) : initial_.sand;
  initialTotal_ = measured ? carry.initialTotal : static_cast<double>(sand);
  if (measured) {
    const std::lock_guard lock(Measuring());
    series_ =
        std::make_unique<ks::StatsSeries>(model_->kind, model_->jump, model_->q, initialTotal_);
    series_->Restore(carry);
  }
  return true;
}

std::int64_t Simulation::ReadCount(py::handle count) const {
  // The common case without the runner's whole reader, which a loop of run(1) would feel.
  if (PyLong_CheckExact(count.ptr())) {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(count.ptr(), &overflow);
    if (overflow == 0 && value >= 0 && value <= params::kMaxRunLength) return value;
  }
  params::Values more(params::Voice::Python);
  Put(more, TotalOption(), count);
  return Read(more).run.schedule.total;
}

void Simulation::Run(py::handle count) {
  std::int64_t left = ReadCount(count);
  auto hold = Hold();
  const bool main = PyThread_get_thread_ident() == mainThread;
  std::optional<InterruptWatch> watch;
  if (main) watch.emplace();
  while (left > 0) {
    bool signalled = false;
    {
      py::gil_scoped_release free;
      for (; left > 0 && !signalled; --left) {
        model_->step();
        done_.fetch_add(1);
        signalled = main && InterruptWatch::Take();
      }
    }
    if (!signalled) continue;
    // Python's handler may use this object: it is whole, and free, while the handler runs.
    hold.unlock();
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    hold = Hold();
  }
}

// A bed too large to copy at each read: its array, as the statistics measure it in place.
std::optional<analysis::ColumnHeights> Simulation::Large() const {
  if (!model_->columns) return std::nullopt;
  const analysis::ColumnHeights heights = model_->columns();
  if (!analysis::Bounded(model_->kind, heights.rows, heights.columns)) return std::nullopt;
  return heights;
}

py::array Simulation::Heights(py::handle owner) {
  const auto hold = Hold();
  if (const std::optional<analysis::ColumnHeights> large = Large()) {
    // A read-only view, which keeps owner (and so the array) alive as long as it lives.
    constexpr auto cell = static_cast<py::ssize_t>(sizeof(std::int32_t));
    py::array view(py::dtype::of<std::int32_t>(), {large->rows, large->columns},
                   {cell, large->stride * cell}, large->first, owner);
    view.attr("setflags")(py::arg("write") = false);
    return view;
  }
  const analysis::Snapshot snapshot = model_->bed();
  py::array_t<std::int32_t> heights =
      model_->kind == analysis::Model::Bed
          ? py::array_t<std::int32_t>({snapshot.rows, snapshot.columns})
          : py::array_t<std::int32_t>(snapshot.rows);
  std::copy(snapshot.cells.begin(), snapshot.cells.end(), heights.mutable_data());
  heights.attr("setflags")(py::arg("write") = false);
  return heights;
}

py::dict Simulation::Statistics() {
  const auto hold = Hold();
  const std::int64_t done = done_;
  if (measuredDone_ != done) {
    const std::optional<analysis::ColumnHeights> large = Large();
    const analysis::Snapshot snapshot = large ? analysis::Snapshot{} : model_->bed();
    py::gil_scoped_release free;
    const std::lock_guard lock(Measuring());
    if (!series_) {
      series_ =
          std::make_unique<ks::StatsSeries>(model_->kind, model_->jump, model_->q, initialTotal_);
    }
    if (series_->Carry().previousDone == done) {
      // Measured here already, by the run that wrote the checkpoint: without that row, this
      // one has nothing to take speed against, and the series stays as that run left it.
      ks::StatsSeries alone(model_->kind, model_->jump, model_->q, initialTotal_);
      measured_ = large ? alone.Measure(done, *large) : alone.Measure(done, snapshot);
    } else {
      measured_ = large ? series_->Measure(done, *large) : series_->Measure(done, snapshot);
    }
    measuredDone_ = done;
  }
  py::dict row;
  row[std::string(kind_.one).c_str()] = done;
  for (const auto& [name, value] : Row(model_->kind, measured_))
    row[name] = value;
  return row;
}

jheadless::Picture Simulation::Draw(py::handle canvas, py::handle threshold) {
  params::Values more(params::Voice::Python);
  PutCanvas(more, canvas);
  Put(more, params::BedOptions<model3d::MapSettings>::threshold, threshold);
  const Reading reading = Read(more);
  const auto hold = Hold();
  const ks::View view = ViewWith(reading.threshold);
  common::Random sparkle{pictureState_};  // the same sparkle for the same state, every time
  jheadless::Picture picture;
  {
    py::gil_scoped_release free;
    const std::lock_guard lock(drawing);
    ks::DrawPicture(view, reading.run.pictures.canvasWidth, reading.run.pictures.canvasHeight,
                    sparkle, picture);
  }
  return picture;
}

py::array Simulation::Picture(py::handle canvas, py::handle threshold) {
  const jheadless::Picture picture = Draw(canvas, threshold);
  py::array_t<std::uint8_t> pixels({picture.height, picture.width, 3});
  std::uint8_t* out = pixels.mutable_data();
  for (const std::uint32_t rgb : picture.rgb) {
    *out++ = static_cast<std::uint8_t>(rgb >> 16);
    *out++ = static_cast<std::uint8_t>(rgb >> 8);
    *out++ = static_cast<std::uint8_t>(rgb);
  }
  return pixels;
}

Reading Simulation::ReadDone() const {
  const std::int64_t done = done_;
  params::Values more(params::Voice::Python);
  more.Add(params::kSeed, {std::int64_t{seed_}, std::to_string(seed_)});
  more.Add(TotalOption(), {done, std::to_string(done)});
  return Read(more);
}

ks::CheckpointData Simulation::Checkpoint() {
  const std::int64_t done = done_;
  const Reading reading = ReadDone();
  ks::CheckpointData data;
  data.version = ks::Version();
  data.command = kind_.command;
  data.args = params::RecordedOptions(reading.args);
  // The command line that makes the same state, for the provenance of what continues it.
  const std::vector<std::string_view> args(data.args.begin(), data.args.end());
  data.commandLine = commandLine_.empty() ? ks::CommandLine(kind_.command, args) : commandLine_;
  data.runId = runId_;
  data.history = history_;
  if (done > recordedDone_ || !pendingChange_.empty()) data.history.push_back(StretchLine(done));
  data.changes = changes_;
  data.initial = initial_;
  data.parameters = ks::ParametersText(reading.parameters);
  data.seed = seed_;
  data.done = data.total = done;
  data.modelState = model_->random.state;
  data.pictureState = pictureState_;
  data.liveCells = model_->cells;  // written while held
  // No statistics file to resume, but what the statistics carry comes back with load().
  data.hasStats = false;
  if (series_) {
    const std::lock_guard lock(Measuring());
    data.stats = series_->Carry();
  } else {
    data.stats.initialTotal = initialTotal_;
  }
  return data;
}

void Simulation::Save(const std::string& path, bool overwrite) {
  const auto hold = Hold();
  const ks::CheckpointData data = Checkpoint();
  std::string error;
  bool written = false, existed = false;
  int code = 0;
  {
    py::gil_scoped_release free;
    // A checkpoint a kammelsim run or resume holds is not written over under it.
    ks::RunLock lock;
    const bool locked =
        lock.LockName(path, error) && lock.LockCheckpoint(path, true, nullptr, error);
    code = errno;
    // Looked at under the lock: a stopped run's checkpoint is all that ties it to its outputs.
    existed = locked && !overwrite && ks::io::Exists(path);
    if (locked && !existed) {
      written = ks::WriteCheckpoint(path, data, error);
      code = errno;
    } else if (!locked && code != EWOULDBLOCK) {
      error = std::strerror(code);
    }
    // A save that failed, on a full disk say, leaves no lock file where no checkpoint is.
    if (!written) lock.DropName(path);
  }
  if (existed)
    FileFault(EEXIST, ks::QuoteFile(path) + " exists already; pass overwrite=True to replace it");
  if (!written && code == EWOULDBLOCK) FileFault(code, error);
  if (!written) FileFault(code, ks::WriteFailed(ks::QuoteFile(path), error).Message());
}

// The history's line of what ran since the history's last, with the change it began with.
std::string Simulation::StretchLine(std::int64_t done) const {
  const std::string line = ks::HistoryLine("python3: " + Call(), recordedDone_, done, kind_.unit);
  return pendingChange_.empty() ? line : line + " with " + ks::ProvenanceText(pendingChange_);
}

void Simulation::Change(py::handle b, py::handle wind, py::handle q) {
  const params::Values more =
      Keywords(params::ProfileOptions::all, {{"b", b}, {"wind", wind}, {"q", q}});
  // Under the object's lock: another thread's change comes wholly before or after this one.
  const auto hold = Hold();
  const std::string before =
      ks::ParametersText(Read(params::Values(params::Voice::Python)).parameters);
  const std::string after = ks::ParametersText(Read(more).parameters);  // checks the values
  const std::string change = ks::ParameterChanges(before, after, {"b", "wind", "q"});
  if (change.empty()) return;
  const std::int64_t done = done_;
  // What ran so far ran with the parameters before: its line closes here.
  if (done > recordedDone_) {
    history_.push_back(StretchLine(done));
    pendingChange_.clear();
    recordedDone_ = done;
  }
  pendingChange_ += (pendingChange_.empty() ? "" : ", ") + change;
  changes_.push_back("at " + std::to_string(done) + " " + std::string(kind_.unit) + ": " + change);
  Rechange(more);
  measuredDone_ = -1;
}

void Simulation::Remodel(ks::RunModel model) {
  model_.emplace(std::move(model));
  if (!series_) return;
  const std::lock_guard lock(Measuring());
  const ks::StatsCarry carry = series_->Carry();
  series_ = std::make_unique<ks::StatsSeries>(model_->kind, model_->jump, model_->q, initialTotal_);
  series_->Restore(carry);
}

std::string Simulation::Call() const {
  std::string text = "kammel." + std::string(kind_.name) + "(";
  for (const auto& [name, value] : Params())
    text += std::string(py::str(name)) + "=" + std::string(py::repr(value)) + ", ";
  return text + "seed=" + std::to_string(seed_) + ")";
}

std::string Simulation::Repr() const {
  std::string text = "<kammel." + std::string(kind_.name);
  for (const auto& [name, value] : Params())
    text += " " + std::string(py::str(name)) + "=" + std::string(py::repr(value));
  return text + " seed=" + std::to_string(seed_) + " " + std::string(kind_.one) + "=" +
         std::to_string(done_.load()) + ">";
}

// The options of a recorded run that make its model, with its snapshots' schedule, which its
// outputs record: neither its length, seed nor outputs.
params::Values ModelValues(const params::Values& values, std::string_view unit) {
  return values.Only([unit](std::string_view name) {
    return name != unit && (!params::Find(params::kRunOptions, name) || Scheduling(name));
  });
}

// The schedules of a recorded run's options, for the counts its checkpoint may hold.
ks::SnapshotSchedule ScheduleOf(const params::Values& values, const ks::CheckpointData& data) {
  std::string error;
  params::Record record;
  return ks::ReadRunSettings(values, data.total, record, error).schedule;
}

params::Values SeedValues(py::handle seed) {
  params::Values values(params::Voice::Python);
  Put(values, params::kSeed, seed);
  return values;
}

params::Values RecordedSeed(const ks::CheckpointData& data) {
  params::Values values;
  values.Add(params::kSeed, {std::int64_t{data.seed}, std::to_string(data.seed)});
  return values;
}

namespace {

// The checks a resume makes of a decoded checkpoint before it continues it, with its reasons.
std::unique_ptr<Simulation> FromCheckpoint(bool decoded, const ks::CheckpointData& data,
                                           std::string& reason, const std::string& name) {
  std::optional<params::Values> values;
  if (decoded) values = ks::ReadRecord(data, reason);
  std::unique_ptr<Simulation> loaded;
  if (values && data.command == "bed")
    loaded = Bed::FromCheckpoint(data, *values, reason);
  else if (values)
    loaded = Profile::FromCheckpoint(data, *values, reason);
  // The reason names the file's options as the runner takes them: with their dashes.
  if (!loaded) throw py::value_error(name + " " + reason);
  return loaded;
}

}  // namespace

std::unique_ptr<Simulation> Load(const std::string& path) {
  errno = 0;
  ks::io::ReadFault fault = ks::io::ReadFault::None;
  // Read in place: a large bed's array goes from the file into the model, never copied whole.
  const auto file = ks::io::HeldFile::Hold(path, ks::kMaxCheckpointBytes, fault);
  if (!file) {
    const bool withErrno =
        fault == ks::io::ReadFault::Missing || fault == ks::io::ReadFault::Failed;
    const int code = withErrno ? errno : 0;
    FileFault(code, "cannot read " + ks::QuoteFile(path) + ": " +
                        ks::io::ReadFaultReason(fault, ks::kMaxCheckpointBytes));
  }
  std::string reason;
  ks::CheckpointData data;
  return FromCheckpoint(ks::DecodeCheckpoint(file, data, reason), data, reason,
                        ks::QuoteFile(path));
}

std::unique_ptr<Simulation> FromState(const std::string& bytes, const std::string& name) {
  std::string reason;
  ks::CheckpointData data;
  return FromCheckpoint(ks::DecodeCheckpoint(bytes, data, reason), data, reason, name);
}

}  // namespace kammelpy
