// The three-dimensional ripple model: a sand bed of integer heights changed by saltation and
// creep. Headless: it knows nothing of windows or drawing.
//
// A model's whole state is one value, BedState: parameters, grid and generator. The operations
// are plain procedures that take it, so a program holds one and a runner or a test as many as it
// needs. The grid's first index is the row, along the wind (rows 0..L); the second the column,
// across it (columns 0..W).
#pragma once

#include <cstdint>
#include <memory>

#include "common/Kernels.h"
#include "common/Random.h"

namespace model3d {

struct RippleParams {
  std::int32_t layerLength;  ///< L: last row of the bed
  std::int32_t layerWidth;   ///< W: last column of the bed
  std::int32_t layerHeight;  ///< H0: initial height of every bed cell, in grains
  double factorB;            ///< jump length per grain of height
  double windStrength;       ///< jump length added to every jump
  std::int32_t factorQ;      ///< saltation threshold and grains carried by one jump
};

/// The largest H0 and q a caller may give: every sum of the largest bed then stays in 32 bits.
inline constexpr std::int32_t kMaxGrains = 1000;

/// kammel3: array rows 0..1000 and columns 0..500, L <= 999 and W <= 499, batches of 5 cycles
/// of 3 saltation sweeps and 3 W creep sweeps.
struct ReliefSettings {
  static constexpr std::int32_t lastRow = 1000, lastColumn = 500;
  static constexpr std::int32_t maxLength = 999, maxWidth = 499;
  static constexpr std::int32_t cyclesPerBatch = 5, creepSweepsPerWidth = 3;
};

/// kammel3map: array rows 0..1001 and columns 0..501, L <= 1000 and W <= 500, batches of 3
/// cycles of 3 saltation sweeps and W creep sweeps.
struct MapSettings {
  static constexpr std::int32_t lastRow = 1001, lastColumn = 501;
  static constexpr std::int32_t maxLength = 1000, maxWidth = 500;
  static constexpr std::int32_t cyclesPerBatch = 3, creepSweepsPerWidth = 1;
};

/// A bed sized when it is made, for research runs only (never the programs'): rows 0..L and
/// columns 0..W as the parameters give them to MakeOpenGrid, with the batches of either
/// program. Its array reaches two rows and one column beyond the bed: creep reaches the first
/// row beyond, and what jumps further collects in the second, as in the programs' arrays.
struct OpenSettings {};

/// Whose batches an open bed runs: the relief's (5 cycles, 3 W creep sweeps) or the map's (3, W).
enum class Schedule : std::uint8_t { relief, map };

/// Heights of rows -1..lastRow and columns -1..lastColumn. Row and column -1 are guards outside
/// every bed: what would fall off the low side of the array collects there, as what leaves the
/// bed on the high side collects in row L+1 and column W+1. Stored column by column, so that
/// the cells a saltation sweep and the side-edge creep walk along lie next to each other.
template <class Settings>
struct RippleGrid {
  static constexpr std::int32_t lastRow = Settings::lastRow, lastColumn = Settings::lastColumn;
  static constexpr std::int32_t maxLength = Settings::maxLength, maxWidth = Settings::maxWidth;
  static constexpr std::int32_t cyclesPerBatch = Settings::cyclesPerBatch;
  static constexpr std::int32_t creepSweepsPerWidth = Settings::creepSweepsPerWidth;
  static constexpr std::int32_t columnStride = Settings::lastRow + 2;  ///< cells per column
  static constexpr std::int32_t columns = Settings::lastColumn + 2;
  static constexpr std::int64_t size = std::int64_t{columns} * columnStride;
  std::int32_t cells[columns * columnStride];

  std::int32_t& at(std::int32_t i, std::int32_t j) { return cells[Index(i, j)]; }
  std::int32_t at(std::int32_t i, std::int32_t j) const { return cells[Index(i, j)]; }
  static constexpr std::int32_t Index(std::int32_t i, std::int32_t j) {
    return (j + 1) * columnStride + (i + 1);
  }
};

/// The open bed's array, on the heap: the same layout and names as the programs' grids, its
/// bounds and schedule read at run time. Empty (no cells) until MakeOpenGrid succeeds.
template <>
struct RippleGrid<OpenSettings> {
  struct Free {
    void operator()(void* p) const;
  };
  std::int32_t lastRow = -1, lastColumn = -1, maxLength = 0, maxWidth = 0;
  std::int32_t cyclesPerBatch = 0, creepSweepsPerWidth = 0;
  std::int32_t columnStride = 0, columns = 0;
  std::int64_t size = 0;
  std::unique_ptr<std::int32_t[], Free> storage;
  std::unique_ptr<std::uint32_t[], Free> scratch;  ///< the states of one saltation block
  std::int32_t* cells = nullptr;

  std::int32_t& at(std::int32_t i, std::int32_t j) { return cells[Index(i, j)]; }
  std::int32_t at(std::int32_t i, std::int32_t j) const { return cells[Index(i, j)]; }
  std::int32_t Index(std::int32_t i, std::int32_t j) const {
    return (j + 1) * columnStride + (i + 1);
  }
};

/// The largest open bed: its array's index fits 32 bits, and a pick U * L or U * W stays exact
/// in a double.
inline constexpr std::int64_t kMaxOpenCells = (std::int64_t{1} << 31) - 1;
inline constexpr std::int32_t kMaxOpenLength = common::kMaxDoublePick;

/// How ties among equally steep neighbours are broken in creep.
enum class TieRule : std::uint8_t {
  firstInOrder,  ///< the programs' rule: next row, previous row, previous column, next column
  random,        ///< uniformly among the tied, by a third random number per event
  alternating,   ///< as firstInOrder, the two columns swapped in every other creep sweep
};

/// Creep without a preferred side across the wind, for research runs only. The programs keep
/// the default, which is their model exactly. Any other value makes the creep events pick
/// columns 0..W alike (both outer neighbours lie beyond the bed) or, periodic, wrap the columns:
/// the side edges then shed nothing and the events pick every column alike.
struct CreepVariant {
  TieRule ties = TieRule::firstInOrder;
  bool periodic = false;
  bool operator==(const CreepVariant&) const = default;
};

/// One model: the parameters the driver writes, the grid only the operations below change, the
/// generator they draw from, and the jump lengths worked out for the current b and wind. All
/// zero before the first initialisation. Large (2 MB for the map): keep it off the stack.
template <class Settings>
struct BedState {
  using Setting = Settings;
  RippleParams params{};
  RippleGrid<Settings> grid{};
  common::Random random{};
  common::JumpTable<1024> jumps{};  ///< a cache; never part of what a run records
  CreepVariant variant{};           ///< the programs' creep unless a research run says otherwise
  std::uint64_t creepSweeps = 0;    ///< creep sweeps run since initialisation (for alternating)
};

/// Makes an open bed's array for params.layerLength x params.layerWidth (L and W in
/// 1..kMaxOpenLength, the array at most kMaxOpenCells) with the schedule's batches, all cells 0
/// and every page touched, so that a bed that does not fit fails here, at once, rather than
/// half way through a run. False, and the grid left empty, when the size is out of range or
/// the memory cannot be had.
bool MakeOpenGrid(BedState<OpenSettings>& bed, Schedule schedule);

/// Bytes the array of an open bed of L x W takes.
std::int64_t OpenGridBytes(std::int32_t L, std::int32_t W);

/// The rows and columns the sweeps work on: L and W clamped to 0..maxLength and 0..maxWidth (an
/// open bed's own size), so that no parameter value leads outside the array.
template <class Settings>
std::int32_t BedLength(const BedState<Settings>& bed);
template <class Settings>
std::int32_t BedWidth(const BedState<Settings>& bed);

/// Every cell of the array to 0, then the bed's cells to H0. The generator is left as it is.
template <class Settings>
void InitRippleGrid(BedState<Settings>& bed);

/// Height of cell [RoundHalfEven(x), RoundHalfEven(y)], x the row and y the column; 0 outside
/// the array.
template <class Settings>
double HeightAt(const BedState<Settings>& bed, double x, double y);

/// RoundHalfEven(h[i, j] * b + wind), formed in extended precision; clamped to
/// +-MaxJumpLength first, NaN giving 0.
inline constexpr std::int32_t MaxJumpLength = 1 << 30;
template <class Settings>
std::int32_t JumpLength(const BedState<Settings>& bed, std::int32_t i, std::int32_t j);

/// The jump length of a site of this height with factors b and wind, by the same rule.
std::int32_t JumpLengthFor(std::int32_t height, double factorB, double windStrength);

/// One saltation pass: max(L, 1) random picks per column, one random number each.
template <class Settings>
void SaltationSweep(BedState<Settings>& bed);

/// -4..4: the neighbour with the largest height difference (strictly largest, first in the
/// order next row, previous row, previous column, next column), positive when the centre is
/// higher; 0 when all four are level with the centre.
template <class Settings>
std::int32_t SteepestNeighbour(const BedState<Settings>& bed, std::int32_t i, std::int32_t j);

/// One creep pass: the side edges, the front and back edges, then W + L - 3 random events of
/// two random numbers each (three with random ties).
template <class Settings>
void CreepSweep(BedState<Settings>& bed);

/// One Start's worth: cyclesPerBatch cycles of 3 saltation sweeps and creepSweepsPerWidth * W
/// creep sweeps.
template <class Settings>
void RunBatch(BedState<Settings>& bed);

/// Random numbers one RunBatch draws with the current parameters.
template <class Settings>
std::int64_t RandomNumbersPerBatch(const BedState<Settings>& bed);

}  // namespace model3d
