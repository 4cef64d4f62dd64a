// The two-dimensional ripple model: a cross-section through a sand layer as a row of integer
// heights, changed by saltation and creep. Headless: it knows nothing of windows or drawing.
//
// Cells 0..N are the profile; cells 0 and N are the two ends of one periodic bed. Wind blows
// towards higher indices. A model's whole state is one value, ProfileState, which the plain
// procedures below take.
#pragma once

#include <cstdint>
#include <vector>

#include "common/Kernels.h"
#include "common/Random.h"

namespace model2d {

struct ProfileParams {
  std::int32_t layerWidth;      ///< N: last cell of the profile, 1..10000 for a sound profile
  std::int32_t layerThickness;  ///< D: initial height of every profile cell, in grains
  double factorB;               ///< jump length gained per grain of height
  double windStrength;          ///< jump length of a site of height 0
  std::int32_t factorQ;         ///< grains carried by one jump, and the height a site must exceed
};

/// The largest N the table holds a profile for.
inline constexpr std::int32_t kMaxProfileWidth = 10000;
/// The largest D and q a caller may give: the widest profile then holds at most 10001 * 100000
/// grains, so no height or sum leaves 32 bits.
inline constexpr std::int32_t kMaxProfileGrains = 100000;

/// Heights of cells -1..10001. Cells 0..10000 hold the widest profile; cell 10001 is its
/// right neighbour beyond the end, and cell -1 a guard below every profile. Both only ever
/// receive sand: what creeps or jumps off the table collects there, as what leaves the profile
/// collects in the cells above N.
struct RippleProfile {
  static constexpr std::int32_t firstCell = -1;                   ///< the low guard
  static constexpr std::int32_t lastCell = kMaxProfileWidth + 1;  ///< the high spare cell
  std::int32_t cells[lastCell - firstCell + 1];

  std::int32_t& at(std::int32_t i) { return cells[i - firstCell]; }
  std::int32_t at(std::int32_t i) const { return cells[i - firstCell]; }
};

/// One model: the parameters the driver writes, the table only the operations below change, the
/// generator they draw from, and the jump lengths worked out for the current b and wind. All
/// zero before the first initialisation. A wide profile (research runs only, never the
/// program's) keeps its cells on the heap instead of in the table.
struct ProfileState {
  ProfileParams params{};
  RippleProfile profile{};
  common::Random random{};
  common::JumpTable<2048> jumps{};   ///< a cache; never part of what a run records
  std::vector<std::int32_t> wide{};  ///< cells -1..N+1 of a wide profile; empty otherwise
};

/// The largest N of a wide profile: a site pick U * N stays exact.
inline constexpr std::int32_t kMaxWideProfileWidth = common::kMaxDoublePick;

/// Makes the state a wide profile of params.layerWidth cells beyond 0 (1..kMaxWideProfileWidth),
/// all 0: its cells -1..N+1 are then on the heap, and every operation works on them. False, and
/// the state left as it was, when N is out of range or the memory cannot be had.
bool WidenProfile(ProfileState& state);

/// The largest N the state holds: kMaxProfileWidth for the table, N of a wide profile.
std::int32_t MaxProfileWidth(const ProfileState& state);

/// The N the sweeps work on: layerWidth clamped to 0..MaxProfileWidth, so that no parameter
/// value leads outside the cells.
std::int32_t ProfileWidth(const ProfileState& state);

/// The state's cells from -1 on: the table's or the wide profile's; MaxProfileWidth + 3 of them.
const std::int32_t* ProfileCells(const ProfileState& state);

/// Height of cell i, in grains; 0 for an i outside the cells (-1..MaxProfileWidth + 1).
std::int32_t ProfileHeight(const ProfileState& state, std::int32_t i);

/// Every cell to 0, then cells 0..N to D (none when N < 0). The generator is left as it is.
void InitRippleProfile(ProfileState& state);

/// Largest magnitude of a jump length; wilder b or wind are clamped to it.
inline constexpr std::int32_t kMaxProfileJump = 1 << 30;

/// RoundHalfEven(h[s] * b + wind), formed in extended precision; clamped to
/// +-kMaxProfileJump first, NaN giving 0. A cell outside the table counts as height 0.
std::int32_t ProfileJumpLength(const ProfileState& state, std::int32_t s);

/// The jump length of a site of this height with factors b and wind, by the same rule.
std::int32_t ProfileJumpLengthFor(std::int32_t height, double factorB, double windStrength);

/// One saltation pass: max(N - 1, 1) events of one random number each.
void ProfileSaltationSweep(ProfileState& state);

/// One creep pass: the end exchange, then max(N - 1, 1) events of one random number each.
void ProfileCreepSweep(ProfileState& state);

/// Three saltation passes, then twenty creep passes.
void RunProfileStep(ProfileState& state);

/// Random numbers one RunProfileStep draws with the current parameters: 23 max(N - 1, 1).
std::int64_t RandomNumbersPerStep(const ProfileState& state);

}  // namespace model2d
