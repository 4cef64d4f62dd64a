// The statistics of a run as a CSV time series: provenance in '#' lines, a header row of stable
// names, a row per snapshot.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "analysis/RippleStatistics.h"
#include "tools/Kammelsim.h"
#include "tools/RunOptions.h"

namespace tools {

/// The column names after the first (step or batch), in order.
std::string StatsColumns(analysis::Model model);

/// A row's values after the first column: reals exactly, undefined ones as nan.
std::string StatsValues(analysis::Model model, const analysis::Measures& m);

/// Measures each snapshot and writes its row.
class StatsOutput {
 public:
  /// snapshot reads the model's heights; initialTotal is the whole array's sand at the start.
  StatsOutput(analysis::Model model, std::function<analysis::Snapshot()> snapshot,
              analysis::JumpLength jump, std::int32_t q, double initialTotal);
  ~StatsOutput();

  /// Creates the file, with provenance and header; false after one line on err.
  bool Open(const std::string& path, const Provenance& provenance, const RunOutput& output);
  /// The row after done batches or steps; false after one line on err.
  bool Snapshot(std::int64_t done, const RunOutput& output);
  /// Closes the file; false after one line on err.
  bool Close(const RunOutput& output);

 private:
  bool Fault(const RunOutput& output);

  analysis::Model model_;
  analysis::RippleStatistics statistics_;
  std::function<analysis::Snapshot()> snapshot_;
  analysis::JumpLength jump_;
  std::int32_t q_;
  double initialTotal_;
  std::int64_t previousDone_ = -1;
  std::string path_;
  std::FILE* file_ = nullptr;
};

}  // namespace tools
