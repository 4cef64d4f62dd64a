#include "analysis/RippleStatistics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "analysis/Spectra.h"

namespace analysis {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// The settings of each model's measures: smoothing width along the wind, and the divisor c of
// the centroid's band 1 <= k <= n / c.
struct Settings {
  int smoothing;
  int centroidDivisor;
};

Settings SettingsOf(Model model) {
  return model == Model::Profile ? Settings{9, 10} : Settings{3, 4};
}

// A field over the periodic domain, column by column: n values along the wind each.
struct Field {
  int n = 0, columns = 0;
  std::vector<double> x;

  const double* Column(int j) const { return x.data() + static_cast<std::size_t>(j) * n; }
  double* Column(int j) { return x.data() + static_cast<std::size_t>(j) * n; }
};

// The profile minus its least-squares line; each column of a bed minus its own mean.
Field Detrended(const Snapshot& s, Model model) {
  Field field{s.rows - 1, s.columns, {}};
  field.x.resize(static_cast<std::size_t>(field.n) * field.columns);
  const double n = field.n;
  for (int j = 0; j < field.columns; ++j) {
    double* x = field.Column(j);
    double sumH = 0, sumIH = 0;
    for (int i = 0; i < field.n; ++i) {
      x[i] = static_cast<double>(s.At(i + 1, j));
      sumH += x[i];
      sumIH += x[i] * (i + 1);
    }
    double slope = 0, intercept = sumH / n;
    if (model == Model::Profile && field.n > 1) {
      const double meanI = (n + 1) / 2, sumII = n * (n + 1) * (2 * n + 1) / 6;
      slope = (sumIH - n * meanI * (sumH / n)) / (sumII - n * meanI * meanI);
      intercept = sumH / n - slope * meanI;
    }
    for (int i = 0; i < field.n; ++i)
      x[i] -= intercept + slope * (i + 1);
  }
  return field;
}

double PopulationStd(const double* values, std::size_t count) {
  if (count == 0) return kNan;
  const double mean = std::accumulate(values, values + count, 0.0) / count;
  double squares = 0;
  for (std::size_t k = 0; k < count; ++k)
    squares += (values[k] - mean) * (values[k] - mean);
  return std::sqrt(squares / count);
}

double WavelengthPeak(const std::vector<double>& power, int n) {
  std::size_t best = 0;
  for (std::size_t k = 1; k < power.size(); ++k) {
    if (power[k] > (best ? power[best] : 0.0)) best = k;
  }
  return best ? n / static_cast<double>(best) : kNan;
}

double WavelengthCentroid(const std::vector<double>& power, int n, int divisor) {
  double weighted = 0, total = 0;
  const int last = std::min<int>(n / divisor, static_cast<int>(power.size()) - 1);
  for (int k = 1; k <= last; ++k) {
    weighted += k * power[static_cast<std::size_t>(k)];
    total += power[static_cast<std::size_t>(k)];
  }
  return total > 0 && weighted > 0 ? n / (weighted / total) : kNan;
}

// Periodic moving average of width w (odd), centred.
std::vector<double> PeriodicAverage(const double* x, int n, int w) {
  std::vector<double> smooth(static_cast<std::size_t>(n));
  const int half = w / 2;
  for (int i = 0; i < n; ++i) {
    double sum = 0;
    for (int d = -half; d <= half; ++d)
      sum += x[((i + d) % n + n) % n];
    smooth[static_cast<std::size_t>(i)] = sum / w;
  }
  return smooth;
}

// Excursions above +thr that follow a stay below -thr, counted round the period from a trough.
int CountCrests(const double* x, int n, int w) {
  std::vector<double> s = PeriodicAverage(x, n, w);
  const double mean = std::accumulate(s.begin(), s.end(), 0.0) / n;
  for (double& v : s)
    v -= mean;
  const double thr = 0.25 * PopulationStd(s.data(), s.size());
  if (!(thr > 0)) return 0;
  const auto trough = std::find_if(s.begin(), s.end(), [thr](double v) { return v < -thr; });
  if (trough == s.end()) return 0;
  const int start = static_cast<int>(trough - s.begin());
  int crests = 0;
  bool inTrough = true;
  for (int k = 1; k <= n; ++k) {
    const double v = s[static_cast<std::size_t>((start + k) % n)];
    if (inTrough && v > thr) {
      ++crests;
      inTrough = false;
    } else if (v < -thr) {
      inTrough = true;
    }
  }
  return crests;
}

struct Slopes {
  double stossFraction = kNan, stossSlope = kNan, leeSlope = kNan, skewness = kNan;
};

// Differences of the heights smoothed along the wind by windows wholly inside the domain, all
// columns pooled. Window sums stay integers, so flat stretches give exactly 0.
Slopes MeasureSlopes(const Snapshot& snap, int w) {
  const int n = snap.rows - 1;
  std::vector<double> slopes;
  for (int j = 0; j < snap.columns && n > w; ++j) {
    std::int64_t window = 0;
    for (int i = 1; i <= w; ++i)
      window += snap.At(i, j);
    for (int i = 1; i + w <= n; ++i) {
      const std::int64_t next = window - snap.At(i, j) + snap.At(i + w, j);
      slopes.push_back(static_cast<double>(next - window) / w);
      window = next;
    }
  }
  Slopes result;
  double rise = 0, fall = 0;
  std::size_t up = 0, down = 0;
  for (const double v : slopes) {
    if (v > 0) ++up, rise += v;
    if (v < 0) ++down, fall -= v;
  }
  if (up + down > 0)
    result.stossFraction = static_cast<double>(up) / static_cast<double>(up + down);
  if (up > 0) result.stossSlope = rise / static_cast<double>(up);
  if (down > 0) result.leeSlope = fall / static_cast<double>(down);
  if (!slopes.empty()) {
    const double count = static_cast<double>(slopes.size());
    const double mean = std::accumulate(slopes.begin(), slopes.end(), 0.0) / count;
    double m2 = 0, m3 = 0;
    for (const double v : slopes) {
      m2 += (v - mean) * (v - mean);
      m3 += (v - mean) * (v - mean) * (v - mean);
    }
    m2 /= count;
    m3 /= count;
    if (m2 > 0) result.skewness = m3 / std::pow(m2, 1.5);
  }
  return result;
}

// Mean jump length over the sites that jump, and the share that do not, over every cell.
void MeasureSaltation(const Snapshot& snap, const JumpLength& jump, std::int32_t q, Measures& m) {
  double lengths = 0;
  std::size_t active = 0;
  std::vector<std::pair<std::int64_t, std::int32_t>> known;  // height, jump: few heights repeat
  for (const std::int64_t h : snap.cells) {
    if (h <= q) continue;
    ++active;
    auto found =
        std::find_if(known.begin(), known.end(), [h](const auto& k) { return k.first == h; });
    if (found == known.end()) {
      const auto height =
          static_cast<std::int32_t>(std::clamp<std::int64_t>(h, INT32_MIN, INT32_MAX));
      known.emplace_back(h, jump ? jump(height) : 0);
      found = known.end() - 1;
    }
    lengths += found->second;
  }
  const double cells = static_cast<double>(snap.cells.size());
  m.meanJump = active && jump ? lengths / static_cast<double>(active) : kNan;
  m.idleFraction = cells > 0 ? (cells - static_cast<double>(active)) / cells : kNan;
}

// The first column offset at which the crest pattern decorrelates below 1/e.
double CrestCorrelationLength(const Field& x) {
  const int columns = x.columns, n = x.n, most = (columns - 1) / 2;
  Field smooth = x;
  for (int j = 0; j < columns; ++j) {
    const std::vector<double> s = PeriodicAverage(x.Column(j), n, 3);
    std::copy(s.begin(), s.end(), smooth.Column(j));
  }
  std::vector<double> energy(static_cast<std::size_t>(columns), 0.0);
  for (int j = 0; j < columns; ++j) {
    for (int i = 0; i < n; ++i)
      energy[static_cast<std::size_t>(j)] += smooth.Column(j)[i] * smooth.Column(j)[i];
  }
  const double threshold = std::exp(-1.0);
  double previous = 1.0;  // C(0)
  for (int d = 1; d <= most; ++d) {
    double product = 0, left = 0, right = 0;
    for (int j = 0; j + d < columns; ++j) {
      const double* a = smooth.Column(j);
      const double* b = smooth.Column(j + d);
      for (int i = 0; i < n; ++i)
        product += a[i] * b[i];
      left += energy[static_cast<std::size_t>(j)];
      right += energy[static_cast<std::size_t>(j + d)];
    }
    const double c = left > 0 && right > 0 ? product / std::sqrt(left * right) : kNan;
    if (c < threshold) return (d - 1) + (previous - threshold) / (previous - c);
    previous = c;
  }
  return kNan;
}

double ColumnCentroid(const Snapshot& snap) {
  double weighted = 0, total = 0;
  for (int j = 0; j < snap.columns; ++j) {
    double column = 0;
    for (int i = 0; i < snap.rows; ++i)
      column += static_cast<double>(snap.At(i, j));
    weighted += j * column;
    total += column;
  }
  return total != 0 ? weighted / total : kNan;
}

// The shift of the previous field that best matches this one, within half its wavelength,
// refined between integers by a parabola through the peak and its neighbours.
void Migrate(Spectra& spectra, const Field& before, const Field& now, int divisor, double interval,
             Measures& m) {
  if (before.n != now.n || before.columns != now.columns || before.x.empty()) return;
  const int n = now.n;
  const std::vector<double> power = spectra.Power(before.x.data(), n, now.columns);
  const double reach = WavelengthCentroid(power, n, divisor) / 2;
  double a2 = 0, b2 = 0;
  for (std::size_t k = 0; k < now.x.size(); ++k) {
    a2 += before.x[k] * before.x[k];
    b2 += now.x[k] * now.x[k];
  }
  if (!(reach >= 0) || !(a2 > 0) || !(b2 > 0)) return;
  const std::vector<double> c =
      spectra.CrossCorrelation(before.x.data(), now.x.data(), n, now.columns);
  const auto at = [&](int s) {
    return c[static_cast<std::size_t>(((s % n) + n) % n)] / std::sqrt(a2 * b2);
  };
  const int most = std::min(static_cast<int>(reach), n / 2);
  int best = 0;
  for (int s = -most; s <= most; ++s) {
    if (at(s) > at(best) || (at(s) == at(best) && std::abs(s) < std::abs(best))) best = s;
  }
  const double left = at(best - 1), centre = at(best), right = at(best + 1);
  const double curvature = left - 2 * centre + right;
  const double offset = curvature != 0 ? (left - right) / (2 * curvature) : 0.0;
  m.speedCorrelation = centre;
  m.speed = interval > 0 ? (best + offset) / interval : kNan;
}

}  // namespace

struct RippleStatistics::Work {
  Spectra spectra;
  Field previous;
};

RippleStatistics::RippleStatistics(Model model) : model_(model), work_(std::make_unique<Work>()) {}
RippleStatistics::~RippleStatistics() = default;

Measures RippleStatistics::Measure(const Snapshot& snap, double initialTotal,
                                   const JumpLength& jump, std::int32_t q, double interval) {
  const Settings settings = SettingsOf(model_);
  Measures m;
  std::fill_n(reinterpret_cast<double*>(&m), sizeof m / sizeof(double), kNan);
  double sand = 0;
  for (const std::int64_t h : snap.cells)
    sand += static_cast<double>(h);
  m.sand = sand;
  m.sandOutside = initialTotal - sand;
  m.mean = snap.cells.empty() ? kNan : sand / static_cast<double>(snap.cells.size());
  MeasureSaltation(snap, jump, q, m);
  if (model_ == Model::Bed) m.columnCentroid = ColumnCentroid(snap);
  if (model_ == Model::Profile && snap.rows > 1)
    m.endStep = static_cast<double>(snap.At(snap.rows - 1, 0) - snap.At(1, 0));
  if (snap.rows < 2 || snap.columns < 1) return m;

  const Field x = Detrended(snap, model_);
  m.rms = PopulationStd(x.x.data(), x.x.size());
  const std::vector<double> power = work_->spectra.Power(x.x.data(), x.n, x.columns);
  m.wavelengthPeak = WavelengthPeak(power, x.n);
  m.wavelengthCentroid = WavelengthCentroid(power, x.n, settings.centroidDivisor);
  double crests = 0;
  for (int j = 0; j < x.columns; ++j)
    crests += CountCrests(x.Column(j), x.n, settings.smoothing);
  m.crests = crests / x.columns;
  m.crestSpacing = m.crests > 0 ? x.n / m.crests : kNan;
  const Slopes slopes = MeasureSlopes(snap, settings.smoothing);
  m.stossFraction = slopes.stossFraction;
  m.stossSlope = slopes.stossSlope;
  m.leeSlope = slopes.leeSlope;
  m.slopeSkewness = slopes.skewness;
  if (model_ == Model::Bed) m.crestCorrelationLength = CrestCorrelationLength(x);
  Migrate(work_->spectra, work_->previous, x, settings.centroidDivisor, interval, m);
  work_->previous = x;
  return m;
}

std::vector<double> RippleStatistics::PreviousField() const {
  return work_->previous.x;
}

void RippleStatistics::SetPreviousField(std::vector<double> field, int rows, int columns) {
  work_->previous = Field{rows - 1, columns, std::move(field)};
}

}  // namespace analysis
