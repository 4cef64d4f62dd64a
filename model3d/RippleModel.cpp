#include "model3d/RippleModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <type_traits>

#include <sys/mman.h>

#include "common/Extended.h"
#include "common/Kernels.h"
#include "common/Random.h"
#include "common/RoundHalfEven.h"

namespace model3d {

namespace {

template <class S>
constexpr bool kOpen = std::is_same_v<S, OpenSettings>;

// A bed whose columns take more than this is worth asking ahead for: less stays in a core's
// own cache, where asking costs more than it saves.
constexpr std::int64_t kCachedBytes = 512 * 1024;

inline bool WorthAskingAhead(std::int32_t stride, std::int32_t W) {
  return std::int64_t{stride} * (W + 2) * 4 > kCachedBytes;
}

// Cells per column: a constant in the programs' grids, so that their kernels keep it folded in.
struct RunStride {
  std::int32_t value;
  constexpr operator std::int32_t() const { return value; }
};

template <class S>
auto StrideOf(const RippleGrid<S>& grid) {
  if constexpr (kOpen<S>)
    return RunStride{grid.columnStride};
  else
    return std::integral_constant<std::int32_t, RippleGrid<S>::columnStride>{};
}

// Saltation keeps grains in their column, so the picks of different columns never meet:
// columns go side by side, each taking its own run of random numbers as in turn, and one
// column's jumps need not wait for another's.
constexpr std::int32_t kColumnsAtOnce = 4;

// Huge pages where the system gives them: a random site then costs no page walk of its own.
constexpr std::size_t kPageAlign = std::size_t{2} << 20;

template <class T>
T* AllocateZeroed(std::int64_t count) {
  const std::size_t bytes =
      (static_cast<std::size_t>(count) * sizeof(T) + kPageAlign - 1) / kPageAlign * kPageAlign;
  void* p = std::aligned_alloc(kPageAlign, bytes);
  if (p == nullptr) return nullptr;
  madvise(p, bytes, MADV_HUGEPAGE);
  std::memset(p, 0, bytes);  // every page now, so that a bed too large fails at once
  return static_cast<T*>(p);
}

}  // namespace

void RippleGrid<OpenSettings>::Free::operator()(void* p) const {
  std::free(p);
}

std::int64_t OpenGridBytes(std::int32_t L, std::int32_t W) {
  return (std::int64_t{L} + 4) * (std::int64_t{W} + 3) * std::int64_t{sizeof(std::int32_t)};
}

bool MakeOpenGrid(BedState<OpenSettings>& bed, Schedule schedule) {
  auto& grid = bed.grid;
  grid = {};
  const std::int32_t L = bed.params.layerLength, W = bed.params.layerWidth;
  if (L < 1 || L > kMaxOpenLength || W < 1 || W > kMaxOpenLength) return false;
  // Rows -1..L + 2: creep reads row L + 1, so what jumps beyond it collects a row further,
  // as in the programs' arrays, where it lands in rows creep never reads.
  const std::int64_t size = (std::int64_t{L} + 4) * (std::int64_t{W} + 3);
  if (size > kMaxOpenCells) return false;
  grid.storage.reset(AllocateZeroed<std::int32_t>(size));
  grid.scratch.reset(AllocateZeroed<std::uint32_t>(std::int64_t{kColumnsAtOnce} * L));
  if (!grid.storage || !grid.scratch) {
    grid = {};
    return false;
  }
  grid.cells = grid.storage.get();
  grid.size = size;
  grid.maxLength = L;
  grid.maxWidth = W;
  grid.lastRow = L + 2;
  grid.lastColumn = W + 1;
  grid.columnStride = L + 4;
  grid.columns = W + 3;
  const bool map = schedule == Schedule::map;
  grid.cyclesPerBatch = map ? MapSettings::cyclesPerBatch : ReliefSettings::cyclesPerBatch;
  grid.creepSweepsPerWidth =
      map ? MapSettings::creepSweepsPerWidth : ReliefSettings::creepSweepsPerWidth;
  return true;
}

namespace {

// An open bed whose array was never made: nothing to run on.
template <class S>
bool Unmade(const BedState<S>& bed) {
  if constexpr (kOpen<S>)
    return bed.grid.cells == nullptr;
  else
    return false;
}

}  // namespace

template <class S>
std::int32_t BedLength(const BedState<S>& bed) {
  return std::clamp(bed.params.layerLength, 0, bed.grid.maxLength);
}

template <class S>
std::int32_t BedWidth(const BedState<S>& bed) {
  return std::clamp(bed.params.layerWidth, 0, bed.grid.maxWidth);
}

template <class S>
void InitRippleGrid(BedState<S>& bed) {
  auto& grid = bed.grid;
  bed.creepSweeps = 0;
  if (Unmade(bed)) return;
  std::fill_n(grid.cells, grid.size, 0);
  const RippleParams& p = bed.params;
  const std::int32_t lastRow = std::min(p.layerLength, grid.maxLength);
  const std::int32_t lastColumn = std::min(p.layerWidth, grid.maxWidth);
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
  const auto& grid = bed.grid;
  const std::int32_t i = RoundCoordinate(x, grid.lastRow + 1);
  const std::int32_t j = RoundCoordinate(y, grid.lastColumn + 1);
  if (i < 0 || i > grid.lastRow || j < 0 || j > grid.lastColumn) return 0.0;
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
  std::int32_t lastRow;       // of the array
  std::int32_t plainHeights;  // heights 0..plainHeights - 1 jump by the table without a clamp
};

template <class S>
inline std::int32_t LastRow(const SweepTerms& terms) {
  if constexpr (kOpen<S>)
    return terms.lastRow;
  else
    return S::lastRow;
}

// Where the grains of site i jump with this jump length: wrapping once past L (so a jump longer
// than L can still leave the bed); beyond the array they land in its outermost row, which no
// bed reaches.
inline std::int32_t JumpTarget(std::int32_t i, std::int32_t length, std::int32_t L,
                               std::int32_t lastRow) {
  std::int32_t target = i + length;
  if (target > L) target -= L;
  return std::clamp(target, -1, lastRow);
}

// Out of line, taking values, not the terms: the hot loop holds no extended-precision code, and
// the terms' address does not escape it.
[[gnu::noinline]] std::int32_t UntabledJumpTarget(std::int32_t i, std::int32_t height,
                                                  std::int32_t L, std::int32_t lastRow,
                                                  double factorB, double windStrength) {
  return JumpTarget(i, JumpLengthFor(height, factorB, windStrength), L, lastRow);
}

// The heights whose jumps need no clamp: from 0..L a jump of -1..lastRow, wrapped once, lands
// in -1..lastRow. Every other height takes the slow path, which clamps.
std::int32_t PlainHeights(JumpTable& table, std::int32_t lastRow) {
  return table.HeightsWithin(-1, lastRow);
}

// One pick in a column: the grains of a site higher than q jump to its JumpTarget. A mask
// rather than a branch for "higher than q".
template <class S>
KAMMEL_INLINE void Jump(std::int32_t* column, std::int32_t i, const SweepTerms& terms) {
  const std::int32_t L = terms.L;
  const std::int32_t q = terms.q;
  const std::int32_t height = column[i];
  std::int32_t target;
  if (__builtin_expect(
          static_cast<std::uint32_t>(height) < static_cast<std::uint32_t>(terms.plainHeights), 1)) {
    target = i + terms.table.lengths[height];
    if (target > L) target -= L;
  } else {
    target = UntabledJumpTarget(i, height, L, LastRow<S>(terms), terms.factorB, terms.windStrength);
  }
  const std::int32_t moved = q & -static_cast<std::int32_t>(height > q);
  column[i] = height - moved;
  column[target] += moved;
}

template <class S>
KAMMEL_KERNEL void SaltationColumns(RippleGrid<S>& grid, std::int32_t first, std::int32_t columns,
                                    std::uint32_t* states, std::int32_t picks,
                                    const SweepTerms& shared, std::int32_t W) {
  // A copy whose address never escapes: the terms then stay in registers, where the stores
  // into the grid, which might alias the shared ones, would have them read again every pick.
  const SweepTerms terms = shared;
  for (std::int32_t n = 0; n < columns * picks; ++n) {  // the rows, in vector lanes
    states[n] = static_cast<std::uint32_t>(common::PickInDoubles(states[n], terms.L));
  }
  std::int32_t* column[kColumnsAtOnce];
  for (std::int32_t c = 0; c < columns; ++c)
    column[c] = &grid.at(0, first + c);
  // The next columns are asked for while these run, a line of them every few picks: they lie
  // in one piece right after these, and the map's array is already larger than a core's cache.
  constexpr std::int32_t kPicksPerLine = 16 / kColumnsAtOnce;
  const std::int32_t* next = column[0] + kColumnsAtOnce * grid.columnStride;
  const bool ahead = first + 2 * kColumnsAtOnce <= W + 1 && WorthAskingAhead(grid.columnStride, W);
  if (common::kLanes && columns == kColumnsAtOnce) {
    for (std::int32_t n = 0; n < picks; ++n) {
      if (ahead && n % kPicksPerLine == 0) __builtin_prefetch(next + kColumnsAtOnce * n, 1);
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

namespace {

#ifdef __wasm_simd128__
// The picks from n on of four columns of a program's grid, each column's rows maxLength apart
// from the last's, as long as each height is in the table; returns 4 * n + c for column c of
// the first pick n with one that is not, 4 * picks when there is none.
template <class S>
[[gnu::noinline]] std::int32_t TabledPicks(std::int32_t* column, const std::uint32_t* rows,
                                           std::int32_t n, std::int32_t picks,
                                           const SweepTerms& terms) {
  constexpr std::int32_t stride = RippleGrid<S>::columnStride, apart = S::maxLength;
  const std::int32_t* const lengths = terms.table.lengths;
  const std::int32_t L = terms.L, q = terms.q;
  const auto plain = static_cast<std::uint32_t>(terms.plainHeights);
  for (; n < picks; ++n) {
    for (std::int32_t c = 0; c < kColumnsAtOnce; ++c) {
      const std::int32_t i = static_cast<std::int32_t>(rows[c * apart + n]);
      std::int32_t* const cells = column + c * stride;
      const std::int32_t height = cells[i];
      if (__builtin_expect(static_cast<std::uint32_t>(height) >= plain, 0))
        return kColumnsAtOnce * n + c;
      std::int32_t target = i + lengths[height];
      if (target > L) target -= L;
      const std::int32_t moved = q & -static_cast<std::int32_t>(height > q);
      cells[i] = height - moved;
      cells[target] += moved;
    }
  }
  return kColumnsAtOnce * picks;
}

// SaltationColumns for four whole columns of a program's grid, in WebAssembly, whose engines
// keep few values in registers: there the four columns' rows and cells are reached from one
// pointer each, a fixed distance apart, and the loop holds no call (with one, the engines
// store and reload the loop's values on every pick): a pick with a height the table does not
// hold ends it, is run here, and the loop goes on after it.
template <class S>
void WasmFourColumns(BedState<S>& bed, std::int32_t first, std::uint32_t* states,
                     std::int32_t picks, const SweepTerms& terms) {
  constexpr std::int32_t apart = S::maxLength;
  for (std::int32_t c = 0; c < kColumnsAtOnce; ++c) {
    std::uint32_t* const rows = states + c * apart;
    common::DrawStates(bed.random, rows, picks);
    for (std::int32_t n = 0; n < picks; ++n)
      rows[n] = static_cast<std::uint32_t>(common::PickInDoubles(rows[n], terms.L));
  }
  std::int32_t* const column = &bed.grid.at(0, first);
  // Out of line, and called from two places, which keeps the optimisers of the module, too,
  // from inlining its loop here, calls and all; a call through a pointer would do it as well,
  // but the web build's Asyncify takes any such call for one that may wait.
  const auto tabled = &TabledPicks<S>;
  for (std::int32_t k = tabled(column, states, 0, picks, terms); k < kColumnsAtOnce * picks;
       k = tabled(column, states, k / kColumnsAtOnce + 1, picks, terms)) {
    const std::int32_t n = k / kColumnsAtOnce;
    for (std::int32_t c = k % kColumnsAtOnce; c < kColumnsAtOnce; ++c)
      Jump<S>(column + c * RippleGrid<S>::columnStride,
              static_cast<std::int32_t>(states[c * apart + n]), terms);
  }
}
#endif

template <class S>
void SaltationBlocks(BedState<S>& bed, const SweepTerms& terms, std::uint32_t* states) {
  const std::int32_t picks = std::max(terms.L, 1);
  const std::int32_t W = BedWidth(bed);
  for (std::int32_t j = 0; j <= W; j += kColumnsAtOnce) {
    const std::int32_t columns = std::min(kColumnsAtOnce, W + 1 - j);
#ifdef __wasm_simd128__
    if constexpr (!kOpen<S>) {
      if (common::kLanes && columns == kColumnsAtOnce) {
        WasmFourColumns(bed, j, states, picks, terms);
        continue;
      }
    }
#endif
    common::DrawStates(bed.random, states, columns * picks);
    SaltationColumns<S>(bed.grid, j, columns, states, picks, terms, W);
  }
}

}  // namespace

template <class S>
void SaltationSweep(BedState<S>& bed) {
  if (Unmade(bed)) return;
  const JumpTable& table = CurrentJumpTable(bed);
  const SweepTerms terms{table,
                         bed.params.factorB,
                         bed.params.windStrength,
                         BedLength(bed),
                         bed.params.factorQ,
                         bed.grid.lastRow,
                         PlainHeights(bed.jumps, bed.grid.lastRow)};
  if constexpr (kOpen<S>) {
    SaltationBlocks(bed, terms, bed.grid.scratch.get());
  } else {
    std::uint32_t states[kColumnsAtOnce * S::maxLength];
    SaltationBlocks(bed, terms, states);
  }
}

namespace {

// Offset of neighbour n in the order they are compared: next row, previous row, previous
// column, next column.
template <class Stride>
constexpr std::int32_t NeighbourOffset(std::int32_t n, Stride stride) {
  const std::int32_t s = stride;
  return n == 0 ? 1 : n == 1 ? -1 : n == 2 ? -s : s;
}

struct Steepest {
  std::int32_t index;       // 0..3 into the order of NeighbourOffset
  std::int32_t difference;  // centre minus that neighbour; 0 when all four are level
};

// The first neighbour of the largest height difference, found from the last to the first
// with >= so that the earliest of equals wins; written to compile without branches, as which
// neighbour wins is as good as random.
template <class Stride>
KAMMEL_INLINE Steepest FindSteepest(const std::int32_t* centre, Stride stride) {
  const std::int32_t c = centre[0];
  Steepest steepest{3, c - centre[NeighbourOffset(3, stride)]};
  std::int32_t largest = std::abs(steepest.difference);
  for (std::int32_t n = 2; n >= 0; --n) {
    const std::int32_t difference = c - centre[NeighbourOffset(n, stride)];
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
  const auto& grid = bed.grid;
  const Steepest steepest = FindSteepest(&grid.cells[grid.Index(i, j)], StrideOf(grid));
  if (steepest.difference == 0) return 0;
  return steepest.difference > 0 ? steepest.index + 1 : -(steepest.index + 1);
}

namespace {

// An edge cell gives one grain to its inner neighbour when positive and strictly higher.
KAMMEL_INLINE void ShedInwards(std::int32_t& edge, std::int32_t& inner) {
  const std::int32_t grain = (edge > 0) & (edge > inner);
  edge -= grain;
  inner += grain;
}

// ShedInwards for four rows at once. Each pair is read after the last pair is stored, as the
// columns of the two side edges are one and the same on a bed one or two columns wide.
KAMMEL_INLINE void ShedFourInwards(std::int32_t* edge, std::int32_t* inner) {
  common::Lanes e, n;
  std::memcpy(&e, edge, sizeof e);
  std::memcpy(&n, inner, sizeof n);
  const common::Lanes grain = (e > 0) & (e > n);  // all ones where a grain moves
  e += grain;
  n -= grain;
  std::memcpy(edge, &e, sizeof e);
  std::memcpy(inner, &n, sizeof n);
}

template <class S>
KAMMEL_KERNEL void CreepSideEdges(RippleGrid<S>& grid, std::int32_t L, std::int32_t W) {
  // Rows do not interact here, so this loop runs down four whole columns.
  std::int32_t* first = &grid.at(0, 0);
  std::int32_t* second = &grid.at(0, 1);
  std::int32_t* last = &grid.at(0, W);
  std::int32_t* beforeLast = &grid.at(0, W - 1);
  std::int32_t i = 0;
  for (; common::kLanes && i + 4 <= L + 1; i += 4) {
    ShedFourInwards(first + i, second + i);
    ShedFourInwards(last + i, beforeLast + i);
  }
  for (; i <= L; ++i) {
    ShedInwards(first[i], second[i]);
    ShedInwards(last[i], beforeLast[i]);
  }
}

// How many columns ahead the front and back edges are asked for: a column apart is a cache line
// and, on a bed larger than the caches, a trip to memory apart.
constexpr std::int32_t kEdgePrefetchAhead = 16;

template <class S>
KAMMEL_KERNEL void CreepFrontAndBack(RippleGrid<S>& grid, std::int32_t L, std::int32_t W) {
  const bool ahead = WorthAskingAhead(grid.columnStride, W);
  for (std::int32_t j = 0; j <= W; ++j) {
    if (ahead && j + kEdgePrefetchAhead <= W) {
      __builtin_prefetch(&grid.at(0, j + kEdgePrefetchAhead), 1);
      __builtin_prefetch(&grid.at(L - 1, j + kEdgePrefetchAhead), 1);
    }
    ShedInwards(grid.at(0, j), grid.at(1, j));
    ShedInwards(grid.at(L, j), grid.at(L - 1, j));
  }
}

// One creep event at a cell: to its steepest neighbour, when that lies lower and the centre is
// positive, RoundHalfEven(d / 3) + 1 grains (d / 3 never ends in a half). A mask instead of a
// branch; moving 0 grains changes nothing.
template <class Stride>
KAMMEL_INLINE void CreepEvent(std::int32_t* centre, Stride stride) {
  const Steepest steepest = FindSteepest(centre, stride);
  const std::int32_t d = steepest.difference;
  const std::int32_t moves = -static_cast<std::int32_t>((*centre > 0) & (d > 0));
  const auto third = static_cast<std::int32_t>(static_cast<std::uint32_t>(d + 1) / 3u);
  const std::int32_t amount = (third + 1) & moves;
  *centre -= amount;
  centre[NeighbourOffset(steepest.index, stride)] += amount;
}

using common::Lanes;
using common::UnsignedLanes;

// Whether cells this far apart (in array index) lie within two steps of each other, so that
// the crosses of two events around them share a cell.
template <class Stride>
KAMMEL_INLINE Lanes Near(Lanes apart, Stride columnStride) {
  const std::int32_t stride = columnStride;
#ifdef __wasm_simd128__
  // WebAssembly's engines compare lanes unsigned in several instructions, signed in one; the
  // distance, never -2^31 between two cells of an array, gives the same answer signed.
  const Lanes distance = common::Abs(apart);
  return (distance < 3) | (common::Abs(distance - stride) < 2) | (distance == 2 * stride);
#else
  const auto u = reinterpret_cast<UnsignedLanes&>(apart);
  return (u + 2u <= 4u) | (u - static_cast<std::uint32_t>(stride - 1) <= 2u) |
         (u + static_cast<std::uint32_t>(stride + 1) <= 2u) | (apart == 2 * stride) |
         (apart == -2 * stride);
#endif
}

// The lanes of constants FourCreepEvents works with, made where they are used.
template <class Stride>
struct FixedLanes {
  Stride stride;
  KAMMEL_INLINE Lanes Offset(std::int32_t n) const { return Lanes{} + NeighbourOffset(n, stride); }
  KAMMEL_INLINE Lanes One() const { return Lanes{} + 1; }
  KAMMEL_INLINE Lanes Steepest() const { return Lanes{} + 0x7fff; }
  KAMMEL_INLINE UnsignedLanes ThirdOf(UnsignedLanes x) const { return common::SmallThirdOf(x); }
};

#ifdef __wasm_simd128__
// The same, made once per block of events from lanes read from memory. WebAssembly's engines
// make a constant afresh at each use, in three instructions, once their registers run out;
// values they know nothing of they keep, or store and read back in one.
struct LoadedLanes {
  Lanes offsets[4], one, steepest, thirds;
  template <class Stride>
  static LoadedLanes For(Stride stride) {
    const std::int32_t s = stride;
    const LoadedLanes made{{Lanes{} + 1, Lanes{} - 1, Lanes{} - s, Lanes{} + s},
                           Lanes{} + 1,
                           Lanes{} + 0x7fff,
                           Lanes{} + 0xAAAB};
    LoadedLanes read;
    for (int n = 0; n < 4; ++n)
      read.offsets[n] = Read(made.offsets[n]);
    read.one = Read(made.one);
    read.steepest = Read(made.steepest);
    read.thirds = Read(made.thirds);
    return read;
  }
  // Read as the compilers cannot see through, nor move into the loop.
  KAMMEL_INLINE static Lanes Read(const Lanes& lanes) {
    return *static_cast<const volatile Lanes*>(&lanes);
  }
  KAMMEL_INLINE Lanes Offset(std::int32_t n) const { return offsets[n]; }
  KAMMEL_INLINE Lanes One() const { return one; }
  KAMMEL_INLINE Lanes Steepest() const { return steepest; }
  KAMMEL_INLINE UnsignedLanes ThirdOf(UnsignedLanes x) const {
    return x * reinterpret_cast<UnsignedLanes>(thirds) >> 17u;  // as common::SmallThirdOf
  }
};
#endif

// CreepEvent at four cells whose crosses lie apart: the same as running them in turn. The
// previous row, the centre and the next row lie side by side in a column and are read in one
// piece, with the row after, which every array has for a site of the bed and no event here
// writes. False, with nothing written, where a slope is too steep for the short division;
// heights like that come only through the API.
template <class Stride, class Constants>
KAMMEL_INLINE bool FourCreepEvents(std::int32_t* cells, Lanes at, Stride stride,
                                   const Constants& k) {
  std::int32_t* const p[4] = {cells + at[0], cells + at[1], cells + at[2], cells + at[3]};
  const std::int32_t* const previous[4] = {p[0] - 1, p[1] - 1, p[2] - 1, p[3] - 1};
  const common::ThreeLanes rows = common::GatherThree(previous);
  const auto neighbours = [&](std::int32_t offset) {
    return Lanes{p[0][offset], p[1][offset], p[2][offset], p[3][offset]};
  };
  const Lanes c = rows.second;
  const Lanes alongRows[2] = {rows.third, rows.first};  // neighbours 0 and 1
  Lanes difference = c - neighbours(NeighbourOffset(3, stride));
  Lanes largest = common::Abs(difference);
  Lanes offset = k.Offset(3);
  for (std::int32_t n = 2; n >= 0; --n) {  // the earliest of equals wins, as in FindSteepest
    const Lanes d = c - (n == 2 ? neighbours(NeighbourOffset(n, stride)) : alongRows[n]);
    const Lanes magnitude = common::Abs(d);
    const Lanes steeper = ~(largest > magnitude);
    largest = common::SelectLanes(steeper, largest, magnitude);
    difference = common::SelectLanes(steeper, difference, d);
    offset = common::SelectLanes(steeper, offset, k.Offset(n));
  }
  const Lanes moves = (c > 0) & (difference > 0);
  if (__builtin_expect(common::AnyLane((difference & moves) > k.Steepest()), 0)) return false;
  const auto third = k.ThirdOf(reinterpret_cast<UnsignedLanes>(difference + k.One()));
  const Lanes amount = (reinterpret_cast<Lanes>(third) + k.One()) & moves;
  const Lanes left = c - amount;
  // Unrolled, so that each lane is taken out by a constant: a WebAssembly compiler keeps the
  // loop and reads its lanes back through memory.
#pragma GCC unroll 4
  for (int l = 0; l < 4; ++l) {
    p[l][0] = left[l];
    p[l][offset[l]] += amount[l];
  }
  return true;
}

// How many events ahead a site's cells are asked for: far enough to hide a trip to the shared
// cache (the map's array) or to memory (an open bed), near enough that they are still there
// when the event runs. In WebAssembly asking is a load, which holds up the work after it
// until its line arrives: there fewer ahead do better (measured).
#ifdef __wasm__
constexpr std::int32_t kPrefetchAhead = 8;
#else
constexpr std::int32_t kPrefetchAhead = 32;
#endif

// The rows before and after are read with the centre, in one piece that crosses into the next
// line or from the last a quarter of the time: both ends are asked for, mostly the same line.
template <class Stride>
KAMMEL_INLINE void PrefetchCross(common::AskAhead& ask, const std::int32_t* centre, Stride stride) {
  ask(centre - 1);
  ask(centre + 2);
  ask(centre - static_cast<std::int32_t>(stride));
  ask(centre + static_cast<std::int32_t>(stride));
}

#ifdef __wasm_simd128__
// The sites of events 0..n-1, n the largest multiple of 4 up to events, as CreepEvents picks
// them: its engines convert between integers and doubles lane by lane and check each
// conversion, and its compilers read every other draw lane by lane. Here each pair of draws
// is one 64-bit lane, whose halves become doubles exactly through the exponent of 2^52, and
// the picks stay in doubles until their sum, 1.5 * 2^52 plus the site, leaves the site in its
// low 32 bits (see PickInDoubles).
inline std::int32_t WasmSites(const std::uint32_t* draws, std::int32_t events, double rows,
                              double columns, std::int32_t stride, std::int32_t corner,
                              std::uint32_t* sites) {
  const v128_t low = wasm_i64x2_splat(0xffffffff), exponent = wasm_i64x2_splat(0x4330000000000000);
  const v128_t two52 = wasm_f64x2_splat(0x1p52), round = wasm_f64x2_splat(0x1.8p52);
  const v128_t rowScale = wasm_f64x2_splat(rows * 0x1p-32);
  const v128_t columnScale = wasm_f64x2_splat(columns * 0x1p-32);
  const v128_t across = wasm_f64x2_splat(stride), first = wasm_i32x4_splat(corner);
  const auto pair = [&](const std::uint32_t* at) {  // two events' sites, less the corner
    const v128_t v = wasm_v128_load(at);
    const v128_t row = wasm_f64x2_sub(wasm_v128_or(wasm_v128_and(v, low), exponent), two52);
    const v128_t column = wasm_f64x2_sub(wasm_v128_or(wasm_u64x2_shr(v, 32), exponent), two52);
    const v128_t i = wasm_f64x2_add(wasm_f64x2_mul(row, rowScale), round);
    const v128_t j =
        wasm_f64x2_sub(wasm_f64x2_add(wasm_f64x2_mul(column, columnScale), round), round);
    return wasm_f64x2_add(i, wasm_f64x2_mul(j, across));
  };
  std::int32_t n = 0;
  for (; n + 4 <= events; n += 4) {
    const v128_t four =
        wasm_i32x4_shuffle(pair(draws + 2 * n), pair(draws + 2 * n + 4), 0, 2, 4, 6);
    wasm_v128_store(sites + n, wasm_i32x4_add(four, first));
  }
  return n;
}
#endif

// One random event per pair of draws: the first picks the row, the second the column. Four
// at a time where their crosses lie apart, as they mostly do; in turn where they do not.
template <class S>
KAMMEL_KERNEL void CreepEvents(RippleGrid<S>& grid, std::int32_t L, std::int32_t W,
                               const std::uint32_t* draws, std::int32_t events) {
  // The sites first, picked in doubles, in a loop of its own that runs in vector lanes: exact,
  // as neither L - 1 nor W - 1 exceeds kMaxDoublePick. Into an array of their own, so that no
  // store can meet the states still to be read.
  const double rows = L - 1, columns = W - 1;
  const auto stride = StrideOf(grid);
  const std::int32_t corner = grid.Index(1, 1);
  std::uint32_t sites[common::kDrawBlock / 2];
  std::int32_t picked = 0;
#ifdef __wasm_simd128__
  picked = WasmSites(draws, events, rows, columns, stride, corner, sites);
#endif
  for (std::int32_t n = picked; n < events; ++n) {
    const std::int32_t i = common::PickInDoubles(draws[2 * n], rows);
    const std::int32_t j = common::PickInDoubles(draws[2 * n + 1], columns);
    sites[n] = static_cast<std::uint32_t>(corner + j * static_cast<std::int32_t>(stride) + i);
  }
  std::int32_t* cells = grid.cells;
  const bool ahead = WorthAskingAhead(stride, W);
  common::AskAhead ask;
  for (std::int32_t n = 0; ahead && n < std::min(kPrefetchAhead, events); ++n)
    PrefetchCross(ask, cells + sites[n], stride);
#ifdef __wasm_simd128__
  const auto constants = LoadedLanes::For(stride);
#else
  const FixedLanes<decltype(stride)> constants{stride};
#endif
  std::int32_t n = 0;
  for (; common::kLanes && n + 4 <= events; n += 4) {
    if (ahead && n + kPrefetchAhead + 4 <= events) {
      for (int l = 0; l < 4; ++l)
        PrefetchCross(ask, cells + sites[n + kPrefetchAhead + l], stride);
    }
    const Lanes at = common::LoadLanes(sites + n);
    const auto near = [stride](Lanes apart) __attribute__((always_inline)) {
      return Near(apart, stride);
    };
    if (__builtin_expect(
            common::AnyTwoNear(at, near) || !FourCreepEvents(cells, at, stride, constants), 0)) {
      for (int l = 0; l < 4; ++l)
        CreepEvent(cells + at[l], stride);
    }
  }
  for (; n < events; ++n) {
    if (ahead && n + kPrefetchAhead < events)
      PrefetchCross(ask, cells + sites[n + kPrefetchAhead], stride);
    CreepEvent(cells + sites[n], stride);
  }
}

// The variants' creep events, one at a time and written for plainness: no research run needs
// them at the programs' speed.
struct VariantEventTerms {
  std::int32_t L, W;
  bool periodic, swapColumns, randomTies;
};

template <class S>
void VariantCreepEvent(RippleGrid<S>& grid, const VariantEventTerms& t,
                       const std::uint32_t* draws) {
  const std::int32_t i = common::PickFromState(draws[0], t.L - 1) + 1;
  const std::int32_t j =
      t.periodic ? static_cast<std::int32_t>((std::uint64_t{draws[1]} * (t.W + 1u)) >> 32)
                 : common::PickFromState(draws[1], t.W);
  std::int32_t& centre = grid.at(i, j);
  if (centre <= 0) return;
  std::int32_t before = j - 1, after = j + 1;
  if (t.periodic) {
    before = before < 0 ? t.W : before;
    after = after > t.W ? 0 : after;
  }
  std::int32_t* neighbour[4] = {&grid.at(i + 1, j), &grid.at(i - 1, j), &grid.at(i, before),
                                &grid.at(i, after)};
  if (t.swapColumns) std::swap(neighbour[2], neighbour[3]);
  std::int32_t largest = 0, tied[4], count = 0;
  for (std::int32_t n = 0; n < 4; ++n) {
    const std::int32_t magnitude = std::abs(centre - *neighbour[n]);
    if (magnitude > largest) {
      largest = magnitude;
      count = 0;
    }
    if (magnitude == largest && magnitude > 0) tied[count++] = n;
  }
  if (count == 0) return;
  const std::int32_t chosen =
      t.randomTies ? tied[(std::uint64_t{draws[2]} * static_cast<std::uint32_t>(count)) >> 32]
                   : tied[0];
  const std::int32_t d = centre - *neighbour[chosen];
  if (d <= 0) return;
  const std::int32_t amount = (d + 1) / 3 + 1;
  centre -= amount;
  *neighbour[chosen] += amount;
}

template <std::int32_t PerEvent, class S>
void VariantCreepEvents(BedState<S>& bed, const VariantEventTerms& terms, std::int32_t events) {
  common::RunInDrawBlocks<PerEvent>(bed.random, events,
                                    [&](std::uint32_t* states, std::int32_t count) {
                                      for (std::int32_t n = 0; n < count; ++n)
                                        VariantCreepEvent(bed.grid, terms, states + PerEvent * n);
                                    });
}

template <class S>
void VariantCreepSweep(BedState<S>& bed, std::int32_t L, std::int32_t W, std::int32_t events) {
  const CreepVariant& v = bed.variant;
  if (!v.periodic) CreepSideEdges(bed.grid, L, W);
  CreepFrontAndBack(bed.grid, L, W);
  const VariantEventTerms terms{L, W, v.periodic,
                                v.ties == TieRule::alternating && (bed.creepSweeps & 1) != 0,
                                v.ties == TieRule::random};
  if (terms.randomTies)
    VariantCreepEvents<3>(bed, terms, events);
  else
    VariantCreepEvents<2>(bed, terms, events);
}

}  // namespace

template <class S>
void CreepSweep(BedState<S>& bed) {
  if (Unmade(bed)) return;
  const std::int32_t L = BedLength(bed);
  const std::int32_t W = BedWidth(bed);
  RippleGrid<S>& grid = bed.grid;
  const std::int32_t events = std::max(W - 1, 1) + std::max(L - 1, 1) - 1;
  if (__builtin_expect(bed.variant != CreepVariant{}, 0)) {
    VariantCreepSweep(bed, L, W, events);
  } else {
    CreepSideEdges(grid, L, W);
    CreepFrontAndBack(grid, L, W);
    common::RunInDrawBlocks<2>(bed.random, events,
                               [&grid, L, W](std::uint32_t* states, std::int32_t count) {
                                 CreepEvents<S>(grid, L, W, states, count);
                               });
  }
  ++bed.creepSweeps;
}

template <class S>
void RunBatch(BedState<S>& bed) {
  const std::int32_t creepSweeps = bed.grid.creepSweepsPerWidth * BedWidth(bed);
  for (std::int32_t cycle = 0; cycle < bed.grid.cyclesPerBatch; ++cycle) {
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
  const std::int64_t perEvent = bed.variant.ties == TieRule::random ? 3 : 2;
  const std::int64_t creep =
      perEvent * (std::max<std::int64_t>(W - 1, 1) + std::max<std::int64_t>(L - 1, 1) - 1);
  const auto& grid = bed.grid;
  return grid.cyclesPerBatch * (3 * saltation + grid.creepSweepsPerWidth * W * creep);
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
KAMMEL_INSTANTIATE(OpenSettings)

}  // namespace model3d
