// The options of a bed run (kammelsim bed, kammel.Bed), for each program's settings: relief
// (kammel3) or map (kammel3map), whose beds differ in size and defaults, or open, a bed of any
// size with either program's batches.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "kammelsim/params/Run.h"
#include "model3d/RippleModel.h"
#include "scenarios/Scenarios.h"

namespace kammelsim::params {

template <class Settings>
constexpr const model3d::RippleParams& BedDefaults() {
  if constexpr (std::is_same_v<Settings, model3d::ReliefSettings>)
    return scenarios::kReliefDefaults;
  else
    return scenarios::kMapDefaults;
}

/// The largest L and W the settings take.
template <class Settings>
constexpr std::int64_t MaxLength() {
  if constexpr (std::is_same_v<Settings, model3d::OpenSettings>)
    return model3d::kMaxOpenLength;
  else
    return Settings::maxLength;
}
template <class Settings>
constexpr std::int64_t MaxWidth() {
  if constexpr (std::is_same_v<Settings, model3d::OpenSettings>)
    return model3d::kMaxOpenLength;
  else
    return Settings::maxWidth;
}

/// The settings a bed is run with: the same entry in both tables.
inline constexpr Option kSettings{.name = "settings",
                                  .type = Type::Choice,
                                  .word = "relief",
                                  .meaning = "the program whose bed it is, or open",
                                  .place = 10,
                                  .choices = "relief or map or open"};

/// Whose batches an open bed runs.
inline constexpr Option kSchedule{.name = "schedule",
                                  .type = Type::Choice,
                                  .word = "map",
                                  .meaning = "whose batches an open bed runs",
                                  .place = 15,
                                  .choices = "relief or map"};

/// How creep breaks ties between equally steep neighbours: the programs' first in a fixed
/// order, or without a preferred side (random, alternating). Recorded only when not first, so
/// that the programs' runs record what they always did.
inline constexpr Option kTies{.name = "ties",
                              .type = Type::Choice,
                              .word = "first",
                              .meaning = "creep's ties: the programs' order, or no preferred side",
                              .place = 95,
                              .choices = "first or random or alternating"};

/// Whether the columns wrap for creep; recorded only when they do.
inline constexpr Option kPeriodic{.name = "periodic",
                                  .type = Type::Choice,
                                  .word = "no",
                                  .meaning = "whether creep wraps the columns across the wind",
                                  .place = 96,
                                  .choices = "no or yes"};

/// A bed's options for Settings, then the run's.
template <class Settings>
struct BedOptions {
  static constexpr const model3d::RippleParams& d = BedDefaults<Settings>();
  static constexpr std::int64_t grains = model3d::kMaxGrains;
  static constexpr bool map = std::is_same_v<Settings, model3d::MapSettings>;
  static constexpr bool open = std::is_same_v<Settings, model3d::OpenSettings>;
  static constexpr std::int64_t most = std::numeric_limits<std::int32_t>::max();

  static constexpr Option length{.name = "length",
                                 .type = Type::Integer,
                                 .min = 1,
                                 .max = MaxLength<Settings>(),
                                 .number = double(d.layerLength),
                                 .unit = "cells",
                                 .meaning = "rows along the wind, 0..L",
                                 .place = 20};
  static constexpr Option width{.name = "width",
                                .type = Type::Integer,
                                .min = 1,
                                .max = MaxWidth<Settings>(),
                                .number = double(d.layerWidth),
                                .unit = "cells",
                                .meaning = "columns across the wind, 0..W",
                                .place = 30};
  static constexpr Option height{.name = "height",
                                 .type = Type::Integer,
                                 .max = grains,
                                 .number = double(d.layerHeight),
                                 .unit = "grains",
                                 .meaning = "the sand's depth at the start",
                                 .place = 40};
  static constexpr Option b = FactorB(d.factorB, 50);
  static constexpr Option wind = FactorWind(d.windStrength, 60);
  static constexpr Option q = FactorQ(grains, d.factorQ, 70);
  /// Read for every setting; the map draws with it, and so does an open bed's pictures: only
  /// they record it.
  static constexpr Option threshold{.name = "threshold",
                                    .type = Type::Integer,
                                    .min = -most - 1,
                                    .max = most,
                                    .fallback = "H0 + 1",
                                    .unit = "grains",
                                    .meaning = "the height the map draws bright",
                                    .place = map || open ? 100 : 0};
  static constexpr Option batches{.name = "batches",
                                  .type = Type::Integer,
                                  .max = kMaxRunLength,
                                  .number = 1,
                                  .unit = "batches",
                                  .meaning = "batches to run",
                                  .place = 80};

  static constexpr std::array<Option, 11> shared = {kSettings, length,  width, height,   b, wind, q,
                                                    threshold, batches, kTies, kPeriodic};
  /// An open bed's table also holds its schedule: the widest, which names every bed option.
  static constexpr auto own = [] {
    if constexpr (open)
      return Join(shared, std::array<Option, 1>{kSchedule});
    else
      return shared;
  }();
  static constexpr auto all = Join(own, kRunOptions);
};

}  // namespace kammelsim::params
