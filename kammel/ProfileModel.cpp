#include "kammel/ProfileModel.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "common/Random.h"
#include "common/RoundHalfEven.h"

namespace model2d {

std::int32_t ProfileWidth() {
  return std::clamp(profileParams.layerWidth, 0, kMaxProfileWidth);
}

std::int32_t ProfileHeight(std::int32_t i) {
  if (i < RippleProfile::firstCell || i > RippleProfile::lastCell) return 0;
  return rippleProfile.at(i);
}

void InitRippleProfile() {
  std::fill(std::begin(rippleProfile.cells), std::end(rippleProfile.cells), 0);
  const std::int32_t last = std::min(profileParams.layerWidth, kMaxProfileWidth);
  for (std::int32_t i = 0; i <= last; ++i)
    rippleProfile.at(i) = profileParams.layerThickness;
}

namespace {

std::int32_t JumpLengthOf(std::int32_t height) {
  const long double raw =
      static_cast<long double>(height) * profileParams.factorB + profileParams.windStrength;
  return common::ClampedRound(raw, kMaxProfileJump);
}

// Jump lengths of the common heights, made once per b and wind: the hot loop then needs no
// extended-precision arithmetic. Each entry is exactly what ProfileJumpLength computes.
struct JumpTable {
  static constexpr std::int32_t size = 2048;
  double factorB = 0, windStrength = 0;
  bool filled = false;
  std::int32_t lengths[size];
};

JumpTable jumpTable;

const JumpTable& CurrentJumpTable() {
  const ProfileParams& p = profileParams;
  JumpTable& table = jumpTable;
  // Bitwise, so that a NaN factor does not rebuild the table on every sweep.
  const bool same = table.filled && std::memcmp(&table.factorB, &p.factorB, sizeof(double)) == 0 &&
                    std::memcmp(&table.windStrength, &p.windStrength, sizeof(double)) == 0;
  if (!same) {
    for (std::int32_t h = 0; h < JumpTable::size; ++h)
      table.lengths[h] = JumpLengthOf(h);
    table.factorB = p.factorB;
    table.windStrength = p.windStrength;
    table.filled = true;
  }
  return table;
}

// Heights add and subtract modulo 2^32. Within the runner's bounds no sum comes near 2^31;
// wilder heights set through the model's API then wrap instead of overflowing.
inline std::int32_t Plus(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t Minus(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// The random states of up to this many draws are made ahead, in one go: none of them depends
// on the heights, and drawing apart from the moves lets both run at full speed.
constexpr std::int32_t kDrawBlock = 1024;

// One subtraction past the end, so a wrapped jump never lands in cell 0 and a jump longer than
// N leaves the profile. Off the table, grains land in its outermost cell on that side, which
// no profile reaches.
inline std::int32_t LandingCell(std::int32_t s, std::int32_t length, std::int32_t N) {
  std::int32_t t = s + length;  // |length| <= 2^30: no overflow
  t -= N & -static_cast<std::int32_t>(t > N);
  return std::clamp(t, RippleProfile::firstCell, RippleProfile::lastCell);
}

void SaltationEvents(const std::uint32_t* states, std::int32_t count, const JumpTable& table) {
  const std::int32_t N = ProfileWidth();
  const std::int32_t q = profileParams.factorQ;
  std::int32_t* h = &rippleProfile.at(0);
  for (std::int32_t n = 0; n < count; ++n) {
    const std::int32_t s = common::ScaleHalfEven(states[n], static_cast<std::uint32_t>(N));
    const std::int32_t height = h[s];
    const bool tabled = static_cast<std::uint32_t>(height) < JumpTable::size;
    const std::int32_t length = tabled ? table.lengths[height] : JumpLengthOf(height);
    const std::int32_t t = LandingCell(s, length, N);
    // A mask instead of a branch: whether the site jumps is as good as random.
    const std::int32_t moved = q & -static_cast<std::int32_t>(height > q);
    h[s] = Minus(height, moved);
    h[t] = Plus(h[t], moved);  // after the removal: a jump of 0 puts the grains back
  }
}

}  // namespace

std::int32_t ProfileJumpLength(std::int32_t s) {
  return JumpLengthOf(ProfileHeight(s));
}

void ProfileSaltationSweep() {
  const JumpTable& table = CurrentJumpTable();
  const std::int32_t events = std::max(ProfileWidth() - 1, 1);
  std::uint32_t states[kDrawBlock];
  for (std::int32_t done = 0; done < events; done += kDrawBlock) {
    const std::int32_t count = std::min(kDrawBlock, events - done);
    common::DrawStates(states, count);
    SaltationEvents(states, count, table);
  }
}

namespace {

// The two ends of the periodic bed level out by a grain each way; no random number.
void ExchangeEnds(std::int32_t N) {
  std::int32_t& first = rippleProfile.at(0);
  std::int32_t& last = rippleProfile.at(N);
  if (last > first) {
    --last;
    ++first;
  }
  if (last < first) {
    --first;
    ++last;
  }
}

// What creeps from a centre to a lower neighbour: RoundHalfEven(g / 3) + 1 for the difference
// g (never a half), and only while the centre keeps a grain. In 64 bits, so that any two
// heights differ without overflow; a mask instead of a branch, as moving 0 changes nothing.
inline std::int32_t CreepAmount(std::int32_t centre, std::int32_t neighbour) {
  const std::int64_t g = std::int64_t{centre} - neighbour;
  const std::int64_t d = (g + 1) / 3 + 1;  // at most 2^32 / 3 + 1 when it moves
  const std::int64_t moves = -static_cast<std::int64_t>((g > 0) & (centre > d));
  return static_cast<std::int32_t>(d & moves);
}

void CreepEvents(const std::uint32_t* states, std::int32_t count, std::int32_t N) {
  std::int32_t* h = &rippleProfile.at(0);
  for (std::int32_t n = 0; n < count; ++n) {
    // 1..N; with N = 0 also 0, whose left neighbour is the guard cell.
    std::int32_t* cell = h + common::PickFromState(states[n], N - 1) + 1;
    const std::int32_t right = CreepAmount(cell[0], cell[1]);
    const std::int32_t centre = Minus(cell[0], right);
    cell[1] = Plus(cell[1], right);
    const std::int32_t left = CreepAmount(centre, cell[-1]);
    cell[0] = Minus(centre, left);
    cell[-1] = Plus(cell[-1], left);
  }
}

}  // namespace

void ProfileCreepSweep() {
  const std::int32_t N = ProfileWidth();
  ExchangeEnds(N);
  const std::int32_t events = std::max(N - 1, 1);
  std::uint32_t states[kDrawBlock];
  for (std::int32_t done = 0; done < events; done += kDrawBlock) {
    const std::int32_t count = std::min(kDrawBlock, events - done);
    common::DrawStates(states, count);
    CreepEvents(states, count, N);
  }
}

void RunProfileStep() {
  for (int n = 0; n < 3; ++n)
    ProfileSaltationSweep();
  for (int n = 0; n < 20; ++n)
    ProfileCreepSweep();
}

std::int64_t RandomNumbersPerStep() {
  return 23 * std::int64_t{std::max(ProfileWidth() - 1, 1)};
}

}  // namespace model2d
