// The space-time view: one pixel row per snapshot, one pixel column per cell along the wind,
// coloured by height over the run's range, with a legend of that range below.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/Headless.h"

namespace kammelsim {

/// The space-time view's rows so far and their range.
struct SpaceTimeCarry {
  std::vector<std::vector<float>> rows;
  double lowest = 0, highest = 0;
};

/// Perceptually uniform colour of t in 0..1 (viridis), as 0xRRGGBB.
std::uint32_t Viridis(double t);

class SpaceTime {
 public:
  /// Rows the view holds at most: a run with more snapshots must choose a larger interval.
  static constexpr std::int64_t kMaxRows = 4096;

  /// Adds the heights along the wind at one snapshot.
  void AddRow(const std::vector<double>& heights);
  /// The picture of every row so far; empty before the first.
  jheadless::Picture Draw() const;
  double Lowest() const { return lowest_; }
  const std::vector<std::vector<float>>& Rows() const { return rows_; }
  /// Takes up rows, and their range, as Rows, Lowest and Highest gave them.
  void Restore(std::vector<std::vector<float>> rows, double lowest, double highest);
  double Highest() const { return highest_; }

 private:
  std::vector<std::vector<float>> rows_;
  double lowest_ = 0, highest_ = 0;
};

/// The text of a number as the legend writes it: at most six significant digits.
std::string LegendNumber(double value);

}  // namespace kammelsim
