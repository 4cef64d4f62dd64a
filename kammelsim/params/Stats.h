// The options of kammelsim stats and kammel.statistics, of kammelsim resume, and the sizes of
// heights stats measures.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "kammelsim/params/Run.h"

namespace kammelsim::params {

struct StatsOptions {
  static constexpr Option b{
      "b", Type::Real, 0, 0, 2.0, {}, {}, "1", "the run's b, for the mean jump"};
  static constexpr Option wind{
      "wind", Type::Real, 0, 0, 5.0, {}, {}, "cells", "the run's wind, for the mean jump"};
  static constexpr Option q{"q",
                            Type::Integer,
                            0,
                            std::numeric_limits<std::int32_t>::max(),
                            1,
                            {},
                            {},
                            "grains",
                            "the run's q, for the idle fraction"};
  static constexpr Option previous{
      "previous", Type::Input, 0,
      0,          0,           {},
      {},         {},          "heights earlier in the same run, for the speed"};
  /// Above 0 too, which the reader of the factors checks.
  static constexpr Option interval{"interval",
                                   Type::Real,
                                   0,
                                   0,
                                   1.0,
                                   {},
                                   {},
                                   "batches or steps",
                                   "how much earlier --previous is"};

  static constexpr std::array<Option, 5> all = {b, wind, q, previous, interval};
};

/// The most heights stats measures: a bed's rows along the wind and columns across it, or a
/// profile's cells; as many as the largest run prints.
inline constexpr std::int64_t kMostRows = 1001, kMostColumns = 501, kMostCells = 10001;

struct ResumeOptions {
  static constexpr Option batches{"batches",
                                  Type::Integer,
                                  0,
                                  kMaxRunLength,
                                  0,
                                  {},
                                  "the recorded total",
                                  "batches",
                                  "the bed run's new total"};
  static constexpr Option steps{"steps",
                                Type::Integer,
                                0,
                                kMaxRunLength,
                                0,
                                {},
                                "the recorded total",
                                "steps",
                                "the profile run's new total"};
  static constexpr Option allowOutside{"allow-outside",
                                       Type::Flag,
                                       0,
                                       0,
                                       0,
                                       {},
                                       {},
                                       {},
                                       "outputs recorded outside the checkpoint's folder"};

  static constexpr std::array<Option, 3> all = {batches, steps, allowOutside};
};

}  // namespace kammelsim::params
