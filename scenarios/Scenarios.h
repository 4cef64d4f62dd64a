// The seeded scenarios that the tests, the benchmarks and kammelsim share: each program's
// dialog defaults and the largest beds and profiles.
#pragma once

#include <cstdint>

#include "common/Random.h"
#include "model2d/ProfileModel.h"
#include "model3d/RippleModel.h"

namespace scenarios {

/// The relief program's dialog defaults: L 300, W 30, H0 20, b 2.0, wind 5.0, q 1.
inline constexpr model3d::RippleParams kReliefDefaults{300, 30, 20, 2.0, 5.0, 1};
/// The map program's dialog defaults: L 300, W 150, H0 5, b 2.0, wind 5.0, q 1.
inline constexpr model3d::RippleParams kMapDefaults{300, 150, 5, 2.0, 5.0, 1};
/// The largest bed the map program accepts, with its other defaults.
inline constexpr model3d::RippleParams kLargestMapBed{1000, 500, 5, 2.0, 5.0, 1};

/// Writes the parameters, initialises the bed and sets the generator to seed.
template <class Settings>
void SetUpBed(const model3d::RippleParams& params, std::uint32_t seed) {
  model3d::rippleParams<Settings> = params;
  model3d::InitRippleGrid<Settings>();
  common::SetRandomState(seed);
}

/// The profile program's dialog defaults: N 1000, D 50, b 2.0, wind 5.0, q 1.
inline constexpr model2d::ProfileParams kProfileDefaults{1000, 50, 2.0, 5.0, 1};
/// The widest profile the table holds, with the other defaults.
inline constexpr model2d::ProfileParams kWidestProfile{model2d::kMaxProfileWidth, 50, 2.0, 5.0, 1};

/// Writes the parameters, initialises the profile and sets the generator to seed.
inline void SetUpProfile(const model2d::ProfileParams& params, std::uint32_t seed) {
  model2d::profileParams = params;
  model2d::InitRippleProfile();
  common::SetRandomState(seed);
}

}  // namespace scenarios
