// The run's heights, and its statistics, as a NetCDF data file (classic format, CDF-5): one
// record per snapshot, written through io/ and appended so that the file opens, with every
// whole snapshot, at any moment, and after any failed write.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/RippleStatistics.h"
#include "kammelsim/io/File.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/NetcdfFormat.h"
#include "kammelsim/output/NetcdfSchema.h"
#include "kammelsim/output/Provenance.h"

namespace kammelsim {

class NetcdfOutput {
 public:
  /// Makes the file, with its dimensions, variables and attributes and no record, under a
  /// temporary name renamed into place; false after one line on err. The provenance's Run
  /// entry becomes the run_id attribute, its History lines the history attribute.
  bool Create(const std::string& path, const NetcdfLayout& layout, const Provenance& provenance,
              const RunOutput& output);
  /// Whether path is this run's file as a checkpoint recorded it (its run_id, its variables,
  /// at least records snapshots); reads only. False after one line on err.
  static bool Verify(const std::string& path, const NetcdfLayout& layout, std::int64_t records,
                     const std::string& runId, const RunOutput& output);
  /// Continues this run's file after records snapshots: refuses, with one line on err and
  /// before changing anything, a file that is not ours (another run_id, or none) or holds
  /// fewer; otherwise cuts it back to records snapshots and adds historyLine to its history.
  bool Reopen(const std::string& path, const NetcdfLayout& layout, std::int64_t records,
              const std::string& runId, const std::string& historyLine, const RunOutput& output);
  /// Appends a record: the snapshot after done, and its measures when the file has
  /// statistics (nan without them). Readers see it at once; Sync makes it last a crash.
  bool Snapshot(std::int64_t done, const analysis::Snapshot& snapshot,
                const analysis::Measures* measures, const RunOutput& output);
  /// Every record so far, and their count, on the disk.
  bool Sync(const RunOutput& output);
  std::int64_t Records() const { return header_.records; }
  /// Syncs and closes; false after one line on err.
  bool Close(const RunOutput& output);

 private:
  bool Fault(int error, const RunOutput& output);
  bool Refuse(const std::string& why, const RunOutput& output);
  bool ReadHeader(cdf::Header& header, std::string& why);
  bool Belongs(const cdf::Header& file, std::int64_t records, const std::string& runId,
               std::string& why);
  bool CutBack(std::int64_t records, const std::string& historyLine, const RunOutput& output);
  bool WriteCopy(const cdf::Header& header, io::File& copy);
  bool Moved(const cdf::Header& grown, const RunOutput& output);
  void EncodeRecord(std::int64_t done, const analysis::Snapshot& snapshot,
                    const analysis::Measures* measures);

  std::string path_;
  NetcdfLayout layout_{};
  io::File file_;
  cdf::Header header_;
  std::string record_;  ///< one record's bytes, kept from one snapshot to the next
};

}  // namespace kammelsim
