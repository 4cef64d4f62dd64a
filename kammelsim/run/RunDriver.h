// The loop every kammelsim run shares, whichever model it runs: snapshots and their outputs,
// checkpoints, progress, and a stop asked for by signal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/RippleStatistics.h"
#include "common/Random.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/NetcdfOutput.h"
#include "kammelsim/output/Pictures.h"
#include "kammelsim/output/StatsOutput.h"
#include "kammelsim/run/Checkpoint.h"
#include "kammelsim/run/RunSettings.h"

namespace kammelsim {

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
  std::function<bool(std::FILE*)> writeHeights;  ///< the final heights, on stdout
};

/// A run recorded in a checkpoint, to be continued.
struct Resume {
  CheckpointData data;
  std::string path;  ///< the checkpoint file, where the run goes on writing them
};

class RunDriver {
 public:
  /// command is bed or profile, unit batches or steps. Opens the headless canvas when the run
  /// draws: before the model's set-up, which places its mapping on the canvas.
  RunDriver(RunSettings settings, std::string_view command, std::string_view unit,
            const Resume* resume, const RunOutput& output);

  /// Checks the outputs before any work: 0, or the status after one line on err.
  int Prepare();

  /// Runs the set-up model to the end, or until a signal stops it; returns the exit status.
  /// The options in canonical form and the command line as given are what a checkpoint and the
  /// provenance keep.
  int Run(const RunModel& model, const std::vector<std::string>& canonical,
          std::span<const std::string> args, const std::string& parameters);

 private:
  static RunSettings Resolved(RunSettings settings, const Resume* resume);
  int Start(const RunModel& model, const std::vector<std::string>& canonical,
            std::span<const std::string> args, const std::string& parameters);
  bool Fits(const RunModel& model) const;
  bool OpenFiles(const RunModel& model);
  bool Snapshot(std::int64_t done);
  bool SaveCheckpoint(std::int64_t done);
  int Stopped(std::int64_t done, int signal);
  int Finish();
  void Restore();

  RunSettings settings_;
  std::string command_, unit_;
  const Resume* resume_;
  const RunOutput& output_;
  PictureOutputs pictures_;
  const RunModel* model_ = nullptr;
  Provenance provenance_;
  CheckpointData record_;  ///< what every checkpoint repeats
  std::optional<StatsOutput> stats_;
  std::optional<NetcdfOutput> netcdf_;
};

/// Resolves the run's relative file names against directory, where the run began.
void ResolveFileNames(RunSettings& settings, const std::string& directory);

}  // namespace kammelsim
