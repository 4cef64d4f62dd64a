#include "tools/StatsOutput.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

namespace tools {
namespace {

constexpr const char* kShared =
    "sand,sand_outside,mean,rms,wavelength_peak,wavelength_centroid,crests,crest_spacing,"
    "stoss_fraction,stoss_slope,lee_slope,slope_skewness,speed,speed_correlation,mean_jump,"
    "idle_fraction";

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

std::string StatsColumns(analysis::Model model) {
  return std::string(kShared) + (model == analysis::Model::Profile
                                     ? ",end_step"
                                     : ",crest_correlation_length,column_centroid");
}

std::string StatsValues(analysis::Model model, const analysis::Measures& m) {
  std::string row;
  for (const double v :
       {m.sand, m.sandOutside, m.mean, m.rms, m.wavelengthPeak, m.wavelengthCentroid, m.crests,
        m.crestSpacing, m.stossFraction, m.stossSlope, m.leeSlope, m.slopeSkewness, m.speed,
        m.speedCorrelation, m.meanJump, m.idleFraction})
    Append(row, v);
  if (model == analysis::Model::Profile) {
    Append(row, m.endStep);
  } else {
    Append(row, m.crestCorrelationLength);
    Append(row, m.columnCentroid);
  }
  return row.substr(1);
}

StatsOutput::StatsOutput(analysis::Model model, std::function<analysis::Snapshot()> snapshot,
                         analysis::JumpLength jump, std::int32_t q, double initialTotal)
    : model_(model),
      statistics_(model),
      snapshot_(std::move(snapshot)),
      jump_(std::move(jump)),
      q_(q),
      initialTotal_(initialTotal) {}

StatsOutput::~StatsOutput() {
  if (file_) std::fclose(file_);
}

bool StatsOutput::Fault(const RunOutput& output) {
  std::fprintf(output.err, "kammelsim: cannot write '%s': %s\n", path_.c_str(),
               std::strerror(errno));
  return false;
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
  if (std::fputs(head.c_str(), file_) < 0 || std::fflush(file_) != 0) return Fault(output);
  return true;
}

bool StatsOutput::Snapshot(std::int64_t done, const RunOutput& output) {
  const double interval =
      previousDone_ < 0 ? std::nan("") : static_cast<double>(done - previousDone_);
  const analysis::Measures m = statistics_.Measure(snapshot_(), initialTotal_, jump_, q_, interval);
  previousDone_ = done;
  const std::string row = std::to_string(done) + "," + StatsValues(model_, m) + "\n";
  // Flushed row by row: a long run's file can be read, and plotted, while it runs.
  if (std::fputs(row.c_str(), file_) < 0 || std::fflush(file_) != 0) return Fault(output);
  return true;
}

bool StatsOutput::Close(const RunOutput& output) {
  std::FILE* file = std::exchange(file_, nullptr);
  if (file && std::fclose(file) != 0) return Fault(output);
  return true;
}

}  // namespace tools
