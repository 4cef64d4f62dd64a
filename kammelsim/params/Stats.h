// The options of kammelsim stats and kammel.statistics, of kammelsim resume, and the sizes of
// heights stats measures.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "kammelsim/params/Run.h"

namespace kammelsim::params {

struct StatsOptions {
  static constexpr Option b = FactorB(2.0);
  static constexpr Option wind = FactorWind(5.0);
  static constexpr Option q = FactorQ(std::numeric_limits<std::int32_t>::max(), 1);
  static constexpr Option previous{.name = "previous",
                                   .type = Type::Input,
                                   .meaning = "heights earlier in the same run, for the speed"};
  /// Above 0 too, which the reader of the factors checks.
  static constexpr Option interval{.name = "interval",
                                   .type = Type::Real,
                                   .number = 1.0,
                                   .unit = "batches or steps",
                                   .meaning = "how much earlier the previous heights are"};

  static constexpr std::array<Option, 5> all = {b, wind, q, previous, interval};
};

/// The most heights stats measures: a bed's rows along the wind and columns across it, and its
/// cells, or a profile's cells; as many as the largest open bed and wide profile print.
inline constexpr std::int64_t kMostRows = std::int64_t{1} << 21, kMostColumns = kMostRows;
inline constexpr std::int64_t kMostBedCells = (std::int64_t{1} << 31) - 1;
inline constexpr std::int64_t kMostCells = std::int64_t{1} << 21;

struct ResumeOptions {
  static constexpr Option batches{.name = "batches",
                                  .type = Type::Integer,
                                  .max = kMaxRunLength,
                                  .fallback = "the recorded total",
                                  .unit = "batches",
                                  .meaning = "the bed run's new total"};
  static constexpr Option steps{.name = "steps",
                                .type = Type::Integer,
                                .max = kMaxRunLength,
                                .fallback = "the recorded total",
                                .unit = "steps",
                                .meaning = "the profile run's new total"};
  static constexpr Option allowOutside{
      .name = "allow-outside",
      .type = Type::Flag,
      .meaning = "take outputs recorded outside the checkpoint's folder"};

  /// The model's parameters a resume may change; each model's table holds it to its range.
  static constexpr Option b = FactorB(0);
  static constexpr Option wind = FactorWind(0);
  static constexpr Option q = FactorQ(std::numeric_limits<std::int32_t>::max(), 0);

  static constexpr std::array<Option, 6> all = {batches, steps, allowOutside, b, wind, q};
};

}  // namespace kammelsim::params
