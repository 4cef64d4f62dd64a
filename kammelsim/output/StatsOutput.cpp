#include "kammelsim/output/StatsOutput.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

namespace kammelsim {
namespace {

const StatsField kShared[] = {
    {"sand", "grains", "sand on the bed"},
    {"sand_outside", "grains", "sand that has left the bed for the array beyond it"},
    {"mean", "grains", "mean height"},
    {"rms", "grains", "root mean square of the detrended heights"},
    {"wavelength_peak", "cells", "wavelength of the strongest mode along the wind"},
    {"wavelength_centroid", "cells", "wavelength of the power spectrum's centroid"},
    {"crests", "1", "crests along the wind"},
    {"crest_spacing", "cells", "mean distance between crests"},
    {"stoss_fraction", "1", "fraction of the bed on stoss slopes"},
    {"stoss_slope", "grains per cell", "mean stoss slope"},
    {"lee_slope", "grains per cell", "mean lee slope"},
    {"slope_skewness", "1", "skewness of the slopes"},
    {"speed", "cells per interval", "ripple speed, positive downwind"},
    {"speed_correlation", "1", "cross-correlation at the speed's shift"},
    {"mean_jump", "cells", "mean jump length"},
    {"idle_fraction", "1", "fraction of sites at or below q"},
};

const StatsField kProfileOnly[] = {{"end_step", "grains", "height step between the ends"}};
const StatsField kBedOnly[] = {
    {"crest_correlation_length", "cells", "correlation length of the crests across the wind"},
    {"column_centroid", "cells", "centroid of the sand across the wind"},
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

const analysis::Measures& StatsSeries::Measure(std::int64_t done,
                                               const analysis::Snapshot& snapshot) {
  const double interval =
      previousDone_ < 0 ? std::nan("") : static_cast<double>(done - previousDone_);
  last_ = statistics_.Measure(snapshot, initialTotal_, jump_, q_, interval);
  previousDone_ = done;
  rows_ = snapshot.rows;
  columns_ = snapshot.columns;
  return last_;
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

StatsOutput::~StatsOutput() {
  if (file_) std::fclose(file_);
}

bool StatsOutput::Fault(const RunOutput& output) {
  std::fprintf(output.err, "kammelsim: cannot write '%s': %s\n", path_.c_str(),
               std::strerror(errno));
  return false;
}

// Flushed piece by piece: a long run's file can be read, and plotted, while it runs, and its
// length is what a checkpoint records.
bool StatsOutput::Put(const std::string& text, const RunOutput& output) {
  if (std::fputs(text.c_str(), file_) < 0 || std::fflush(file_) != 0) return Fault(output);
  bytes_ += static_cast<std::int64_t>(text.size());
  return true;
}

bool StatsOutput::Open(const std::string& path, const Provenance& provenance,
                       const RunOutput& output) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "w");
  if (!file_) return Fault(output);
  std::string head;
  for (const auto& [name, value] : provenance)
    head += "# " + name + ": " + value + "\n";
  head += std::string(model_ == analysis::Model::Profile ? "step," : "batch,") +
          StatsColumns(model_) + "\n";
  return Put(head, output);
}

bool StatsOutput::Reopen(const std::string& path, std::int64_t bytes, const StatsCarry& carry,
                         const RunOutput& output) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "r+");
  if (!file_ || std::fseek(file_, 0, SEEK_END) != 0) return Fault(output);
  if (std::ftell(file_) < bytes) {
    std::fprintf(output.err, "kammelsim: '%s' is shorter than the checkpoint recorded\n",
                 path.c_str());
    return false;
  }
  if (ftruncate(fileno(file_), bytes) != 0 || std::fseek(file_, 0, SEEK_END) != 0)
    return Fault(output);
  bytes_ = bytes;
  series_.Restore(carry);
  return true;
}

bool StatsOutput::Snapshot(std::int64_t done, const analysis::Snapshot& snapshot,
                           const RunOutput& output) {
  const analysis::Measures& measures = series_.Measure(done, snapshot);
  return Put(std::to_string(done) + "," + StatsValues(model_, measures) + "\n", output);
}

bool StatsOutput::Close(const RunOutput& output) {
  std::FILE* file = std::exchange(file_, nullptr);
  if (file && std::fclose(file) != 0) return Fault(output);
  return true;
}

}  // namespace kammelsim
