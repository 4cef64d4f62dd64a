// The options of a profile run (kammelsim profile, kammel.Profile).
#pragma once

#include <array>

#include "kammelsim/params/Run.h"
#include "model2d/ProfileModel.h"
#include "scenarios/Scenarios.h"

namespace kammelsim::params {

struct ProfileOptions {
  static constexpr model2d::ProfileParams d = scenarios::kProfileDefaults;
  static constexpr std::int64_t grains = model2d::kMaxProfileGrains;

  static constexpr Option width{"width",
                                Type::Integer,
                                1,
                                model2d::kMaxProfileWidth,
                                double(d.layerWidth),
                                {},
                                {},
                                "cells",
                                "cells along the wind, 0..N",
                                20};
  static constexpr Option thickness{"thickness",
                                    Type::Integer,
                                    0,
                                    grains,
                                    double(d.layerThickness),
                                    {},
                                    {},
                                    "grains",
                                    "the sand's depth at the start",
                                    30};
  static constexpr Option b{
      "b", Type::Real, 0, 0, d.factorB, {}, {}, "1", "how the jump grows with height", 50};
  static constexpr Option wind{"wind", Type::Real,     0,
                               0,      d.windStrength, {},
                               {},     "cells",        "the wind's strength: the jump at height 0",
                               60};
  static constexpr Option q{"q",      Type::Integer,           0, grains, double(d.factorQ), {}, {},
                            "grains", "grains a jump carries", 70};
  static constexpr Option steps{"steps", Type::Integer,  0, kMaxRunLength, 1, {}, {},
                                "steps", "steps to run", 80};

  static constexpr std::array<Option, 18> all = {width,
                                                 thickness,
                                                 b,
                                                 wind,
                                                 q,
                                                 steps,
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
