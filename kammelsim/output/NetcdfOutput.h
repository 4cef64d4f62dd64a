// The run's heights, and its statistics, as a NetCDF-4 data file: one record per snapshot,
// synced after each, with the provenance in global attributes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/RippleStatistics.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/Provenance.h"

namespace kammelsim {

/// The shape of what a run records: x along the wind; a profile has no y.
struct NetcdfLayout {
  analysis::Model model;
  std::int32_t xCount, yCount;
  std::string unit;  ///< batches or steps
  bool stats;        ///< whether each statistic gets a variable
};

class NetcdfOutput {
 public:
  NetcdfOutput() = default;
  ~NetcdfOutput();
  NetcdfOutput(const NetcdfOutput&) = delete;
  NetcdfOutput& operator=(const NetcdfOutput&) = delete;

  /// Creates the file with its dimensions, variables and attributes; false after one line
  /// on err.
  bool Create(const std::string& path, const NetcdfLayout& layout, const Provenance& provenance,
              const RunOutput& output);
  /// Continues this run's file (its run id runId) from a checkpoint at record records; later
  /// records are written over. Refuses another run's file before changing it.
  bool Reopen(const std::string& path, const NetcdfLayout& layout, std::int64_t records,
              const std::string& runId, const std::string& historyLine, const RunOutput& output);
  /// Makes what is written durable, before a checkpoint records it.
  bool Sync(const RunOutput& output);
  /// One record: the snapshot after done, and its measures when the file has statistics.
  bool Snapshot(std::int64_t done, const analysis::Snapshot& snapshot,
                const analysis::Measures* measures, const RunOutput& output);
  std::int64_t Records() const { return records_; }
  bool Close(const RunOutput& output);

 private:
  bool Check(int status, const RunOutput& output);
  bool Define(const Provenance& provenance, const RunOutput& output);
  bool FindVariables(const RunOutput& output);

  std::string path_;
  NetcdfLayout layout_{};
  int id_ = -1;
  int time_ = -1, height_ = -1;
  std::vector<int> stats_;
  std::int64_t records_ = 0;
  std::vector<std::int32_t> buffer_;
};

}  // namespace kammelsim
