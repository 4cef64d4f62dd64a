#include "model3d/RippleModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "common/Extended.h"
#include "common/Kernels.h"
#include "common/Random.h"
#include "common/RoundHalfEven.h"

namespace model3d {

template <class S>
std::int32_t BedLength(const BedState<S>& bed) {
  return std::clamp(bed.params.layerLength, 0, S::maxLength);
}

template <class S>
std::int32_t BedWidth(const BedState<S>& bed) {
  return std::clamp(bed.params.layerWidth, 0, S::maxWidth);
}

template <class S>
void InitRippleGrid(BedState<S>& bed) {
  auto& grid = bed.grid;
  std::fill(std::begin(grid.cells), std::end(grid.cells), 0);
  const RippleParams& p = bed.params;
  const std::int32_t lastRow = std::min(p.layerLength, S::maxLength);
  const std::int32_t lastColumn = std::min(p.layerWidth, S::maxWidth);
  for (std::int32_t i = 0; i <= lastRow; ++i) {
    for (std::int32_t j = 0; j <= lastColumn; ++j)
      grid.at(i, j) = p.layerHeight;
  }
}

namespace {

// A plot asks for whole coordinates: those need no rounding, and ClampedRound gives them back
// unchanged anyway.
std::int32_t RoundCoordinate(double v, std::int32_t limit) {
  if (v >= -limit && v <= limit && static_cast<std::int32_t>(v) == v)
    return static_cast<std::int32_t>(v);
  return common::ClampedRound(v, limit);
}

}  // namespace

template <class S>
double HeightAt(const BedState<S>& bed, double x, double y) {
  const std::int32_t i = RoundCoordinate(x, S::lastRow + 1);
  const std::int32_t j = RoundCoordinate(y, S::lastColumn + 1);
  if (i < 0 || i > S::lastRow || j < 0 || j > S::lastColumn) return 0.0;
  return bed.grid.at(i, j);
}

namespace {

long double RawJumpLength(std::int32_t height, const RippleParams& p) {
  return common::ExtendedMulAdd(height, p.factorB, p.windStrength);
}

using JumpTable = common::JumpTable<1024>;

template <class S>
const JumpTable& CurrentJumpTable(BedState<S>& bed) {
  const RippleParams& p = bed.params;
  return bed.jumps.For(p.factorB, p.windStrength, [&p](std::int32_t h) {
    return common::ClampedRound(RawJumpLength(h, p), MaxJumpLength);
  });
}

}  // namespace

std::int32_t JumpLengthFor(std::int32_t height, double factorB, double windStrength) {
  const long double raw = common::ExtendedMulAdd(height, factorB, windStrength);
  return common::ClampedRound(raw, MaxJumpLength);
}

template <class S>
std::int32_t JumpLength(const BedState<S>& bed, std::int32_t i, std::int32_t j) {
  return common::ClampedRound(RawJumpLength(bed.grid.at(i, j), bed.params), MaxJumpLength);
}

namespace {

// What every pick of one sweep shares, in locals: read through the state, they would be read
// again after every store into the grid, which might alias them.
struct SweepTerms {
  const JumpTable& table;
  double factorB, windStrength;
  std::int32_t L, q;
};

// Out of line, taking values, not the terms: the hot loop holds no extended-precision code, and
// the terms' address does not escape it.
[[gnu::noinline]] std::int32_t UntabledJumpLength(std::int32_t height, double factorB,
                                                  double windStrength) {
  return JumpLengthFor(height, factorB, windStrength);
}

// One pick in a column: the grains of a site higher than q jump by its jump length, wrapping
// once past L (so a jump longer than L can still leave the bed); beyond the array they land in
// its outermost row, which no bed reaches. A mask rather than a branch for "higher than q".
template <class S>
inline void Jump(std::int32_t* column, std::int32_t i, const SweepTerms& terms) {
  const std::int32_t L = terms.L;
  const std::int32_t q = terms.q;
  const std::int32_t height = column[i];
  std::int32_t target = i + (JumpTable::Holds(height)
                                 ? terms.table.lengths[height]
                                 : UntabledJumpLength(height, terms.factorB, terms.windStrength));
  if (target > L) target -= L;
  target = std::clamp(target, -1, S::lastRow);
  const std::int32_t moved = q & -static_cast<std::int32_t>(height > q);
  column[i] = height - moved;
  column[target] += moved;
}

// Saltation keeps grains in their column, so the picks of different columns never meet:
// columns go side by side, each taking its own run of random numbers as in turn, and one
// column's jumps need not wait for another's.
constexpr std::int32_t kColumnsAtOnce = 4;

template <class S>
void SaltationColumns(RippleGrid<S>& grid, std::int32_t first, std::int32_t columns,
                      std::uint32_t* states, std::int32_t picks, const SweepTerms& terms) {
  for (std::int32_t n = 0; n < columns * picks; ++n) {  // the rows, in vector lanes
    states[n] = static_cast<std::uint32_t>(common::PickInDoubles(states[n], terms.L));
  }
  std::int32_t* column[kColumnsAtOnce];
  for (std::int32_t c = 0; c < columns; ++c)
    column[c] = &grid.at(0, first + c);
  if (common::kLanes && columns == kColumnsAtOnce) {
    for (std::int32_t n = 0; n < picks; ++n) {
      for (std::int32_t c = 0; c < kColumnsAtOnce; ++c)
        Jump<S>(column[c], static_cast<std::int32_t>(states[c * picks + n]), terms);
    }
    return;
  }
  for (std::int32_t c = 0; c < columns; ++c) {
    for (std::int32_t n = 0; n < picks; ++n)
      Jump<S>(column[c], static_cast<std::int32_t>(states[c * picks + n]), terms);
  }
}

}  // namespace

template <class S>
void SaltationSweep(BedState<S>& bed) {
  const SweepTerms terms{CurrentJumpTable(bed), bed.params.factorB, bed.params.windStrength,
                         BedLength(bed), bed.params.factorQ};
  const std::int32_t picks = std::max(terms.L, 1);
  const std::int32_t W = BedWidth(bed);
  std::uint32_t states[kColumnsAtOnce * S::maxLength];
  for (std::int32_t j = 0; j <= W; j += kColumnsAtOnce) {
    const std::int32_t columns = std::min(kColumnsAtOnce, W + 1 - j);
    common::DrawStates(bed.random, states, columns * picks);
    SaltationColumns<S>(bed.grid, j, columns, states, picks, terms);
  }
}

namespace {

// Offsets of the four neighbours in the order they are compared: next row, previous row,
// previous column, next column.
template <class S>
constexpr std::int32_t kNeighbourOffsets[4] = {1, -1, -RippleGrid<S>::columnStride,
                                               RippleGrid<S>::columnStride};

struct Steepest {
  std::int32_t index;       // 0..3 into kNeighbourOffsets
  std::int32_t difference;  // centre minus that neighbour; 0 when all four are level
};

// The first neighbour of the largest height difference, found from the last to the first
// with >= so that the earliest of equals wins; written to compile without branches, as which
// neighbour wins is as good as random.
template <class S>
inline Steepest FindSteepest(const std::int32_t* centre) {
  const std::int32_t c = centre[0];
  Steepest steepest{3, c - centre[kNeighbourOffsets<S>[3]]};
  std::int32_t largest = std::abs(steepest.difference);
  for (std::int32_t n = 2; n >= 0; --n) {
    const std::int32_t difference = c - centre[kNeighbourOffsets<S>[n]];
    const std::int32_t magnitude = std::abs(difference);
    const bool steeper = magnitude >= largest;
    largest = steeper ? magnitude : largest;
    steepest.index = steeper ? n : steepest.index;
    steepest.difference = steeper ? difference : steepest.difference;
  }
  return steepest;
}

}  // namespace

template <class S>
std::int32_t SteepestNeighbour(const BedState<S>& bed, std::int32_t i, std::int32_t j) {
  const Steepest steepest = FindSteepest<S>(&bed.grid.cells[RippleGrid<S>::Index(i, j)]);
  if (steepest.difference == 0) return 0;
  return steepest.difference > 0 ? steepest.index + 1 : -(steepest.index + 1);
}

namespace {

// An edge cell gives one grain to its inner neighbour when positive and strictly higher.
inline void ShedInwards(std::int32_t& edge, std::int32_t& inner) {
  const std::int32_t grain = (edge > 0) & (edge > inner);
  edge -= grain;
  inner += grain;
}

template <class S>
void CreepEdges(RippleGrid<S>& grid, std::int32_t L, std::int32_t W) {
  // Rows do not interact here, so this loop runs down four whole columns.
  std::int32_t* first = &grid.at(0, 0);
  std::int32_t* second = &grid.at(0, 1);
  std::int32_t* last = &grid.at(0, W);
  std::int32_t* beforeLast = &grid.at(0, W - 1);
  for (std::int32_t i = 0; i <= L; ++i) {
    ShedInwards(first[i], second[i]);
    ShedInwards(last[i], beforeLast[i]);
  }
  for (std::int32_t j = 0; j <= W; ++j) {
    ShedInwards(grid.at(0, j), grid.at(1, j));
    ShedInwards(grid.at(L, j), grid.at(L - 1, j));
  }
}

// One creep event at a cell: to its steepest neighbour, when that lies lower and the centre is
// positive, RoundHalfEven(d / 3) + 1 grains (d / 3 never ends in a half). A mask instead of a
// branch; moving 0 grains changes nothing.
template <class S>
inline void CreepEvent(std::int32_t* centre) {
  const Steepest steepest = FindSteepest<S>(centre);
  const std::int32_t d = steepest.difference;
  const std::int32_t moves = -static_cast<std::int32_t>((*centre > 0) & (d > 0));
  const auto third = static_cast<std::int32_t>(static_cast<std::uint32_t>(d + 1) / 3u);
  const std::int32_t amount = (third + 1) & moves;
  *centre -= amount;
  centre[kNeighbourOffsets<S>[steepest.index]] += amount;
}

using common::Lanes;
using common::UnsignedLanes;

// Whether cells this far apart (in array index) lie within two steps of each other, so that
// the crosses of two events around them share a cell.
template <class S>
inline Lanes Near(Lanes apart) {
  constexpr std::int32_t stride = RippleGrid<S>::columnStride;
  const auto u = reinterpret_cast<UnsignedLanes&>(apart);
  return (u + 2u <= 4u) | (u - static_cast<std::uint32_t>(stride - 1) <= 2u) |
         (u + static_cast<std::uint32_t>(stride + 1) <= 2u) | (apart == 2 * stride) |
         (apart == -2 * stride);
}

// CreepEvent at four cells whose crosses lie apart: the same as running them in turn.
template <class S>
void FourCreepEvents(std::int32_t* cells, Lanes at) {
  std::int32_t* const p[4] = {cells + at[0], cells + at[1], cells + at[2], cells + at[3]};
  const auto neighbours = [&](std::int32_t offset) {
    return Lanes{p[0][offset], p[1][offset], p[2][offset], p[3][offset]};
  };
  const Lanes c = neighbours(0);
  Lanes difference = c - neighbours(kNeighbourOffsets<S>[3]);
  Lanes largest = common::Abs(difference);
  Lanes offset = Lanes{} + kNeighbourOffsets<S>[3];
  for (std::int32_t n = 2; n >= 0; --n) {  // the earliest of equals wins, as in FindSteepest
    const Lanes d = c - neighbours(kNeighbourOffsets<S>[n]);
    const Lanes magnitude = common::Abs(d);
    const Lanes steeper = ~(largest > magnitude);
    largest = common::SelectLanes(steeper, largest, magnitude);
    difference = common::SelectLanes(steeper, difference, d);
    offset = common::SelectLanes(steeper, offset, Lanes{} + kNeighbourOffsets<S>[n]);
  }
  const Lanes moves = (c > 0) & (difference > 0);
  const auto third = reinterpret_cast<UnsignedLanes>(difference + 1) / 3u;
  const Lanes amount = (reinterpret_cast<Lanes>(third) + 1) & moves;
  const Lanes left = c - amount;
  for (int l = 0; l < 4; ++l) {
    p[l][0] = left[l];
    p[l][offset[l]] += amount[l];
  }
}

// One random event per pair of states: the first picks the row, the second the column. Four
// at a time where their crosses lie apart, as they mostly do; in turn where they do not.
template <class S>
void CreepEvents(RippleGrid<S>& grid, std::int32_t L, std::int32_t W, std::uint32_t* states,
                 std::int32_t events) {
  for (std::int32_t n = 0; n < events; ++n) {
    const std::int32_t i = common::PickFromState(states[2 * n], L - 1) + 1;
    const std::int32_t j = common::PickFromState(states[2 * n + 1], W - 1) + 1;
    states[n] = static_cast<std::uint32_t>(RippleGrid<S>::Index(i, j));
  }
  std::int32_t* cells = grid.cells;
  std::int32_t n = 0;
  for (; common::kLanes && n + 4 <= events; n += 4) {
    const Lanes at = common::LoadLanes(states + n);
    if (__builtin_expect(common::AnyTwoNear(at, Near<S>), 0)) {
      for (int l = 0; l < 4; ++l)
        CreepEvent<S>(cells + at[l]);
    } else {
      FourCreepEvents<S>(cells, at);
    }
  }
  for (; n < events; ++n)
    CreepEvent<S>(cells + states[n]);
}

}  // namespace

template <class S>
void CreepSweep(BedState<S>& bed) {
  const std::int32_t L = BedLength(bed);
  const std::int32_t W = BedWidth(bed);
  RippleGrid<S>& grid = bed.grid;
  CreepEdges<S>(grid, L, W);
  const std::int32_t events = std::max(W - 1, 1) + std::max(L - 1, 1) - 1;
  common::RunInDrawBlocks<2>(bed.random, events,
                             [&grid, L, W](std::uint32_t* states, std::int32_t count) {
                               CreepEvents<S>(grid, L, W, states, count);
                             });
}

template <class S>
void RunBatch(BedState<S>& bed) {
  const std::int32_t creepSweeps = S::creepSweepsPerWidth * BedWidth(bed);
  for (std::int32_t cycle = 0; cycle < S::cyclesPerBatch; ++cycle) {
    for (int n = 0; n < 3; ++n)
      SaltationSweep(bed);
    for (std::int32_t n = 0; n < creepSweeps; ++n)
      CreepSweep(bed);
  }
}

template <class S>
std::int64_t RandomNumbersPerBatch(const BedState<S>& bed) {
  const std::int64_t L = BedLength(bed);
  const std::int64_t W = BedWidth(bed);
  const std::int64_t saltation = (W + 1) * std::max<std::int64_t>(L, 1);
  const std::int64_t creep =
      2 * (std::max<std::int64_t>(W - 1, 1) + std::max<std::int64_t>(L - 1, 1) - 1);
  return S::cyclesPerBatch * (3 * saltation + S::creepSweepsPerWidth * W * creep);
}

#define KAMMEL_INSTANTIATE(S)                                                              \
  template std::int32_t BedLength(const BedState<S>&);                                     \
  template std::int32_t BedWidth(const BedState<S>&);                                      \
  template void InitRippleGrid(BedState<S>&);                                              \
  template double HeightAt(const BedState<S>&, double, double);                            \
  template std::int32_t JumpLength(const BedState<S>&, std::int32_t, std::int32_t);        \
  template void SaltationSweep(BedState<S>&);                                              \
  template std::int32_t SteepestNeighbour(const BedState<S>&, std::int32_t, std::int32_t); \
  template void CreepSweep(BedState<S>&);                                                  \
  template void RunBatch(BedState<S>&);                                                    \
  template std::int64_t RandomNumbersPerBatch(const BedState<S>&);

KAMMEL_INSTANTIATE(ReliefSettings)
KAMMEL_INSTANTIATE(MapSettings)

}  // namespace model3d
