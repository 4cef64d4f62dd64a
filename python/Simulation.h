// What Python holds: one model's state with its run so far, advanced, measured, drawn and saved
// through the runner's own code.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kammelsim/output/data/StatsOutput.h"
#include "kammelsim/output/pictures/PngFile.h"
#include "kammelsim/params/Reader.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/RunDriver.h"

namespace kammelpy {

namespace py = pybind11;

/// What reading an object's options with a call's gives: the run's settings (its canvas), the
/// map's threshold, and the parameters as the runner's outputs record them.
struct Reading {
  kammelsim::RunSettings run;
  std::int32_t threshold = 0;
  std::vector<kammelsim::Parameter> parameters;
  std::vector<std::string> args;  ///< every option, as a checkpoint records them
};

/// What tells a bed from a profile where the runner and Python name them.
struct Kind {
  std::string_view command;  ///< as kammelsim's command and checkpoint name it: bed, profile
  std::string_view unit;     ///< what a run counts: batches, steps
  std::string_view one;      ///< one of them: the statistics row's first column, repr's counter
  std::string_view name;     ///< the Python class: Bed, Profile
};
inline constexpr Kind kBed{"bed", "batches", "batch", "Bed"};
inline constexpr Kind kProfile{"profile", "steps", "step", "Profile"};

/// A bed or a profile and its run so far. Each call takes the object for itself (another
/// thread's call waits); the long ones without the GIL.
class Simulation {
 public:
  virtual ~Simulation();
  /// Whether object was made by a constructor and lives: Python can make one with __new__
  /// alone, whose memory holds no object.
  static bool Built(const Simulation* object);
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  /// Runs count batches or steps (0..kammelsim::params::kMaxRunLength) without the GIL. A signal
  /// Python handles stops the run at the end of the current one, and Python's handler acts (Ctrl+C
  /// raises KeyboardInterrupt); the object holds every batch or step that ended.
  void Run(py::handle count);
  /// Runs count batches or steps from 0 through kammelsim's own run loop, with its outputs
  /// (stats, netcdf, checkpoint, every, checkpoint_interval: outputs' keys), which kammelsim
  /// resume continues; the checkpoint written, if any, becomes this object's. ValueError for
  /// an object past 0 or what the runner refuses, OSError for an output that fails,
  /// KeyboardInterrupt for a run a signal stopped (with its checkpoint written).
  void RunRecorded(py::handle count, const py::dict& outputs);
  /// Batches or steps done so far; read without waiting for a run.
  std::int64_t Done() const { return done_.load(); }
  std::uint32_t Seed() const { return seed_; }
  /// The heights: a read-only copy, or for a bed too large to copy at each read
  /// (analysis::Bounded) a read-only view onto its array that keeps owner alive.
  py::array Heights(py::handle owner);
  /// The statistics row of the current state, as a run's statistics file would hold it here.
  py::dict Statistics();
  /// The picture the runner would draw now, as (height, width, 3) bytes.
  py::array Picture(py::handle canvas, py::handle threshold);
  /// The whole state as a checkpoint kammelsim resume continues; a file that exists is
  /// replaced only with overwrite (FileExistsError otherwise), as the runner's --force.
  void Save(const std::string& path, bool overwrite);
  /// Gives the model other b, wind or q (None: as it is) from the current batch or step on,
  /// as kammelsim resume --wind does: the history and a saved checkpoint say so.
  void Change(py::handle b, py::handle wind, py::handle q);
  /// The whole state as a checkpoint's bytes: what pickle and copy take (see FromState).
  py::bytes State();
  /// The picture as PNG bytes, for notebooks.
  py::bytes Png(py::handle canvas, py::handle threshold);
  /// What kammelsim's --netcdf would make of this state, without statistics: the dimensions
  /// as (name, length), the global attributes as (name, type, big-endian values) and the
  /// variables as (name, dimension names, type, attributes).
  py::dict DataFile();
  /// The parameters by the constructor's names.
  virtual py::dict Params() const = 0;
  std::string Repr() const;
  /// The call that makes this object anew, as Python would write it.
  std::string Call() const;

 protected:
  /// values are the object's model options (no seed or total).
  Simulation(kammelsim::params::Values values, const Kind& kind);

  /// Sets the seed from the run's settings (or the clock), the model and what statistics need;
  /// called once the state exists.
  void Start(kammelsim::RunModel model, const kammelsim::RunSettings& run);
  /// Takes up a checkpoint's run, with its outputs' schedules; false, saying why, when it does
  /// not fit this model (kammelsim::CheckpointFits).
  bool Restore(const kammelsim::CheckpointData& data, const kammelsim::SnapshotSchedule& schedule,
               std::string& why);

  /// Takes model in place of the one Start was given, of the same state: the statistics go
  /// on from where they were, with its jump and q.
  void Remodel(kammelsim::RunModel model);

  /// The object's options with more, read as the runner reads its command's.
  virtual Reading Read(const kammelsim::params::Values& more) const = 0;
  /// The object's options with more from now on: the model's parameters among them.
  virtual void Rechange(const kammelsim::params::Values& more) = 0;
  /// The option that counts this object's batches or steps.
  virtual const kammelsim::params::Option& TotalOption() const = 0;
  /// How the program draws this state, with the map's threshold.
  virtual kammelsim::View ViewWith(std::int32_t threshold) = 0;

  kammelsim::params::Values values_;
  const Kind& kind_;
  kammelsim::InitialRecord initial_;  ///< the heights it started from; no name: flat

 private:
  std::string StretchLine(std::int64_t done) const;
  std::unique_lock<std::mutex> Hold();
  std::optional<analysis::ColumnHeights> Large() const;
  std::int64_t ReadCount(py::handle count) const;
  /// The options with the seed and the batches or steps done, as a checkpoint records them.
  Reading ReadDone() const;
  kammelsim::CheckpointData Checkpoint();
  jheadless::Picture Draw(py::handle canvas, py::handle threshold);

  std::optional<kammelsim::RunModel> model_;
  std::uint32_t seed_ = 0;
  std::atomic<std::int64_t> done_{0};
  std::int64_t recordedDone_ = 0;     ///< where the history a checkpoint gave this object ends
  std::vector<std::string> changes_;  ///< of its parameters, as a checkpoint records them
  std::string pendingChange_;         ///< what the history's next line is to say of them
  std::string runId_, commandLine_;
  std::vector<std::string> history_;
  std::uint32_t pictureState_ = 0;
  double initialTotal_ = 0;  ///< the whole array's sand: it never changes
  std::unique_ptr<kammelsim::StatsSeries> series_;
  std::int64_t measuredDone_ = -1;  ///< the batch or step of measured_
  analysis::Measures measured_{};
  std::mutex busy_;
};

/// Whether a run option is one of the snapshots' schedule (--every, --speed-lag, ...), which
/// the outputs and checkpoints record, and which an object keeps from the run it took up.
bool Scheduling(std::string_view name);

/// What beds and profiles make of a checkpoint's values and of a seed keyword: the options
/// that make the model with the schedule (neither its total, seed nor other run options), the
/// outputs' schedules, the seed as values.
kammelsim::params::Values ModelValues(const kammelsim::params::Values& values,
                                      std::string_view unit);
kammelsim::SnapshotSchedule ScheduleOf(const kammelsim::params::Values& values,
                                       const kammelsim::CheckpointData& data);
kammelsim::params::Values SeedValues(py::handle seed);
kammelsim::params::Values RecordedSeed(const kammelsim::CheckpointData& data);

/// kammel.load: the bed or profile a checkpoint holds.
std::unique_ptr<Simulation> Load(const std::string& path);
/// The bed or profile of a checkpoint's bytes; what fails names the file as name says it.
std::unique_ptr<Simulation> FromState(const std::string& bytes, const std::string& name);

/// What a checkpoint file records of its run: its provenance, how far it got and its outputs
/// (each as recorded: relative to the checkpoint's folder, or absolute); ValueError, with the
/// runner's reason, for a file that cannot be read or is no checkpoint.
py::dict CheckpointRecord(const std::string& path);

/// Whether this is the interpreter's main thread, the one Python runs signal handlers on.
void NoteMainThread();

}  // namespace kammelpy
