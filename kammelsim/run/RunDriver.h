// The loop every kammelsim run shares, whichever model it runs: snapshots and their outputs,
// checkpoints, progress, and a stop asked for by signal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/RippleStatistics.h"
#include "common/Random.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/data/NetcdfOutput.h"
#include "kammelsim/output/data/StatsOutput.h"
#include "kammelsim/output/pictures/Pictures.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/OutputWorker.h"
#include "kammelsim/run/RunFolder.h"
#include "kammelsim/run/RunSettings.h"

namespace kammelsim {

/// Takes the next piece of a text; false when it could not be written.
using TextSink = std::function<bool(std::string_view piece)>;

/// What a run needs of its model.
struct RunModel {
  analysis::Model kind;
  std::function<void()> step;               ///< one batch or step
  std::span<std::int32_t> cells;            ///< the whole array, guards included
  common::Random& random;                   ///< the model's generator
  View view;                                ///< how the program draws it
  std::function<analysis::Snapshot()> bed;  ///< the heights a snapshot records
  analysis::JumpLength jump;
  std::int32_t q;
  std::function<std::string()> heights;  ///< the heights as the run prints them at its end
  /// What the model keeps beside its array and generator, set again for a run resumed after
  /// done batches or steps; none when it keeps nothing.
  std::function<void(std::int64_t done)> resumed = {};
  /// A bed's array as it stands, read in place; none for a profile.
  std::function<analysis::ColumnHeights()> columns = {};
  /// heights' text handed over in pieces; false when a piece could not be written. A bed's.
  std::function<bool(const TextSink& put)> heightPieces = {};
};

/// A run recorded in a checkpoint, to be continued.
struct Resume {
  CheckpointData data;      ///< with the total to go to
  std::string path;         ///< the checkpoint file, as the resume names it
  std::string commandLine;  ///< the resume's, for the run's history
  bool allowOutside = false;
  /// The model's parameters the resume gives other values (data.args hold them already): the
  /// run records how they differ from data.parameters.
  std::vector<std::string> changed;
  /// Holds the checkpoint file it was read from (RunLock::LockCheckpoint); the run takes
  /// the rest of its locks into it.
  std::shared_ptr<RunLock> lock;
};

class RunDriver {
 public:
  /// command is bed or profile, unit batches or steps. Opens the headless canvas when the run
  /// draws: before the model's set-up, which places its mapping on the canvas.
  RunDriver(RunSettings settings, std::string_view command, std::string_view unit,
            const Resume* resume, const RunOutput& output);
  ~RunDriver();
  RunDriver(const RunDriver&) = delete;
  RunDriver& operator=(const RunDriver&) = delete;

  /// Takes the run's locks and checks what it will record and its outputs before any work: 0,
  /// or the status after one line on err. recorded holds the options a checkpoint keeps
  /// (params::RecordedOptions), args the command line as given, for the provenance.
  int Prepare(const std::vector<std::string>& recorded, std::span<const std::string> args);

  /// Runs the set-up model to the end, or until a signal stops it; returns the exit status.
  /// parameters are every parameter of the run, as its outputs record them.
  int Run(const RunModel& model, const std::vector<Parameter>& parameters);

 private:
  static RunSettings Resolved(RunSettings settings, const Resume* resume, OutputPlaces& places,
                              std::string& error);
  int RunOn(const RunModel& model, const std::vector<Parameter>& parameters);
  int PrepareNew(const std::vector<std::string>& recorded, std::span<const std::string> args);
  int PlaceNew();
  int ClaimNew();
  int PrepareResume();
  int LockResume();
  void Record(const RunModel& model);
  std::string ResumeHistoryLine() const;
  bool OpenNew(const RunModel& model);
  int Continue(const RunModel& model);
  bool Fits(const RunModel& model) const;
  bool TakeOutputs(const RunModel& model, bool write);
  bool HeightsFileIsOurs() const;
  bool ContinueOutputs();
  void SayAppending() const;
  bool Restore();
  int Completed();
  bool Snapshot(std::int64_t done);
  bool Between(std::int64_t done);
  void TakeReference(std::int64_t done);
  template <class Heights>
  Outcome RecordSnapshot(std::int64_t done, const Heights& bed, bool stats, bool netcdf);
  bool InPlace() const;
  bool RecordInPlace(std::int64_t done, bool stats, bool netcdf);
  std::pair<int, int> Shape(const RunModel& model) const;
  bool DrainOutputs();
  bool CheckpointDue(std::int64_t done, bool snapshot) const;
  bool SyncOutputs();
  bool SaveCheckpoint(std::int64_t done);
  bool RecordHeights(std::int64_t done);
  int Stopped(std::int64_t done, int signal);
  /// Whether all went well; else says the fault, as one line on err.
  bool Fine(const Outcome& outcome) const;
  int Finish();
  bool WriteHeights(const std::function<bool(const TextSink& put)>& pieces);
  bool WriteHeights(const std::string& text);
  NetcdfLayout Layout(const RunModel& model) const;

  const Resume* resume_;
  const RunOutput& output_;
  std::string resolveError_;  ///< why a resume's recorded outputs cannot be used
  OutputPlaces places_;
  RunSettings settings_;
  std::string command_, unit_;
  PictureOutputs pictures_;
  std::shared_ptr<RunLock> lock_;
  RecordedOutputs recordedOutputs_;        ///< a new run's outputs, as its checkpoint records them
  std::vector<std::string> recordedArgs_;  ///< and its options
  std::string commandLine_;
  const RunModel* model_ = nullptr;
  Provenance provenance_;
  CheckpointData record_;        ///< what every checkpoint repeats
  std::string heightsText_;      ///< at the end: what the run prints
  bool heightsInPlace_ = false;  ///< at the end: printed from the bed in pieces instead
  std::optional<StatsOutput> stats_;
  std::optional<NetcdfOutput> netcdf_;
  // The statistics and the data file are written beside the model; a fault there is said when
  // the run waits for them.
  std::optional<OutputWorker> worker_;
  std::chrono::steady_clock::time_point lastCheckpoint_;
  std::string change_;  ///< a resume's change of parameters ("wind=7 (was 5)"); empty: none
};

}  // namespace kammelsim
