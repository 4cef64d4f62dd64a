#include "kammelsim/output/data/StatsOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/Bytes.h"

namespace kammelsim {
namespace {

// Speed is measured against the heights a lag before (the head says which) but given per step
// or batch, so that runs with different lags compare.
const StatsField kShared[] = {
    {"sand", "grains", "sand on the bed"},
    {"sand_outside", "grains", "sand that has left the bed for the array beyond it"},
    {"mean", "grains", "mean height"},
    {"rms", "grains", "root mean square of the detrended heights"},
    {"wavelength_peak", "cells", "wavelength of the strongest mode along the wind"},
    {"wavelength_centroid", "cells", "wavelength at the centroid of the power spectrum"},
    {"crests", "1", "number of crests along the wind, mean over columns"},
    {"crest_spacing", "cells", "mean distance between crests along the wind"},
    {"stoss_fraction", "1", "fraction of the slopes that rise downwind (stoss)"},
    {"stoss_slope", "grains per cell", "mean stoss slope"},
    {"lee_slope", "grains per cell", "mean lee slope"},
    {"slope_skewness", "1", "skewness of the slopes"},
    {"speed", "", "ripple speed along the wind, positive downwind"},
    {"speed_correlation", "1",
     "cross-correlation with the heights speed's lag before, at its shift"},
    {"mean_jump", "cells", "mean jump length of the sites that jump"},
    {"idle_fraction", "1", "fraction of sites at or below q, which do not jump"},
};

const StatsField kProfileOnly[] = {
    {"end_step", "grains", "height of the last cell minus that of the first"}};
const StatsField kBedOnly[] = {
    {"crest_correlation_length", "cells",
     "distance across the wind at which the crests decorrelate below 1/e"},
    {"column_centroid", "cells", "centroid of the sand across the wind, as a column"},
};

void Append(std::string& row, double value) {
  row.push_back(',');
  if (std::isnan(value)) {
    row += "nan";
    return;
  }
  char text[32];
  row.append(text, std::to_chars(text, text + sizeof text, value).ptr);  // shortest exact
}

}  // namespace

std::vector<StatsField> StatsFields(analysis::Model model) {
  std::vector<StatsField> fields(std::begin(kShared), std::end(kShared));
  for (StatsField& field : fields) {
    if (*field.unit == '\0')
      field.unit = model == analysis::Model::Profile ? "cells per step" : "cells per batch";
  }
  if (model == analysis::Model::Profile)
    fields.insert(fields.end(), std::begin(kProfileOnly), std::end(kProfileOnly));
  else
    fields.insert(fields.end(), std::begin(kBedOnly), std::end(kBedOnly));
  return fields;
}

std::vector<double> StatsNumbers(analysis::Model model, const analysis::Measures& m) {
  std::vector<double> numbers = {
      m.sand,           m.sandOutside,        m.mean,     m.rms,
      m.wavelengthPeak, m.wavelengthCentroid, m.crests,   m.crestSpacing,
      m.stossFraction,  m.stossSlope,         m.leeSlope, m.slopeSkewness,
      m.speed,          m.speedCorrelation,   m.meanJump, m.idleFraction};
  if (model == analysis::Model::Profile) {
    numbers.push_back(m.endStep);
  } else {
    numbers.push_back(m.crestCorrelationLength);
    numbers.push_back(m.columnCentroid);
  }
  return numbers;
}

std::string StatsUnits(analysis::Model model) {
  std::string units = model == analysis::Model::Profile ? "steps" : "batches";
  for (const StatsField& field : StatsFields(model))
    units.append(",").append(field.unit);
  return units;
}

std::string StatsColumns(analysis::Model model) {
  std::string columns;
  for (const StatsField& field : StatsFields(model))
    columns.append(",").append(field.name);
  return columns.substr(1);
}

std::string StatsValues(analysis::Model model, const analysis::Measures& m) {
  std::string row;
  for (const double v : StatsNumbers(model, m))
    Append(row, v);
  return row.substr(1);
}

StatsSeries::StatsSeries(analysis::Model model, analysis::JumpLength jump, std::int32_t q,
                         double initialTotal)
    : model_(model),
      statistics_(model),
      jump_(std::move(jump)),
      q_(q),
      initialTotal_(initialTotal) {}

template <class Heights>
const analysis::Measures& StatsSeries::Take(std::int64_t done, const Heights& heights,
                                            bool reference) {
  if (reference) {
    statistics_.Measure(heights, std::nan(""), jump_, q_, std::nan(""));
  } else {
    const double interval =
        previousDone_ < 0 ? std::nan("") : static_cast<double>(done - previousDone_);
    last_ = statistics_.Measure(heights, initialTotal_, jump_, q_, interval);
  }
  previousDone_ = done;
  rows_ = heights.rows;
  columns_ = heights.columns;
  return last_;
}

const analysis::Measures& StatsSeries::Measure(std::int64_t done,
                                               const analysis::Snapshot& snapshot) {
  return Take(done, snapshot, false);
}

const analysis::Measures& StatsSeries::Measure(std::int64_t done,
                                               const analysis::ColumnHeights& heights) {
  return Take(done, heights, false);
}

void StatsSeries::Reference(std::int64_t done, const analysis::Snapshot& snapshot) {
  Take(done, snapshot, true);
}

void StatsSeries::Reference(std::int64_t done, const analysis::ColumnHeights& heights) {
  Take(done, heights, true);
}

StatsCarry StatsSeries::Carry() const {
  return {previousDone_, initialTotal_, rows_, columns_, statistics_.PreviousField()};
}

void StatsSeries::Restore(const StatsCarry& carry) {
  previousDone_ = carry.previousDone;
  initialTotal_ = carry.initialTotal;
  rows_ = carry.rows;
  columns_ = carry.columns;
  if (!carry.previousField.empty())
    statistics_.SetPreviousField(carry.previousField, carry.rows, carry.columns);
}

StatsOutput::StatsOutput(analysis::Model model, analysis::JumpLength jump, std::int32_t q,
                         double initialTotal)
    : model_(model), series_(model, std::move(jump), q, initialTotal) {}

namespace {

// Every line of the provenance as a '#' line, the history's one per run and resume.
std::string HeadLines(const Provenance& provenance) {
  std::string head;
  for (const auto& [name, value] : provenance) {
    if (name != "History") {
      head += "# " + name + ": " + value + "\n";
      continue;
    }
    for (std::size_t at = 0; at < value.size();) {
      const std::size_t end = std::min(value.find('\n', at), value.size());
      head += "# History: " + value.substr(at, end - at) + "\n";
      at = end + 1;
    }
  }
  return head;
}

// How far the run's id can lie: behind the command line and the parameters, 1 MiB each at
// most, and four times that where every byte is written as \xNN.
constexpr std::size_t kHeadMost = 9 << 20;

}  // namespace

Fault StatsOutput::Failed() const {
  return WriteFailed(QuoteFile(path_), file_.Error());
}

// Written piece by piece, unbuffered: a long run's file can be read, and plotted, while it
// runs, and its length is what a checkpoint records.
Outcome StatsOutput::Put(const std::string& text) {
  if (!file_.Write(text)) return Failed();
  bytes_ += static_cast<std::int64_t>(text.size());
  crc_ = io::Crc32(text, crc_);
  return std::nullopt;
}

std::string SpeedLagText(std::int64_t speedLag) {
  return speedLag > 0 ? std::to_string(speedLag) : "every";
}

Outcome StatsOutput::Open(const io::Place& place, const Provenance& provenance,
                          std::int64_t speedLag) {
  place_ = place;
  path_ = place.shown;
  const io::Place part = io::PartOf(place);
  if (!io::CreatePart(part, file_) || !file_.Lock() || !io::Rename(part, place)) {
    const int error = file_.Error() != 0 ? file_.Error() : errno;
    file_.Close();
    io::RemoveAt(part);
    errno = error;
    return WriteFailed(QuoteFile(path_), error);
  }
  file_.CountAs(place.name);
  const std::string header =
      std::string(model_ == analysis::Model::Profile ? "step," : "batch,") + StatsColumns(model_);
  return Put(HeadLines(provenance) + "# Speed lag: " + SpeedLagText(speedLag) + "\n" +
             "# Units: " + StatsUnits(model_) + "\n" + header + "\n");
}

Fault StatsOutput::Refusal(std::string why) {
  file_.Close();
  return Refused(QuoteFile(path_), std::move(why));
}

Outcome StatsOutput::Take(const io::Place& place, std::int64_t bytes, std::uint32_t crc,
                          const std::string& runId, bool write) {
  place_ = place;
  path_ = place.shown;
  std::string why;
  std::uint64_t size = 0;
  if (!io::TakeFile(place, write, file_, why)) return Refusal(why);
  if (!file_.Size(size)) return Refusal("cannot be read: " + io::Reason(file_.Error()));
  // The recorded length is held to the file's before a byte is read.
  if (bytes < 0 || static_cast<std::uint64_t>(bytes) > size)
    return Refusal("is shorter than the checkpoint recorded");
  std::uint32_t found = 0;
  std::string chunk, head;
  for (std::int64_t read = 0; read < bytes; read += static_cast<std::int64_t>(chunk.size())) {
    const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(bytes - read, 1 << 20));
    if (!file_.ReadAt(static_cast<std::uint64_t>(read), piece, chunk))
      return Refusal("cannot be read: " + io::Reason(file_.Error()));
    if (chunk.empty()) return Refusal("is shorter than the checkpoint recorded");
    found = io::Crc32(chunk, found);
    if (head.size() < kHeadMost) head += chunk;
  }
  // The provenance, with the run's id, leads every file this run wrote: a checkpoint that records
  // no bytes of it, or bytes without the id, names another file. This run's file whose bytes
  // differ was changed after the checkpoint.
  if (head.find("\n# Run: " + runId + "\n") == std::string::npos)
    return Refusal("is not this run's statistics file");
  if (found != crc) {
    return Refusal("has changed since the checkpoint: the CRC-32 of the " + std::to_string(bytes) +
                   " bytes it recorded differs from the checkpoint's");
  }
  bytes_ = bytes;
  crc_ = crc;
  return std::nullopt;
}

Outcome StatsOutput::Continue(const StatsCarry& carry, const std::string& historyLine,
                              const std::string& change) {
  // A file with other names (a copy made of hard links) gets a copy of its own first.
  if (io::Shared(file_) && !io::CopyApart(place_, file_, static_cast<std::uint64_t>(bytes_)))
    return WriteFailed(QuoteFile(path_), errno);
  if (!file_.Truncate(static_cast<std::uint64_t>(bytes_)) ||
      lseek(file_.Descriptor(), 0, SEEK_END) < 0) {
    return Failed();
  }
  series_.Restore(carry);
  const std::string changed = change.empty() ? "" : "# Change: " + ProvenanceText(change) + "\n";
  return Put("# History: " + ProvenanceText(historyLine) + "\n" + changed);
}

Outcome StatsOutput::Row(std::int64_t done, const analysis::Measures& measures) {
  return Put(std::to_string(done) + "," + StatsValues(model_, measures) + "\n");
}

Outcome StatsOutput::Snapshot(std::int64_t done, const analysis::Snapshot& snapshot) {
  return Row(done, series_.Measure(done, snapshot));
}

Outcome StatsOutput::Snapshot(std::int64_t done, const analysis::ColumnHeights& heights) {
  return Row(done, series_.Measure(done, heights));
}

Outcome StatsOutput::Sync() {
  if (!file_.IsOpen() || file_.Sync()) return std::nullopt;
  return Failed();
}

Outcome StatsOutput::Close() {
  if (file_.Close()) return std::nullopt;
  return Failed();
}

}  // namespace kammelsim
