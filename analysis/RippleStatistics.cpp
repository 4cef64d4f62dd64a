#include "analysis/RippleStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numeric>

#include "analysis/Fourier.h"

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
  double squares = 0;  ///< the sum of x^2, where Detrend made x

  const double* Column(int j) const { return x.data() + static_cast<std::size_t>(j) * n; }
  double* Column(int j) { return x.data() + static_cast<std::size_t>(j) * n; }
};

// Every cell's column and height: a snapshot's row by row, an array's column by column.
template <class F>
void ForEachCell(const Snapshot& s, F f) {
  for (std::size_t k = 0; k < s.cells.size(); ++k)
    f(static_cast<int>(k % static_cast<std::size_t>(s.columns)), s.cells[k]);
}
template <class F>
void ForEachCell(const ColumnHeights& h, F f) {
  for (int j = 0; j < h.columns; ++j) {
    const std::int32_t* column = h.Column(j);
    for (int i = 0; i < h.rows; ++i)
      f(j, std::int64_t{column[i]});
  }
}

template <class Heights>
std::pair<std::int64_t, std::int64_t> LowHigh(const Heights& h) {
  std::int64_t low = std::numeric_limits<std::int64_t>::max(), high = -low - 1;
  ForEachCell(h, [&](int, std::int64_t v) {
    low = std::min(low, v);
    high = std::max(high, v);
  });
  return {low, high};
}

// Column j's domain cells minus its trend (the profile's least-squares line, a bed column's
// mean), into x; their squares added to squares in order. Returns the column's mean.
template <class Heights>
double DetrendColumn(const Heights& s, int j, int n, Model model, double* x, double& squares) {
  double sumH = 0, sumIH = 0;
  for (int i = 0; i < n; ++i) {
    x[i] = static_cast<double>(s.At(i + 1, j));
    sumH += x[i];
    sumIH += x[i] * (i + 1);
  }
  const double count = n;
  double slope = 0, intercept = sumH / count;
  if (model == Model::Profile && n > 1) {
    const double meanI = (count + 1) / 2, sumII = count * (count + 1) * (2 * count + 1) / 6;
    slope = (sumIH - count * meanI * (sumH / count)) / (sumII - count * meanI * meanI);
    intercept = sumH / count - slope * meanI;
  }
  for (int i = 0; i < n; ++i) {
    x[i] -= intercept + slope * (i + 1);
    squares += x[i] * x[i];
  }
  return intercept;
}

// The profile minus its least-squares line; each column of a bed minus its own mean.
void Detrend(const Snapshot& s, Model model, Field& field) {
  double squares = 0;
  field.n = s.rows - 1;
  field.columns = s.columns;
  field.x.resize(static_cast<std::size_t>(field.n) * field.columns);
  for (int j = 0; j < field.columns; ++j)
    DetrendColumn(s, j, field.n, model, field.Column(j), squares);
  field.squares = squares;
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

// Periodic moving average of width w (odd), centred: a running sum, wrapped by hand. Returns
// the mean and the population standard deviation of what it made.
std::pair<double, double> PeriodicAverage(const double* x, int n, int w, double* smooth) {
  const int half = w / 2;
  const auto wrap = [n](int i) { return ((i % n) + n) % n; };
  double sum = 0;
  for (int d = -half; d <= half; ++d)
    sum += x[wrap(d)];
  int leaving = wrap(-half), entering = wrap(half + 1);
  double total = 0, squares = 0;
  for (int i = 0; i < n; ++i) {
    smooth[i] = sum / w;
    total += smooth[i];
    squares += smooth[i] * smooth[i];
    sum += x[entering] - x[leaving];
    if (++entering == n) entering = 0;
    if (++leaving == n) leaving = 0;
  }
  const double mean = total / n;
  return {mean, std::sqrt(std::max(squares / n - mean * mean, 0.0))};
}

// Every column of a field smoothed along the wind, with each column's mean and deviation.
void Smooth(const Field& x, int w, Field& smooth, std::vector<std::pair<double, double>>& moments) {
  smooth.n = x.n;
  smooth.columns = x.columns;
  smooth.x.resize(x.x.size());
  moments.resize(static_cast<std::size_t>(x.columns));
  for (int j = 0; j < x.columns; ++j)
    moments[static_cast<std::size_t>(j)] = PeriodicAverage(x.Column(j), x.n, w, smooth.Column(j));
}

// Excursions above +thr that follow a stay below -thr, counted round the period from a trough.
int CountCrests(const double* smooth, int n, double mean, double deviation) {
  const double thr = 0.25 * deviation;
  if (!(thr > 0)) return 0;
  const double* end = smooth + n;
  const auto s = [&](int i) { return smooth[i] - mean; };
  const double* trough = std::find_if(smooth, end, [&](double v) { return v - mean < -thr; });
  if (trough == end) return 0;
  const int start = static_cast<int>(trough - smooth);
  int crests = 0;
  bool inTrough = true;
  for (int k = 1, i = start + 1; k <= n; ++k, ++i) {
    if (i == n) i = 0;
    const double v = s(i);
    if (inTrough && v > thr) {
      ++crests;
      inTrough = false;
    } else if (v < -thr) {
      inTrough = true;
    }
  }
  return crests;
}

// Sum of a[i] b[i], in four independent running sums that the processor can overlap.
double Dot(const double* a, const double* b, int n) {
  double sum[4] = {0, 0, 0, 0};
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    for (int k = 0; k < 4; ++k)
      sum[k] += a[i + k] * b[i + k];
  }
  for (; i < n; ++i)
    sum[0] += a[i] * b[i];
  return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}

struct Slopes {
  double stossFraction = kNan, stossSlope = kNan, leeSlope = kNan, skewness = kNan;
};

// Differences of the heights smoothed along the wind by windows wholly inside the domain, all
// columns pooled. Window sums stay integers, so flat stretches give exactly 0.
template <class Heights>
Slopes MeasureSlopes(const Heights& snap, int w) {
  const int n = snap.rows - 1, columns = snap.columns;
  // Sums of the window sums' changes, w times the slopes: integers, exact and cheap; the
  // moments are formed from them once at the end.
  double sum2 = 0, sum3 = 0;
  std::int64_t count = 0, sum = 0, up = 0, down = 0, rise = 0, fall = 0;
  for (int i = 1; i + w <= n; ++i) {
    for (int j = 0; j < columns; ++j) {
      const std::int64_t change = snap.At(i + w, j) - snap.At(i, j);
      const double v = static_cast<double>(change);
      sum += change;
      sum2 += v * v;
      sum3 += v * v * v;
      up += change > 0;
      down += change < 0;
      rise += change > 0 ? change : 0;
      fall += change < 0 ? -change : 0;
    }
    count += columns;
  }
  Slopes result;
  if (up + down > 0) result.stossFraction = double(up) / double(up + down);
  if (up > 0) result.stossSlope = double(rise) / w / double(up);
  if (down > 0) result.leeSlope = double(fall) / w / double(down);
  if (count > 0) {
    const double c = double(count), mean = double(sum) / c;
    const double m2 = sum2 / c - mean * mean;
    const double m3 = sum3 / c - 3 * mean * sum2 / c + 2 * mean * mean * mean;
    // Skewness does not depend on the scale w.
    if (m2 > 1e-9) result.skewness = m3 / std::pow(m2, 1.5);
  }
  return result;
}

// Mean jump length over the sites that jump, and the share that do not, over every cell; each
// height's jump is asked for once.
template <class Heights>
void MeasureSaltation(const Heights& snap, const JumpLength& jump, std::int32_t q, Measures& m) {
  const std::int64_t cells = std::int64_t{snap.rows} * snap.columns;
  if (cells == 0) return;
  const auto [low, high] = LowHigh(snap);
  std::int64_t active = 0;
  double sum = 0;
  if (jump && high - low < (1 << 22)) {
    // A jump per height present (0 for those that do not jump), then one look-up per cell.
    std::vector<double> lengths(static_cast<std::size_t>(high - low + 1));
    for (std::size_t k = 0; k < lengths.size(); ++k) {
      const std::int64_t h = low + static_cast<std::int64_t>(k);
      lengths[k] = h > q ? jump(static_cast<std::int32_t>(h)) : 0;
    }
    ForEachCell(snap, [&, low = low](int, std::int64_t h) {
      active += h > q;
      sum += lengths[static_cast<std::size_t>(h - low)];
    });
  } else {
    ForEachCell(snap, [&](int, std::int64_t h) {
      active += h > q;
      if (h > q && jump) sum += jump(static_cast<std::int32_t>(h));
    });
  }
  const double all = static_cast<double>(cells);
  m.idleFraction = (all - static_cast<double>(active)) / all;
  if (jump && active > 0) m.meanJump = sum / static_cast<double>(active);
}

// The first column offset at which the crest pattern decorrelates below 1/e: from
// product(d), the sum over columns of their products at offset d, and margins(d), the energy
// of the columns on either side of those products.
template <class Product, class Margins>
double DecorrelationLength(int columns, Product product, Margins margins) {
  const int most = (columns - 1) / 2;
  const double threshold = std::exp(-1.0);
  double previous = 1.0;  // C(0)
  for (int d = 1; d <= most; ++d) {
    const auto [left, right] = margins(d);
    const double p = product(d);
    const double c = left > 0 && right > 0 ? p / std::sqrt(left * right) : kNan;
    if (c < threshold) return (d - 1) + (previous - threshold) / (previous - c);
    previous = c;
  }
  return kNan;
}

// smooth is the field smoothed along the wind by width 3.
double CrestCorrelationLength(const Field& smooth) {
  const int columns = smooth.columns, n = smooth.n;
  std::vector<double> energy(static_cast<std::size_t>(columns), 0.0);
  for (int j = 0; j < columns; ++j)
    energy[static_cast<std::size_t>(j)] = Dot(smooth.Column(j), smooth.Column(j), n);
  const auto product = [&](int d) {
    double sum = 0;
    for (int j = 0; j + d < columns; ++j)
      sum += Dot(smooth.Column(j), smooth.Column(j + d), n);
    return sum;
  };
  const auto margins = [&](int d) {
    double left = 0, right = 0;
    for (int j = 0; j + d < columns; ++j) {
      left += energy[static_cast<std::size_t>(j)];
      right += energy[static_cast<std::size_t>(j + d)];
    }
    return std::pair(left, right);
  };
  return DecorrelationLength(columns, product, margins);
}

template <class Heights>
double ColumnCentroid(const Heights& snap) {
  std::vector<double> mass(static_cast<std::size_t>(snap.columns), 0.0);
  ForEachCell(snap, [&](int j, std::int64_t h) { mass[static_cast<std::size_t>(j)] += h; });
  double weighted = 0, total = 0;
  for (int j = 0; j < snap.columns; ++j) {
    weighted += j * mass[static_cast<std::size_t>(j)];
    total += mass[static_cast<std::size_t>(j)];
  }
  return total != 0 ? weighted / total : kNan;
}

// The shift of the previous field that best matches this one, within half its wavelength,
// refined between integers by a parabola through the peak and its neighbours.
void Migrate(Fourier& spectra, const HalfSpectra& before, double a2, double reach,
             const HalfSpectra& now, double b2, double interval, Measures& m) {
  if (before.n != now.n || before.count != now.count || before.bins.empty()) return;
  const int n = now.n;
  if (!(reach >= 0) || !(a2 > 0) || !(b2 > 0)) return;
  const std::vector<double> c = spectra.CrossCorrelation(before, now);
  const double norm = std::sqrt(a2 * b2);
  const auto at = [&](int s) { return c[static_cast<std::size_t>(((s % n) + n) % n)] / norm; };
  const int most = std::min(static_cast<int>(reach), n / 2);
  int best = 0;
  for (int s = -most; s <= most; ++s) {
    if (at(s) > at(best) || (at(s) == at(best) && std::abs(s) < std::abs(best))) best = s;
  }
  // Only a maximum is refined, and by at most half a cell: at the window's edge the peak may
  // lie beyond it, where a flat or upturned parabola would put it anywhere.
  const double left = at(best - 1), centre = at(best), right = at(best + 1);
  const double curvature = left - 2 * centre + right;
  const double offset =
      curvature < 0 ? std::clamp((left - right) / (2 * curvature), -0.5, 0.5) : 0.0;
  m.speedCorrelation = centre;
  m.speed = interval > 0 ? (best + offset) / interval : kNan;
}

}  // namespace

// Buffers kept from one snapshot to the next, which come at one size: fresh ones of this size
// would cost more in page faults than the measures themselves.
struct RippleStatistics::Work {
  Fourier spectra;
  Field current, smooth;
  std::vector<std::pair<double, double>> moments;  ///< of each smoothed column
  HalfSpectra bins;
  Field previous;               ///< the last snapshot's detrended field
  HalfSpectra previousBins;     ///< and its spectra
  double previousReach = kNan;  ///< half its wavelength centroid
};

RippleStatistics::RippleStatistics(Model model) : model_(model), work_(std::make_unique<Work>()) {}
RippleStatistics::~RippleStatistics() = default;

namespace {

// What needs no field: the sand budget, saltation, the centroid across the wind, the end step.
template <class Heights>
Measures Budget(const Heights& snap, Model model, double initialTotal, const JumpLength& jump,
                std::int32_t q) {
  Measures m;
  std::fill_n(reinterpret_cast<double*>(&m), sizeof m / sizeof(double), kNan);
  const std::int64_t cells = std::int64_t{snap.rows} * snap.columns;
  double sand = 0;
  ForEachCell(snap, [&](int, std::int64_t h) { sand += static_cast<double>(h); });
  m.sand = sand;
  m.sandOutside = initialTotal - sand;
  m.mean = cells == 0 ? kNan : sand / static_cast<double>(cells);
  MeasureSaltation(snap, jump, q, m);
  if (model == Model::Bed) m.columnCentroid = ColumnCentroid(snap);
  if (model == Model::Profile && snap.rows > 1)
    m.endStep = static_cast<double>(snap.At(snap.rows - 1, 0) - snap.At(1, 0));
  return m;
}

template <class Heights>
void PutSlopes(const Heights& snap, int w, Measures& m) {
  const Slopes slopes = MeasureSlopes(snap, w);
  m.stossFraction = slopes.stossFraction;
  m.stossSlope = slopes.stossSlope;
  m.leeSlope = slopes.leeSlope;
  m.slopeSkewness = slopes.skewness;
}

void PutCrests(double crests, int columns, int n, Measures& m) {
  m.crests = crests / columns;
  m.crestSpacing = m.crests > 0 ? n / m.crests : kNan;
}

// The smallest length of factors 2, 3 and 5 alone at least m: fast transforms.
int SmoothLength(int m) {
  for (int length = std::max(m, 1);; ++length) {
    int rest = length;
    for (const int f : {2, 3, 5}) {
      while (rest % f == 0)
        rest /= f;
    }
    if (rest == 1) return length;
  }
}

// What a bounded measure sums column by column: in the order the whole field's measures
// take them, so that each is the same number.
struct ColumnSums {
  double squares = 0, speedSquares = 0, crests = 0;
  std::vector<double> power, energy, means;
};

// Detrends, transforms and smooths one column at a time; keeps every stride-th column's
// detrended heights in speed.
ColumnSums PassColumns(const ColumnHeights& h, int stride, Fourier& spectra, Field& speed) {
  const int n = h.rows - 1, w = SettingsOf(Model::Bed).smoothing;
  ColumnSums sums;
  speed.n = n;
  speed.columns = (h.columns + stride - 1) / stride;
  speed.x.resize(static_cast<std::size_t>(n) * speed.columns);
  sums.power.assign(static_cast<std::size_t>(n / 2 + 1), 0.0);
  sums.energy.resize(static_cast<std::size_t>(h.columns));
  sums.means.resize(static_cast<std::size_t>(h.columns));
  std::vector<double> x(static_cast<std::size_t>(n)), smooth(x.size());
  HalfSpectra bins;
  for (int j = 0; j < h.columns; ++j) {
    sums.means[static_cast<std::size_t>(j)] =
        DetrendColumn(h, j, n, Model::Bed, x.data(), sums.squares);
    spectra.Transform(x.data(), n, 1, bins);
    for (std::size_t k = 0; k < sums.power.size(); ++k)
      sums.power[k] += std::norm(bins.bins[k]);
    const auto [mean, deviation] = PeriodicAverage(x.data(), n, w, smooth.data());
    sums.crests += CountCrests(smooth.data(), n, mean, deviation);
    sums.energy[static_cast<std::size_t>(j)] = Dot(smooth.data(), smooth.data(), n);
    if (j % stride != 0) continue;
    std::copy(x.begin(), x.end(), speed.Column(j / stride));
    for (const double v : x)
      sums.speedSquares += v * v;
  }
  for (double& p : sums.power)
    p /= h.columns;
  speed.squares = sums.speedSquares;
  return sums;
}

// The crest correlation from the products of the width-3 smoothing at every offset across the
// wind at once: each row's transform, zero-padded, bands of rows at a time.
double CrestCorrelationAcross(const ColumnHeights& h, const ColumnSums& sums, Fourier& spectra) {
  const int n = h.rows - 1, columns = h.columns;
  if (columns < 3) return kNan;
  const int length = SmoothLength(2 * columns - 1);
  // Rows a band: 32, or fewer where 32 of them would take more than 4 MiB.
  const int bandRows = static_cast<int>(std::clamp<std::int64_t>((4 << 20) / (8 * length), 1, 32));
  std::vector<double> band(static_cast<std::size_t>(bandRows) * length, 0.0);
  std::vector<double> products(static_cast<std::size_t>(columns), 0.0);
  HalfSpectra bins;
  for (int first = 0; first < n; first += bandRows) {
    const int rows = std::min(bandRows, n - first);
    for (int j = 0; j < columns; ++j) {
      const std::int32_t* cells = h.Column(j) + 1;  // the domain, field row 0 first
      const double mean = sums.means[static_cast<std::size_t>(j)];
      for (int r = 0; r < rows; ++r) {
        const int f = first + r, before = f == 0 ? n - 1 : f - 1, after = f + 1 == n ? 0 : f + 1;
        band[static_cast<std::size_t>(r) * length + j] =
            ((cells[before] - mean) + (cells[f] - mean) + (cells[after] - mean)) / 3;
      }
    }
    spectra.Transform(band.data(), length, rows, bins);
    const std::vector<double> c = spectra.CrossCorrelation(bins, bins);
    for (int d = 0; d < columns; ++d)
      products[static_cast<std::size_t>(d)] += c[static_cast<std::size_t>(d)];
  }
  // The energies on either side as running sums: each offset in constant time.
  std::vector<double> below(static_cast<std::size_t>(columns) + 1, 0.0), above(below);
  for (int j = 0; j < columns; ++j)
    below[static_cast<std::size_t>(j) + 1] = below[static_cast<std::size_t>(j)] + sums.energy[j];
  for (int j = columns - 1; j >= 0; --j)
    above[static_cast<std::size_t>(j)] = above[static_cast<std::size_t>(j) + 1] + sums.energy[j];
  return DecorrelationLength(
      columns, [&](int d) { return products[static_cast<std::size_t>(d)]; },
      [&](int d) {
        return std::pair(below[static_cast<std::size_t>(columns - d)],
                         above[static_cast<std::size_t>(d)]);
      });
}

// A snapshot column by column, as an array holds it.
std::vector<std::int32_t> ByColumns(const Snapshot& snap) {
  std::vector<std::int32_t> cells(snap.cells.size());
  for (int i = 0; i < snap.rows; ++i) {
    for (int j = 0; j < snap.columns; ++j)
      cells[static_cast<std::size_t>(j) * snap.rows + i] = static_cast<std::int32_t>(snap.At(i, j));
  }
  return cells;
}

}  // namespace

bool Bounded(Model model, std::int64_t rows, std::int64_t columns) {
  return model == Model::Bed && ((rows - 1) * columns > kBoundedCells || columns > kBoundedColumns);
}

int SpeedStride(int rows, int columns) {
  constexpr std::int64_t kSpeedBytes = 16 << 20;
  const std::int64_t column = std::max<std::int64_t>(rows - 1, 1) * std::int64_t{sizeof(double)};
  const std::int64_t most = std::max<std::int64_t>(kSpeedBytes / column, 1);
  return static_cast<int>(std::max<std::int64_t>((columns + most - 1) / most, 1));
}

std::int64_t FieldValues(Model model, int rows, int columns) {
  const std::int64_t n = std::max(rows - 1, 0);
  if (!Bounded(model, rows, columns)) return n * columns;
  const int stride = SpeedStride(rows, columns);
  return n * ((columns + stride - 1) / stride);
}

Measures RippleStatistics::Measure(const Snapshot& snap, double initialTotal,
                                   const JumpLength& jump, std::int32_t q, double interval) {
  if (Bounded(model_, snap.rows, snap.columns)) {
    const std::vector<std::int32_t> cells = ByColumns(snap);
    const ColumnHeights heights{snap.rows, snap.columns, cells.data(), snap.rows};
    return Measure(heights, initialTotal, jump, q, interval);
  }
  const Settings settings = SettingsOf(model_);
  Measures m = Budget(snap, model_, initialTotal, jump, q);
  if (snap.rows < 2 || snap.columns < 1) return m;

  Field& x = work_->current;
  Detrend(snap, model_, x);
  // The detrended field has mean 0, so its standard deviation is its root mean square.
  m.rms = std::sqrt(x.squares / static_cast<double>(x.x.size()));
  HalfSpectra& bins = work_->bins;
  work_->spectra.Transform(x.x.data(), x.n, x.columns, bins);
  const std::vector<double> power = bins.Power();
  m.wavelengthPeak = WavelengthPeak(power, x.n);
  m.wavelengthCentroid = WavelengthCentroid(power, x.n, settings.centroidDivisor);
  Smooth(x, settings.smoothing, work_->smooth, work_->moments);
  double crests = 0;
  for (int j = 0; j < x.columns; ++j) {
    const auto [mean, deviation] = work_->moments[static_cast<std::size_t>(j)];
    crests += CountCrests(work_->smooth.Column(j), x.n, mean, deviation);
  }
  PutCrests(crests, x.columns, x.n, m);
  PutSlopes(snap, settings.smoothing, m);
  // The bed's crests are found on the same width-3 smoothing as its correlation needs.
  if (model_ == Model::Bed) m.crestCorrelationLength = CrestCorrelationLength(work_->smooth);
  Compare(m, x.squares, interval);
  return m;
}

Measures RippleStatistics::Measure(const ColumnHeights& h, double initialTotal,
                                   const JumpLength& jump, std::int32_t q, double interval) {
  const Settings settings = SettingsOf(Model::Bed);
  Measures m = Budget(h, Model::Bed, initialTotal, jump, q);
  if (h.rows < 2 || h.columns < 1) return m;
  const int n = h.rows - 1;
  Field& speed = work_->current;
  const ColumnSums sums = PassColumns(h, SpeedStride(h.rows, h.columns), work_->spectra, speed);
  m.rms = std::sqrt(sums.squares / static_cast<double>(std::int64_t{n} * h.columns));
  m.wavelengthPeak = WavelengthPeak(sums.power, n);
  m.wavelengthCentroid = WavelengthCentroid(sums.power, n, settings.centroidDivisor);
  PutCrests(sums.crests, h.columns, n, m);
  PutSlopes(h, settings.smoothing, m);
  m.crestCorrelationLength = CrestCorrelationAcross(h, sums, work_->spectra);
  work_->spectra.Transform(speed.x.data(), n, speed.columns, work_->bins);
  Compare(m, speed.squares, interval);
  return m;
}

// Speed against the previous field, which this one (work_->current, its spectra in bins)
// then becomes.
void RippleStatistics::Compare(Measures& m, double squares, double interval) {
  Migrate(work_->spectra, work_->previousBins, work_->previous.squares, work_->previousReach,
          work_->bins, squares, interval, m);
  std::swap(work_->previous, work_->current);
  std::swap(work_->previousBins, work_->bins);
  work_->previousReach = m.wavelengthCentroid / 2;
  // A bed flat to within a grain has no shape: its spectrum, crests and shift are noise.
  if (m.rms < 1) {
    m.wavelengthPeak = m.wavelengthCentroid = kNan;
    m.crests = m.crestSpacing = kNan;
    m.speed = m.speedCorrelation = kNan;
  }
}

namespace {

template <class Heights>
std::string Meaningless(const Heights& start, const JumpLength& jump, std::int32_t q) {
  if (std::int64_t{start.rows} * start.columns == 0 || !jump) return {};
  const auto [low, high] = LowHigh(start);
  if (high <= q) {
    return "q " + std::to_string(q) + " is at least every starting height (at most " +
           std::to_string(high) + "): nothing can jump";
  }
  // The jump is linear in the height, so its longest is at one end of the heights that jump.
  const auto length = [&](std::int64_t h) {
    return std::abs(static_cast<std::int64_t>(jump(static_cast<std::int32_t>(h))));
  };
  const std::int64_t first = std::max<std::int64_t>(low, std::int64_t{q} + 1);
  const std::int64_t from = length(first) >= length(high) ? first : high;
  const std::int64_t along = start.rows - 1;
  if (length(from) <= along) return {};
  const bool against = jump(static_cast<std::int32_t>(from)) < 0;
  return "a jump from height " + std::to_string(from) + " is " + std::to_string(length(from)) +
         (against ? " cells against the wind" : " cells") + ", longer than the bed's " +
         std::to_string(along) + " along the wind";
}

}  // namespace

std::string MeaninglessStart(const Snapshot& start, const JumpLength& jump, std::int32_t q) {
  return Meaningless(start, jump, q);
}

std::string MeaninglessStart(const ColumnHeights& start, const JumpLength& jump, std::int32_t q) {
  return Meaningless(start, jump, q);
}

std::vector<double> RippleStatistics::PreviousField() const {
  return work_->previous.x;
}

void RippleStatistics::SetPreviousField(std::vector<double> field, int rows, int columns) {
  // A bounded measure's field holds only the columns speed is taken from.
  const int n = rows - 1;
  if (n > 0 && Bounded(model_, rows, columns)) columns = static_cast<int>(field.size() / n);
  work_->previous = Field{n, columns, std::move(field), 0.0};
  Field& x = work_->previous;
  for (const double v : x.x)
    x.squares += v * v;
  work_->spectra.Transform(x.x.data(), x.n, x.columns, work_->previousBins);
  work_->previousReach =
      WavelengthCentroid(work_->previousBins.Power(), x.n, SettingsOf(model_).centroidDivisor) / 2;
}

}  // namespace analysis
