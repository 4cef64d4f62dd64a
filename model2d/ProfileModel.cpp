#include "model2d/ProfileModel.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "common/Extended.h"
#include "common/Kernels.h"
#include "common/Random.h"
#include "common/RoundHalfEven.h"

namespace model2d {

bool WidenProfile(ProfileState& state) {
  const std::int32_t N = state.params.layerWidth;
  if (N < 1 || N > kMaxWideProfileWidth) return false;
  try {
    state.wide.assign(static_cast<std::size_t>(N) + 3, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

std::int32_t MaxProfileWidth(const ProfileState& state) {
  return state.wide.empty() ? kMaxProfileWidth : static_cast<std::int32_t>(state.wide.size()) - 3;
}

std::int32_t ProfileWidth(const ProfileState& state) {
  return std::clamp(state.params.layerWidth, 0, MaxProfileWidth(state));
}

const std::int32_t* ProfileCells(const ProfileState& state) {
  return state.wide.empty() ? state.profile.cells : state.wide.data();
}

namespace {

// Cell 0 of the state's cells.
std::int32_t* CellZero(ProfileState& state) {
  return (state.wide.empty() ? state.profile.cells : state.wide.data()) - RippleProfile::firstCell;
}

// The outermost cell on the high side, which no profile reaches.
std::int32_t LastCell(const ProfileState& state) {
  return MaxProfileWidth(state) + 1;
}

}  // namespace

std::int32_t ProfileHeight(const ProfileState& state, std::int32_t i) {
  if (i < RippleProfile::firstCell || i > LastCell(state)) return 0;
  return ProfileCells(state)[i - RippleProfile::firstCell];
}

void InitRippleProfile(ProfileState& state) {
  std::int32_t* h = CellZero(state);
  std::fill(h - 1, h + LastCell(state) + 1, 0);
  const std::int32_t last = std::min(state.params.layerWidth, MaxProfileWidth(state));
  for (std::int32_t i = 0; i <= last; ++i)
    h[i] = state.params.layerThickness;
}

namespace {

using JumpTable = common::JumpTable<2048>;

const JumpTable& CurrentJumpTable(ProfileState& state) {
  const double b = state.params.factorB, wind = state.params.windStrength;
  return state.jumps.For(
      b, wind, [b, wind](std::int32_t height) { return ProfileJumpLengthFor(height, b, wind); });
}

// Sites for a block of states, in place: RoundHalfEven(U * m) + offset, in a loop of its own
// that runs in vector lanes.
KAMMEL_INLINE void PickSites(std::uint32_t* states, std::int32_t count, std::int32_t m,
                             std::int32_t offset) {
  for (std::int32_t n = 0; n < count; ++n) {
    states[n] = static_cast<std::uint32_t>(common::PickInDoubles(states[n], m) + offset);
  }
}

// The slow path for heights outside the table, kept out of line so that the hot loop holds no
// extended-precision code.
[[gnu::noinline]] std::int32_t UntabledJumpLength(std::int32_t height, double factorB,
                                                  double windStrength) {
  return ProfileJumpLengthFor(height, factorB, windStrength);
}

// One subtraction past the end, so a wrapped jump never lands in cell 0 and a jump longer than
// N leaves the profile. Off the table, grains land in its outermost cell on that side, which
// no profile reaches. Masks rather than branches throughout.
KAMMEL_INLINE std::int32_t LandingCell(std::int32_t s, std::int32_t length, std::int32_t N,
                                       std::int32_t lastCell) {
  std::int32_t t = s + length;  // |length| <= 2^30: no overflow
  t -= N & ((N - t) >> 31);     // N - t < 0 exactly when t > N
  t |= (t + 1) >> 31;           // below -1: -1
  return std::min(t, lastCell);
}

// How many events ahead a wide profile's sites are asked for, when it is larger than the caches.
constexpr std::int32_t kPrefetchAhead = 32;

// Everything the events read besides the heights, copied out of the state first: read through
// it, each would be read again after every store into the table, which might alias it.
KAMMEL_KERNEL void SaltationEvents(ProfileState& state, std::uint32_t* states, std::int32_t count,
                                   const JumpTable& table) {
  const std::int32_t N = ProfileWidth(state);
  const std::int64_t q = state.params.factorQ;
  const double b = state.params.factorB, wind = state.params.windStrength;
  const std::int32_t lastCell = LastCell(state);
  const bool wide = !state.wide.empty();
  PickSites(states, count, N, 0);  // first, in a loop of their own
  std::int32_t* h = CellZero(state);
  for (std::int32_t n = 0; n < count; ++n) {
    if (wide && n + kPrefetchAhead < count) __builtin_prefetch(h + states[n + kPrefetchAhead], 1);
    const std::int32_t s = static_cast<std::int32_t>(states[n]);
    const std::int32_t height = h[s];
    const std::int32_t length =
        JumpTable::Holds(height) ? table.lengths[height] : UntabledJumpLength(height, b, wind);
    const std::int32_t t = LandingCell(s, length, N, lastCell);
    // Only from a site higher than q; in 64 bits, exact for any q and height. Sums beyond 32
    // bits, possible only for heights set through the API, wrap. The landing cell is read after
    // the removal, so a jump of 0 puts the grains back.
    const std::int64_t moved = q & ((q - height) >> 63);
    h[s] = static_cast<std::int32_t>(height - moved);
    h[t] = static_cast<std::int32_t>(h[t] + moved);
  }
}

}  // namespace

std::int32_t ProfileJumpLengthFor(std::int32_t height, double factorB, double windStrength) {
  const long double raw = common::ExtendedMulAdd(height, factorB, windStrength);
  return common::ClampedRound(raw, kMaxProfileJump);
}

std::int32_t ProfileJumpLength(const ProfileState& state, std::int32_t s) {
  return ProfileJumpLengthFor(ProfileHeight(state, s), state.params.factorB,
                              state.params.windStrength);
}

void ProfileSaltationSweep(ProfileState& state) {
  const JumpTable& table = CurrentJumpTable(state);
  common::RunInDrawBlocks<1>(state.random, std::max(ProfileWidth(state) - 1, 1),
                             [&](std::uint32_t* states, std::int32_t count) {
                               SaltationEvents(state, states, count, table);
                             });
}

namespace {

// The two ends of the periodic bed level out by a grain each way; no random number.
void ExchangeEnds(std::int32_t* h, std::int32_t N) {
  std::int32_t& first = h[0];
  std::int32_t& last = h[N];
  if (last > first) {
    --last;
    ++first;
  }
  if (last < first) {
    --first;
    ++last;
  }
}

// What creeps from a centre c to a lower neighbour n: RoundHalfEven((c - n) / 3) + 1, which is
// (c - n + 4) div 3 as the third never ends in a half, and only while the centre keeps a grain,
// c > (c - n + 4) div 3, that is 2c + n - 5 >= 0. In 64 bits, exact for any two heights; both
// tests fold into one sign mask, as whether sand moves is as good as random.
KAMMEL_INLINE std::int64_t CreepAmount(std::int64_t c, std::int64_t n) {
  const std::int64_t rise = n - c;           // negative when n is lower
  const std::int64_t spare = 2 * c + n - 5;  // negative when c would not keep a grain
  const std::uint64_t third = (static_cast<std::uint64_t>(c - n + 4) * 0xAAAAAAABu) >> 33;
  const std::int64_t moves = (rise & ~spare) >> 63;
  return static_cast<std::int64_t>(third) & moves;
}

KAMMEL_INLINE void CreepEvent(std::int32_t* cell) {
  const std::int64_t centre = cell[0], right = cell[1], left = cell[-1];
  const std::int64_t toRight = CreepAmount(centre, right);
  const std::int64_t toLeft = CreepAmount(centre - toRight, left);
  // Sums outside 32 bits, possible only for heights set through the API, wrap.
  cell[1] = static_cast<std::int32_t>(right + toRight);
  cell[0] = static_cast<std::int32_t>(centre - toRight - toLeft);
  cell[-1] = static_cast<std::int32_t>(left + toLeft);
}

using common::Lanes;
using common::UnsignedLanes;

// CreepAmount for four centres at once, in 32-bit lanes that wrap: d = c - n is exact as an
// unsigned number when n is lower, and (d + 4) div 3 comes from one short multiply while d is
// below 2^15. Where n is lower, d is also ORed into tooSteep, so that the caller can tell.
KAMMEL_INLINE UnsignedLanes CreepAmounts(UnsignedLanes c, UnsignedLanes n,
                                         UnsignedLanes& tooSteep) {
  const UnsignedLanes d = c - n;
  const Lanes lower = (Lanes)n < (Lanes)c;
  tooSteep |= d & (UnsignedLanes)lower;
  const UnsignedLanes third = common::SmallThirdOf(d + 4u);
  const Lanes moves = lower & ((Lanes)third < (Lanes)c);
  return third & (UnsignedLanes)moves;
}

// Whether two of four sites lie within two cells of each other, so that their events share a
// cell and must run one after the other, or lie where the four cells from its left neighbour
// on do not all exist: site -1, and the last one or two sites of the cells.
KAMMEL_INLINE bool AnyNearOrAtTheEnds(Lanes k, std::int32_t lastCell) {
  const Lanes next = {k[1], k[2], k[3], k[0]};
  const Lanes across = {k[2], k[3], k[0], k[1]};
  const auto near = [](Lanes apart) __attribute__((always_inline)) {
    return (Lanes)((UnsignedLanes)(apart + 2) <= 4u);
  };
  const Lanes beyond = (UnsignedLanes)k > static_cast<std::uint32_t>(lastCell - 2);
  return common::AnyLane(near(k - next) | near(k - across) | beyond);
}

// Four events whose cells lie apart: the same as running them in turn. Each site's left
// neighbour, centre and right neighbour are read in one piece, with the cell beyond, which is
// never written. False, with nothing written, where a slope is too steep for the short
// division; heights like that come only through the API.
KAMMEL_INLINE bool CreepFourApart(std::int32_t* h, Lanes k) {
  std::int32_t* const cell[4] = {h + k[0] - 1, h + k[1] - 1, h + k[2] - 1, h + k[3] - 1};
  const common::ThreeLanes cells = common::GatherThree(cell);
  auto left = (UnsignedLanes)cells.first;
  auto centre = (UnsignedLanes)cells.second;
  auto right = (UnsignedLanes)cells.third;
  UnsignedLanes tooSteep{};
  const UnsignedLanes toRight = CreepAmounts(centre, right, tooSteep);
  centre -= toRight;
  const UnsignedLanes toLeft = CreepAmounts(centre, left, tooSteep);
  if (__builtin_expect(common::AnyLane((Lanes)(tooSteep >> 15u) != 0), 0)) return false;
  right += toRight;
  centre -= toLeft;
  left += toLeft;
  // Left and centre back as pairs, the right neighbours one by one.
  const UnsignedLanes pairs[2] = {__builtin_shufflevector(left, centre, 0, 4, 1, 5),
                                  __builtin_shufflevector(left, centre, 2, 6, 3, 7)};
  std::int32_t pair[8];
  std::memcpy(pair, pairs, sizeof pair);
  for (int j = 0; j < 4; ++j)
    std::memcpy(cell[j], pair + 2 * j, 2 * sizeof pair[0]);
  for (int j = 0; j < 4; ++j)
    cell[j][2] = static_cast<std::int32_t>(right[j]);
  return true;
}

KAMMEL_KERNEL void CreepEvents(std::int32_t* h, std::uint32_t* states, std::int32_t count,
                               std::int32_t N, std::int32_t lastCell, bool wide) {
  // The sites first, 1..N, in a loop of their own. N = 0 picks from -1..0, so also site 0,
  // whose left neighbour is the guard cell.
  PickSites(states, count, N - 1, 1);
  // Four at a time where their cells lie apart, as they mostly do; in turn where they do not.
  std::int32_t n = 0;
  for (; common::kLanes && n + 4 <= count; n += 4) {
    if (wide && n + kPrefetchAhead + 4 <= count) {
      for (int j = 0; j < 4; ++j) {  // both ends of the piece read, mostly one line
        __builtin_prefetch(h + states[n + kPrefetchAhead + j] - 1, 1);
        __builtin_prefetch(h + states[n + kPrefetchAhead + j] + 2, 1);
      }
    }
    const Lanes k = common::LoadLanes(states + n);
    if (__builtin_expect(AnyNearOrAtTheEnds(k, lastCell) || !CreepFourApart(h, k), 0)) {
      for (int j = 0; j < 4; ++j)
        CreepEvent(h + k[j]);
    }
  }
  for (; n < count; ++n)
    CreepEvent(h + static_cast<std::int32_t>(states[n]));
}

}  // namespace

void ProfileCreepSweep(ProfileState& state) {
  const std::int32_t N = ProfileWidth(state);
  std::int32_t* h = CellZero(state);
  const bool wide = !state.wide.empty();
  ExchangeEnds(h, N);
  common::RunInDrawBlocks<1>(
      state.random, std::max(N - 1, 1),
      [h, N, wide, last = LastCell(state)](std::uint32_t* states, std::int32_t count) {
        CreepEvents(h, states, count, N, last, wide);
      });
}

void RunProfileStep(ProfileState& state) {
  for (int n = 0; n < 3; ++n)
    ProfileSaltationSweep(state);
  for (int n = 0; n < 20; ++n)
    ProfileCreepSweep(state);
}

std::int64_t RandomNumbersPerStep(const ProfileState& state) {
  return 23 * std::int64_t{std::max(ProfileWidth(state) - 1, 1)};
}

}  // namespace model2d
