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

  static constexpr Option width{.name = "width",
                                .type = Type::Integer,
                                .min = 1,
                                .max = model2d::kMaxWideProfileWidth,
                                .number = double(d.layerWidth),
                                .unit = "cells",
                                .meaning = "cells along the wind, 0..N",
                                .place = 20};
  static constexpr Option thickness{.name = "thickness",
                                    .type = Type::Integer,
                                    .max = grains,
                                    .number = double(d.layerThickness),
                                    .unit = "grains",
                                    .meaning = "the sand's depth at the start",
                                    .place = 30};
  static constexpr Option b = FactorB(d.factorB, 50);
  static constexpr Option wind = FactorWind(d.windStrength, 60);
  static constexpr Option q = FactorQ(grains, d.factorQ, 70);
  static constexpr Option steps{.name = "steps",
                                .type = Type::Integer,
                                .max = kMaxRunLength,
                                .number = 1,
                                .unit = "steps",
                                .meaning = "steps to run",
                                .place = 80};

  static constexpr std::array<Option, 6> own = {width, thickness, b, wind, q, steps};
  static constexpr auto all = Join(own, kRunOptions);
};

}  // namespace kammelsim::params
