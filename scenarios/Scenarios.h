// The seeded scenarios that the tests, the benchmarks and kammelsim share: each program's
// dialog defaults and the largest beds and profiles.
#pragma once

#include <cstdint>
#include <memory>

#include "model2d/ProfileModel.h"
#include "model3d/RippleModel.h"

namespace scenarios {

/// The relief program's dialog defaults: L 300, W 30, H0 20, b 2.0, wind 5.0, q 1.
inline constexpr model3d::RippleParams kReliefDefaults{300, 30, 20, 2.0, 5.0, 1};
/// The map program's dialog defaults: L 300, W 150, H0 5, b 2.0, wind 5.0, q 1.
inline constexpr model3d::RippleParams kMapDefaults{300, 150, 5, 2.0, 5.0, 1};
/// The largest bed the map program accepts, with its other defaults.
inline constexpr model3d::RippleParams kLargestMapBed{1000, 500, 5, 2.0, 5.0, 1};

/// A new bed, off the stack: the parameters written, the grid initialised, the generator at seed.
template <class Settings>
std::unique_ptr<model3d::BedState<Settings>> MakeBed(const model3d::RippleParams& params,
                                                     std::uint32_t seed) {
  auto bed = std::make_unique<model3d::BedState<Settings>>();
  bed->params = params;
  model3d::InitRippleGrid(*bed);
  bed->random.state = seed;
  return bed;
}

/// A new open bed of the parameters' size with the schedule's batches, initialised, the
/// generator at seed; null when its array cannot be had.
inline std::unique_ptr<model3d::BedState<model3d::OpenSettings>> MakeOpenBed(
    const model3d::RippleParams& params, model3d::Schedule schedule, std::uint32_t seed,
    const model3d::CreepVariant& variant = {}) {
  auto bed = std::make_unique<model3d::BedState<model3d::OpenSettings>>();
  bed->params = params;
  if (!model3d::MakeOpenGrid(*bed, schedule)) return nullptr;
  bed->variant = variant;
  model3d::InitRippleGrid(*bed);
  bed->random.state = seed;
  return bed;
}

/// The profile program's dialog defaults: N 1000, D 50, b 2.0, wind 5.0, q 1.
inline constexpr model2d::ProfileParams kProfileDefaults{1000, 50, 2.0, 5.0, 1};
/// The widest profile the table holds, with the other defaults.
inline constexpr model2d::ProfileParams kWidestProfile{model2d::kMaxProfileWidth, 50, 2.0, 5.0, 1};

/// A new profile: the parameters written, the table initialised, the generator at seed.
inline std::unique_ptr<model2d::ProfileState> MakeProfile(const model2d::ProfileParams& params,
                                                          std::uint32_t seed) {
  auto state = std::make_unique<model2d::ProfileState>();
  state->params = params;
  model2d::InitRippleProfile(*state);
  state->random.state = seed;
  return state;
}

}  // namespace scenarios
