// The statistics of a run as a CSV time series: provenance in '#' lines, a header row of stable
// names, a row per snapshot.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "analysis/RippleStatistics.h"
#include "kammelsim/io/File.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/Provenance.h"

namespace kammelsim {

/// What the statistics carry from one snapshot to the next.
struct StatsCarry {
  std::int64_t previousDone = -1;  ///< the last snapshot measured; -1 before the first
  double initialTotal = 0;         ///< the array's sand at the start
  std::int32_t rows = 0, columns = 0;
  std::vector<double> previousField;
};

/// A statistic's stable name, its unit in words ("1" for a ratio or a count of things that are
/// neither grains nor cells), and what it is.
struct StatsField {
  const char* name;
  const char* unit;
  const char* longName;
};

/// The statistics after the first column (step or batch), in order.
std::vector<StatsField> StatsFields(analysis::Model model);

/// Every column's unit, the first's (steps or batches) included, comma-separated.
std::string StatsUnits(analysis::Model model);
/// Their values, in the same order.
std::vector<double> StatsNumbers(analysis::Model model, const analysis::Measures& m);

/// Speed's lag as the statistics file's head and the data file say it: K, or every.
std::string SpeedLagText(std::int64_t speedLag);

/// The column names after the first, comma-separated.
std::string StatsColumns(analysis::Model model);

/// A row's values after the first column: reals exactly, undefined ones as nan.
std::string StatsValues(analysis::Model model, const analysis::Measures& m);

/// Measures each snapshot against the one measured before it: the rows of a statistics file,
/// with or without the file.
class StatsSeries {
 public:
  /// initialTotal is the whole array's sand at the start.
  StatsSeries(analysis::Model model, analysis::JumpLength jump, std::int32_t q,
              double initialTotal);

  /// Measures the snapshot after done batches or steps.
  const analysis::Measures& Measure(std::int64_t done, const analysis::Snapshot& snapshot);
  /// The same of a bed's array read in place, in bounded memory.
  const analysis::Measures& Measure(std::int64_t done, const analysis::ColumnHeights& heights);
  /// Takes the heights after done as what the next snapshot's speed is measured against, as
  /// `kammelsim stats --previous` takes them.
  void Reference(std::int64_t done, const analysis::Snapshot& snapshot);
  void Reference(std::int64_t done, const analysis::ColumnHeights& heights);
  /// The measures of the last snapshot.
  const analysis::Measures& Last() const { return last_; }
  /// What a checkpoint keeps, and back.
  StatsCarry Carry() const;
  void Restore(const StatsCarry& carry);

 private:
  template <class Heights>
  const analysis::Measures& Take(std::int64_t done, const Heights& heights, bool reference);

  analysis::Model model_;
  analysis::RippleStatistics statistics_;
  analysis::JumpLength jump_;
  std::int32_t q_;
  double initialTotal_;
  std::int64_t previousDone_ = -1;
  std::int32_t rows_ = 0, columns_ = 0;
  analysis::Measures last_{};
};

/// Measures each snapshot and writes its row.
class StatsOutput {
 public:
  /// initialTotal is the whole array's sand at the start.
  StatsOutput(analysis::Model model, analysis::JumpLength jump, std::int32_t q,
              double initialTotal);

  /// Makes the file at place, with provenance and header, under a temporary name renamed into
  /// place (so a link there is replaced, never written through), and locks it (File::Lock)
  /// for the run's life; what failed, if anything. speedLag (0: every) goes into its head.
  Outcome Open(const io::Place& place, const Provenance& provenance, std::int64_t speedLag);
  /// Takes up this run's file as a checkpoint recorded it, before anything changes: a regular
  /// file that TakeFile takes (for writing unless only checked, as a complete run is), at least
  /// bytes long, its first bytes with the CRC-32 crc and the run's id among them. A refusal
  /// names the file and what differs.
  Outcome Take(const io::Place& place, std::int64_t bytes, std::uint32_t crc,
               const std::string& runId, bool write);
  /// Continues a file taken for writing: gives it a copy of its own if it has other names
  /// (hard links), drops what it holds beyond the checkpoint's bytes, adds the resume's
  /// history line and, where the resume changes the run's parameters, a "# Change:" line,
  /// then appends.
  Outcome Continue(const StatsCarry& carry, const std::string& historyLine,
                   const std::string& change = {});
  /// Measures the snapshot after done batches or steps and writes its row.
  Outcome Snapshot(std::int64_t done, const analysis::Snapshot& snapshot);
  Outcome Snapshot(std::int64_t done, const analysis::ColumnHeights& heights);
  /// StatsSeries::Reference.
  template <class Heights>
  Outcome Reference(std::int64_t done, const Heights& heights) {
    series_.Reference(done, heights);
    return std::nullopt;
  }
  /// The measures of the last snapshot.
  const analysis::Measures& Last() const { return series_.Last(); }
  /// What a checkpoint keeps, and the file's length so far and the CRC-32 of its bytes.
  StatsCarry Carry() const { return series_.Carry(); }
  std::int64_t Bytes() const { return bytes_; }
  std::uint32_t Crc() const { return crc_; }
  /// Makes what is written durable, before a checkpoint records it.
  Outcome Sync();
  /// Closes the file.
  Outcome Close();

 private:
  Outcome Row(std::int64_t done, const analysis::Measures& measures);
  Fault Failed() const;
  Fault Refusal(std::string why);
  Outcome Put(const std::string& text);

  analysis::Model model_;
  StatsSeries series_;
  io::Place place_;
  std::string path_;
  io::File file_;
  std::int64_t bytes_ = 0;
  std::uint32_t crc_ = 0;
};

}  // namespace kammelsim
