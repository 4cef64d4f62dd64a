// What a snapshot of either model says about its ripples: sand budget, roughness, wavelength,
// crests, slopes, migration and saltation, by one fixed set of definitions. Knows heights
// only: the runner hands them over, with the model's jump length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace analysis {

/// Heights of one snapshot: rows 0..rows-1 along the wind, each of `columns` cells. A profile
/// is cells 0..N in one column; a bed rows 0..L of columns 0..W. Row 0 lies outside the
/// periodic domain (rows 1..rows-1), as saltation wraps past the last row to row 1.
struct Snapshot {
  int rows = 0, columns = 0;
  std::vector<std::int64_t> cells;  ///< row by row

  std::int64_t At(int row, int column) const {
    return cells[static_cast<std::size_t>(row) * columns + column];
  }
};

enum class Model { Profile, Bed };

/// Heights as a bed's array holds them, read in place: column by column, each column `rows`
/// cells along the wind from row 0, columns `stride` cells apart.
struct ColumnHeights {
  int rows = 0, columns = 0;
  const std::int32_t* first = nullptr;  ///< row 0 of column 0
  std::ptrdiff_t stride = 0;

  const std::int32_t* Column(int column) const { return first + column * stride; }
  std::int64_t At(int row, int column) const { return Column(column)[row]; }
};

/// Beds of more cells or columns than these are measured in bounded memory and time (Bounded):
/// a few times a column's size beside the heights, however large the bed, and no step that
/// grows with the square of the columns.
inline constexpr std::int64_t kBoundedCells = std::int64_t{1} << 22, kBoundedColumns = 2048;

/// Whether a snapshot of rows x columns is measured in bounded memory. That way the crest
/// correlation comes from Fourier transforms across the wind (equal to the direct sums to
/// rounding), and speed from every SpeedStride-th column.
bool Bounded(Model model, std::int64_t rows, std::int64_t columns);

/// Which columns a bounded measure takes speed from: every stride-th from column 0, so that
/// the earlier field kept for it stays within 16 MiB.
int SpeedStride(int rows, int columns);

/// The values PreviousField holds after a snapshot of rows x columns: a bounded one's columns
/// speed is taken from, else the whole field.
std::int64_t FieldValues(Model model, int rows, int columns);

/// One row of statistics; NaN where a value is undefined (a flat bed has no wavelength).
struct Measures {
  double sand, sandOutside, mean, rms;
  double wavelengthPeak, wavelengthCentroid, crests, crestSpacing;
  double stossFraction, stossSlope, leeSlope, slopeSkewness;
  double speed, speedCorrelation;
  double meanJump, idleFraction;
  double endStep;                 ///< profile only
  double crestCorrelationLength;  ///< bed only
  double columnCentroid;          ///< bed only
};

/// Jump length of a site of this height, as the model computes it.
using JumpLength = std::function<std::int32_t(std::int32_t height)>;

/// Why a run from these starting heights means nothing, in words, or empty: no site is above
/// q, so nothing ever jumps; or a jump from a starting height is longer than the bed along
/// the wind, so the sand lands past where it rose.
std::string MeaninglessStart(const Snapshot& start, const JumpLength& jump, std::int32_t q);
std::string MeaninglessStart(const ColumnHeights& start, const JumpLength& jump, std::int32_t q);

class RippleStatistics {
 public:
  explicit RippleStatistics(Model model);
  ~RippleStatistics();
  RippleStatistics(const RippleStatistics&) = delete;
  RippleStatistics& operator=(const RippleStatistics&) = delete;

  /// Measures a snapshot; a bounded one (Bounded) through a copy of it column by column.
  /// initialTotal is the whole array's sand at the start (NaN when unknown); interval the steps or
  /// batches since the previous snapshot measured, whose field speed is taken against (the first
  /// has none: NaN).
  Measures Measure(const Snapshot& snapshot, double initialTotal, const JumpLength& jump,
                   std::int32_t q, double interval);

  /// Measures heights in place, in bounded memory, as a bounded snapshot is measured: beds only.
  Measures Measure(const ColumnHeights& heights, double initialTotal, const JumpLength& jump,
                   std::int32_t q, double interval);

  /// What the next Measure compares with: the previous snapshot's detrended field (of a bounded
  /// one, its columns speed is taken from), kept so a run can continue from a checkpoint.
  /// Empty before the first snapshot.
  std::vector<double> PreviousField() const;
  void SetPreviousField(std::vector<double> field, int rows, int columns);

 private:
  struct Work;
  void Compare(Measures& m, double squares, double interval);
  Model model_;
  std::unique_ptr<Work> work_;
};

}  // namespace analysis
