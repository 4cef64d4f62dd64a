// The run's heights, and its statistics, as a NetCDF data file (classic format, CDF-5): one
// record per snapshot, written through io/ and appended so that the file opens, with every
// whole snapshot, at any moment, and after any failed write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/RippleStatistics.h"
#include "kammelsim/io/File.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/Provenance.h"
#include "kammelsim/output/data/NetcdfFormat.h"
#include "kammelsim/output/data/NetcdfSchema.h"

namespace kammelsim {

/// What a checkpoint records of the data file: its snapshots, its run's id, and the CRC-32s
/// of its header (as HeaderCrc takes it) and of those snapshots' records.
struct NetcdfRecord {
  std::int64_t records = 0;
  std::string runId;
  std::uint32_t headerCrc = 0, recordsCrc = 0;
  /// The history the checkpoint holds, its lines joined as the file holds them; the file's
  /// must begin with it. Empty: not checked.
  std::string history;
};

/// The CRC-32 of a header as a checkpoint records it: without its record count, its history,
/// changes and total (which a resume killed before its checkpoint adds to or sets; the changes
/// and the total are written whole from the checkpoint on each resume) and where its variables
/// begin (which a grown header moves).
std::uint32_t HeaderCrc(const cdf::Header& header);

class NetcdfOutput {
 public:
  /// Makes the file at place, with its dimensions, variables and attributes and no record,
  /// under a temporary name renamed into place (a link there is replaced), locked (File::Lock)
  /// for the run's life. The provenance's Run entry becomes the run_id attribute, its History
  /// lines the history attribute.
  Outcome Create(const io::Place& place, const NetcdfLayout& layout, const Provenance& provenance);
  /// Takes up this run's file as a checkpoint recorded it, before anything changes: a regular
  /// file that TakeFile takes (for writing unless only checked), with the run's id and
  /// variables, at least record.records snapshots, its header and those records' bytes with
  /// the recorded CRC-32s. A refusal names the file and what differs.
  Outcome Take(const io::Place& place, const NetcdfLayout& layout, const NetcdfRecord& record,
               bool write);
  /// Continues a file taken for writing: gives it a copy of its own if it has other names
  /// (hard links), cuts it back to the recorded snapshots and adds historyLine to its history.
  /// With changes (a line per change of the run's parameters, the checkpoint's and this
  /// resume's), its changes attribute becomes those lines. With a total (above 0), its
  /// parameter_batches or parameter_steps becomes it.
  Outcome Continue(const std::string& historyLine, const std::vector<std::string>& changes = {},
                   std::int64_t total = 0);
  /// Take for writing, then Continue.
  Outcome Reopen(const io::Place& place, const NetcdfLayout& layout, const NetcdfRecord& record,
                 const std::string& historyLine);
  /// Appends a record: the snapshot after done, and its measures when the file has
  /// statistics (nan without them). Readers see it at once; Sync makes it last a crash.
  Outcome Snapshot(std::int64_t done, const analysis::Snapshot& snapshot,
                   const analysis::Measures* measures);
  /// The same of a bed's array read in place, written a few MiB at a time: the same bytes.
  Outcome Snapshot(std::int64_t done, const analysis::ColumnHeights& heights,
                   const analysis::Measures* measures);
  /// Every record so far, and their count, on the disk.
  Outcome Sync();
  std::int64_t Records() const { return header_.records; }
  /// What a checkpoint records of the file as it is now.
  NetcdfRecord Record(const std::string& runId) const;
  /// Syncs and closes.
  Outcome Close();

 private:
  Fault Failed(int error) const;
  Fault Refusal(std::string why);
  bool ReadHeader(cdf::Header& header, std::string& why);
  bool Belongs(const cdf::Header& file, const NetcdfRecord& record, std::string& why);
  bool SameRecords(const cdf::Header& file, const NetcdfRecord& record, std::string& why);
  Outcome CutBack(std::int64_t records, const std::string& historyLine,
                  const std::vector<std::string>& changes, std::int64_t total);
  bool WriteCopy(const cdf::Header& header, io::File& copy);
  Outcome Moved(const cdf::Header& grown);
  void EncodeRecord(std::int64_t done, const analysis::Snapshot& snapshot,
                    const analysis::Measures* measures);
  char* EncodeTime(char* at, std::int64_t done) const;
  char* EncodeMeasures(char* at, const analysis::Measures* measures) const;
  Outcome Appendable(std::int64_t done, int rows, int columns) const;
  Outcome Appended(const std::string& count);

  std::string path_;
  io::Place place_;
  NetcdfLayout layout_{};
  std::int64_t kept_ = 0;         ///< a taken file's recorded snapshots
  std::uint32_t recordsCrc_ = 0;  ///< of every record written or kept
  io::File file_;
  cdf::Header header_;
  std::string record_;  ///< one record's bytes, kept from one snapshot to the next
};

}  // namespace kammelsim
