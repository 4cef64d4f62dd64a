// The options of a bed run (kammelsim bed, kammel.Bed), for each program's settings: relief
// (kammel3) or map (kammel3map), whose beds differ in size and defaults.
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
  if constexpr (std::is_same_v<Settings, model3d::MapSettings>)
    return scenarios::kMapDefaults;
  else
    return scenarios::kReliefDefaults;
}

/// The settings a bed is run with: the same entry in both tables.
inline constexpr Option kSettings{.name = "settings",
                                  .type = Type::Choice,
                                  .word = "relief",
                                  .meaning = "the program whose bed it is",
                                  .place = 10,
                                  .choices = "relief or map"};

/// A bed's options for Settings, then the run's.
template <class Settings>
struct BedOptions {
  static constexpr const model3d::RippleParams& d = BedDefaults<Settings>();
  static constexpr std::int64_t grains = model3d::kMaxGrains;
  static constexpr bool map = std::is_same_v<Settings, model3d::MapSettings>;
  static constexpr std::int64_t most = std::numeric_limits<std::int32_t>::max();

  static constexpr Option length{.name = "length",
                                 .type = Type::Integer,
                                 .min = 1,
                                 .max = Settings::maxLength,
                                 .number = double(d.layerLength),
                                 .unit = "cells",
                                 .meaning = "rows along the wind, 0..L",
                                 .place = 20};
  static constexpr Option width{.name = "width",
                                .type = Type::Integer,
                                .min = 1,
                                .max = Settings::maxWidth,
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
  /// Read for both settings; only the map's draws with it, so only the map's records it.
  static constexpr Option threshold{.name = "threshold",
                                    .type = Type::Integer,
                                    .min = -most - 1,
                                    .max = most,
                                    .fallback = "H0 + 1",
                                    .unit = "grains",
                                    .meaning = "the height the map draws bright",
                                    .place = map ? 100 : 0};
  static constexpr Option batches{.name = "batches",
                                  .type = Type::Integer,
                                  .max = kMaxRunLength,
                                  .number = 1,
                                  .unit = "batches",
                                  .meaning = "batches to run",
                                  .place = 80};

  static constexpr std::array<Option, 9> own = {kSettings, length, width,     height, b,
                                                wind,      q,      threshold, batches};
  static constexpr auto all = Join(own, kRunOptions);
};

}  // namespace kammelsim::params
