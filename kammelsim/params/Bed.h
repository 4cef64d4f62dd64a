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
inline constexpr Option kSettings{
    "settings", Type::Choice,   0, 0, 0, "relief", {}, {}, "the program whose bed it is",
    10,         "relief or map"};

/// A bed's options for Settings, then the run's.
template <class Settings>
struct BedOptions {
  static constexpr const model3d::RippleParams& d = BedDefaults<Settings>();
  static constexpr std::int64_t grains = model3d::kMaxGrains;
  static constexpr bool map = std::is_same_v<Settings, model3d::MapSettings>;
  static constexpr std::int64_t most = std::numeric_limits<std::int32_t>::max();

  static constexpr Option length{"length",
                                 Type::Integer,
                                 1,
                                 Settings::maxLength,
                                 double(d.layerLength),
                                 {},
                                 {},
                                 "cells",
                                 "rows along the wind, 0..L",
                                 20};
  static constexpr Option width{"width",
                                Type::Integer,
                                1,
                                Settings::maxWidth,
                                double(d.layerWidth),
                                {},
                                {},
                                "cells",
                                "columns across the wind, 0..W",
                                30};
  static constexpr Option height{"height",
                                 Type::Integer,
                                 0,
                                 grains,
                                 double(d.layerHeight),
                                 {},
                                 {},
                                 "grains",
                                 "the sand's depth at the start",
                                 40};
  static constexpr Option b{
      "b", Type::Real, 0, 0, d.factorB, {}, {}, "1", "how the jump grows with height", 50};
  static constexpr Option wind{"wind", Type::Real,     0,
                               0,      d.windStrength, {},
                               {},     "cells",        "the wind's strength: the jump at height 0",
                               60};
  static constexpr Option q{"q",      Type::Integer,           0, grains, double(d.factorQ), {}, {},
                            "grains", "grains a jump carries", 70};
  /// Read for both settings; only the map's draws with it, so only the map's records it.
  static constexpr Option threshold{"threshold",
                                    Type::Integer,
                                    -most - 1,
                                    most,
                                    0,
                                    {},
                                    "H0 + 1",
                                    "grains",
                                    "the height the map draws bright",
                                    map ? 100 : 0};
  static constexpr Option batches{"batches", Type::Integer,    0, kMaxRunLength, 1, {}, {},
                                  "batches", "batches to run", 80};

  static constexpr std::array<Option, 21> all = {kSettings,
                                                 length,
                                                 width,
                                                 height,
                                                 b,
                                                 wind,
                                                 q,
                                                 threshold,
                                                 batches,
                                                 kRunOptions[0],
                                                 kRunOptions[1],
                                                 kRunOptions[2],
                                                 kRunOptions[3],
                                                 kRunOptions[4],
                                                 kRunOptions[5],
                                                 kRunOptions[6],
                                                 kRunOptions[7],
                                                 kRunOptions[8],
                                                 kRunOptions[9],
                                                 kRunOptions[10],
                                                 kRunOptions[11]};
};

}  // namespace kammelsim::params
