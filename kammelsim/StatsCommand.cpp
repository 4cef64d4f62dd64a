// kammelsim stats: the statistics of heights written by the runner itself (one line: a
// profile; several: a bed), as one CSV row.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "analysis/RippleStatistics.h"
#include "kammelsim/Commands.h"
#include "kammelsim/HeightStatistics.h"
#include "kammelsim/cli/Options.h"
#include "kammelsim/input/HeightsText.h"
#include "kammelsim/io/AtomicFile.h"
#include "kammelsim/io/File.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/output/data/StatsOutput.h"
#include "kammelsim/params/Stats.h"
#include "model2d/ProfileModel.h"
#include "model3d/RippleModel.h"

namespace kammelsim {
namespace {

// The largest heights a run prints: the largest open bed's cells, 11 bytes each at most.
constexpr std::uint64_t kMostBytes = std::uint64_t{11} * params::kMostBedCells;

// Standard input, up to limit bytes and one more, so that an endless stream is caught.
bool ReadStandardInput(std::uint64_t limit, std::string& bytes) {
  char buffer[65536];
  for (std::size_t n;
       bytes.size() <= limit && (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;)
    bytes.append(buffer, n);
  return !std::ferror(stdin);
}

// Heights as read: a large bed's straight into columns, else as the text gives them.
struct Loaded {
  analysis::Snapshot snapshot;
  std::optional<HeightsColumns> large;
};

std::optional<Loaded> Load(const std::string& path, const RunOutput& output) {
  if (path != "-") {
    if (std::optional<HeightsColumns> large = ReadLargeBedFile(path, kMostBytes))
      return Loaded{{}, std::move(large)};
  }
  std::string bytes, reason;
  if (path == "-") {
    if (!ReadStandardInput(kMostBytes, bytes)) reason = io::Reason(errno);
  } else if (const io::ReadFault fault = io::ReadWholeFile(path, kMostBytes, bytes);
             fault != io::ReadFault::None) {
    reason = io::ReadFaultReason(fault, kMostBytes);
  }
  if (reason.empty() && bytes.size() > kMostBytes)
    reason = "larger than " + std::to_string(kMostBytes) + " bytes";
  if (!reason.empty()) {
    std::fprintf(output.err, "kammelsim: stats: cannot read %s: %s\n", QuoteFile(path).c_str(),
                 reason.c_str());
    return std::nullopt;
  }
  if (std::optional<HeightsColumns> large = ReadLargeBed(bytes))
    return Loaded{{}, std::move(large)};
  HeightsText heights = ReadHeightsText(bytes);
  if (!heights.error.empty()) {
    std::fprintf(output.err, "kammelsim: stats: %s: %s\n", QuoteFile(path).c_str(),
                 heights.error.c_str());
    return std::nullopt;
  }
  // One line is a profile: cells 0..N along the wind, in one column.
  if (heights.snapshot.rows == 1) std::swap(heights.snapshot.rows, heights.snapshot.columns);
  return Loaded{std::move(heights.snapshot), std::nullopt};
}

// Both read the same way, for one measure: in columns when either is a large bed's.
void Match(Loaded& now, std::optional<Loaded>& before) {
  if (!before || now.large.has_value() == before->large.has_value()) return;
  Loaded& other = now.large ? *before : now;
  other.large = ColumnsOf(other.snapshot);
  other.snapshot = {};
}

template <class Heights>
std::optional<analysis::Measures> MeasureAny(const Heights& now, const Heights* previous,
                                             analysis::Model model, const StatsFactors& factors,
                                             std::string& error) {
  if (previous && (previous->rows != now.rows || previous->columns != now.columns)) {
    error = "--previous holds " + std::to_string(previous->rows) + " x " +
            std::to_string(previous->columns) + " heights, not " + std::to_string(now.rows) +
            " x " + std::to_string(now.columns);
    return std::nullopt;
  }
  if (!HeightsFit(now.rows, now.columns, error)) return std::nullopt;
  analysis::RippleStatistics statistics(model);
  const double b = factors.b, wind = factors.wind;
  const analysis::JumpLength jump = [model, b, wind](std::int32_t h) {
    return model == analysis::Model::Profile ? model2d::ProfileJumpLengthFor(h, b, wind)
                                             : model3d::JumpLengthFor(h, b, wind);
  };
  if (previous) statistics.Measure(*previous, std::nan(""), jump, factors.q, std::nan(""));
  return statistics.Measure(now, std::nan(""), jump, factors.q, factors.interval);
}

std::optional<analysis::Measures> MeasureLoaded(const Loaded& now, const Loaded* before,
                                                const StatsFactors& factors, std::string& error) {
  if (!now.large)
    return MeasureHeights(now.snapshot, before ? &before->snapshot : nullptr, factors, error);
  const analysis::ColumnHeights heights = now.large->View();
  std::optional<analysis::ColumnHeights> previous;
  if (before) previous = before->large->View();
  return MeasureAny(heights, previous ? &*previous : nullptr, analysis::Model::Bed, factors, error);
}

}  // namespace

StatsFactors ReadStatsFactors(const params::Values& values, std::string& error) {
  using O = params::StatsOptions;
  StatsFactors factors;
  factors.b = values.Real(O::b);
  factors.wind = values.Real(O::wind);
  factors.q = static_cast<std::int32_t>(values.Integer(O::q));
  factors.interval = values.Real(O::interval);
  if (error.empty() && !(factors.interval > 0))
    error = values.Named(O::interval) + " takes a real number above 0";
  return factors;
}

analysis::Model ModelOf(const analysis::Snapshot& heights) {
  return heights.columns == 1 ? analysis::Model::Profile : analysis::Model::Bed;
}

std::optional<analysis::Measures> MeasureHeights(const analysis::Snapshot& now,
                                                 const analysis::Snapshot* previous,
                                                 const StatsFactors& factors, std::string& error) {
  return MeasureAny(now, previous, ModelOf(now), factors, error);
}

int RunStatsCommand(std::span<const std::string> args, const RunOutput& output) {
  std::string error;
  OptionFault fault;
  const auto options = ParseOptions(args, params::StatsOptions::all, fault, 1);
  if (!options) return Refused(output, "stats", fault);
  // The heights, from a file or from standard input.
  const std::string path = options->positional.empty() ? "-" : options->positional.front();
  params::Values values;
  StatsFactors factors;
  if (params::ReadWords(*options, params::StatsOptions::all, values, error))
    factors = ReadStatsFactors(values, error);
  if (!error.empty()) return UsageFault(output, "stats: " + error);

  std::optional<Loaded> now = Load(path, output);
  if (!now) return 1;
  std::optional<Loaded> before;
  if (values.Has(params::StatsOptions::previous.name)) {
    before = Load(values.Text(params::StatsOptions::previous), output);
    if (!before) return 1;
  }
  Match(*now, before);
  const std::optional<analysis::Measures> m =
      MeasureLoaded(*now, before ? &*before : nullptr, factors, error);
  if (!m) {
    std::fprintf(output.err, "kammelsim: stats: %s\n", error.c_str());
    return 1;
  }
  const analysis::Model model = now->large ? analysis::Model::Bed : ModelOf(now->snapshot);
  const std::string text = StatsColumns(model) + "\n" + StatsValues(model, *m) + "\n";
  if (std::fputs(text.c_str(), output.out) < 0 || std::fflush(output.out) != 0)
    return WriteFault(output, "the statistics");
  return 0;
}

}  // namespace kammelsim
