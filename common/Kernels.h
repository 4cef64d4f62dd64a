// What the two models' kernels share: four lanes of 32-bit integers, the check that four events
// lie apart, the jump-length table, and drawing random states in blocks.
//
// Built with KAMMEL_SCALAR_KERNELS, the models run every event one at a time instead of four
// in lanes; the reference tests run against both builds, so the lanes never go unchecked.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/Random.h"

#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace common {

#ifdef KAMMEL_SCALAR_KERNELS
inline constexpr bool kLanes = false;
#else
inline constexpr bool kLanes = true;
#endif

/// The hot loops, built twice where the compiler can choose between builds when the program
/// loads (GCC on x86-64): for AVX2, whose single-instruction inserts, absolute values and blends
/// the lanes need, and for the baseline. Integer code and exact double picks: both give the same
/// heights bit for bit. KAMMEL_BASELINE_KERNELS keeps the baseline alone, for its tests.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__ELF__) && \
    !defined(KAMMEL_BASELINE_KERNELS)
#define KAMMEL_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define KAMMEL_KERNEL
#endif

/// What the kernels call: inlined into each build of them, or the AVX2 build would call out to
/// the baseline's code.
#define KAMMEL_INLINE [[gnu::always_inline]] inline

/// Asks for the cache line of a cell ahead of its use, for writing. WebAssembly has no
/// prefetch (its compilers drop the builtin): there a plain load asks, its value folded into
/// one the optimisers must keep, so that a loop's cells arrive while it works on earlier ones.
class AskAhead {
 public:
#ifdef __wasm__
  KAMMEL_INLINE void operator()(const std::int32_t* cell) {
    loaded_ |= *cell;
  }
  AskAhead() = default;
  AskAhead(const AskAhead&) = delete;
  AskAhead& operator=(const AskAhead&) = delete;
  ~AskAhead() {
    __asm__ volatile("" : : "r"(loaded_));
  }

 private:
  std::int32_t loaded_ = 0;
#else
  KAMMEL_INLINE void operator()(const std::int32_t* cell) {
    __builtin_prefetch(cell, 1);
  }
#endif
};

/// Four values side by side, in the vector extension of GCC and Clang: SSE2 on x86-64.
typedef std::int32_t Lanes __attribute__((vector_size(16)));
typedef std::uint32_t UnsignedLanes __attribute__((vector_size(16)));

KAMMEL_INLINE Lanes LoadLanes(const std::uint32_t* values) {
  Lanes lanes;
  std::memcpy(&lanes, values, sizeof lanes);
  return lanes;
}

KAMMEL_INLINE Lanes Abs(Lanes x) {
  const Lanes sign = x >> 31;
  return (x ^ sign) - sign;
}

/// Per lane: b where mask is set (all ones), a where it is clear.
KAMMEL_INLINE Lanes SelectLanes(Lanes mask, Lanes a, Lanes b) {
  return a ^ ((a ^ b) & mask);
}

/// Per lane x / 3. WebAssembly has no vector division of integers, so its compilers divide
/// lane by lane, and its engines make a 64-bit multiply of several; there in doubles instead:
/// x / 3 rounded never reaches the next integer for a 32-bit x, so its floor is the quotient,
/// and adding 2^52 leaves that in the low 32 bits.
KAMMEL_INLINE UnsignedLanes ThirdOf(UnsignedLanes x) {
#ifdef __wasm_simd128__
  const v128_t v = reinterpret_cast<v128_t>(x);
  const v128_t three = wasm_f64x2_splat(3.0), shift = wasm_f64x2_splat(0x1p52);
  const v128_t low = wasm_f64x2_floor(wasm_f64x2_div(wasm_f64x2_convert_low_u32x4(v), three));
  const v128_t high = wasm_f64x2_floor(
      wasm_f64x2_div(wasm_f64x2_convert_low_u32x4(wasm_i32x4_shuffle(v, v, 2, 3, 2, 3)), three));
  return reinterpret_cast<UnsignedLanes>(
      wasm_i32x4_shuffle(wasm_f64x2_add(low, shift), wasm_f64x2_add(high, shift), 0, 2, 4, 6));
#else
  return x / 3u;
#endif
}

/// Per lane x / 3 for x below 2^16, in one short multiply: x * 0xAAAB / 2^17 rounds down to
/// x / 3 for every x below 2^17.
KAMMEL_INLINE UnsignedLanes SmallThirdOf(UnsignedLanes x) {
#if defined(__SSE2__) && !defined(__wasm_simd128__)
  // The high half of each 16-bit product: the upper halves of x are 0, so each 32-bit lane
  // holds x * 0xAAAB / 2^16.
  const __m128i high = _mm_mulhi_epu16(reinterpret_cast<__m128i>(x), _mm_set1_epi32(0xAAAB));
  return reinterpret_cast<UnsignedLanes>(high) >> 1u;
#else
  return x * 0xAAABu >> 17u;
#endif
}

/// Whether any lane of a mask (each lane all ones or all zeros) is set.
KAMMEL_INLINE bool AnyLane(Lanes mask) {
#if defined(__SSE2__) && !defined(__wasm_simd128__)
  return _mm_movemask_ps(reinterpret_cast<__m128>(mask)) != 0;
#elif defined(__wasm_simd128__)
  return wasm_v128_any_true(reinterpret_cast<v128_t>(mask));  // one instruction, not seven
#else
  return (mask[0] | mask[1] | mask[2] | mask[3]) != 0;
#endif
}

/// Keeps the compiler from leaving lanes of a shuffle undefined where no one reads them.
/// WebAssembly's compilers write such a lane as lane 0 and so hide a shuffle the engines do in
/// one instruction (an unpack) behind a general byte shuffle of several; natively nothing.
KAMMEL_INLINE void KeepEveryLane([[maybe_unused]] Lanes& lanes) {
#ifdef __wasm_simd128__
  __asm__("" : "+r"(lanes));
#endif
}

/// Three cells from each of four places, as three lanes: from[l][0..2] go to lane l of the
/// first, second and third. Each place is read in one piece of four cells, so from[l][3] must
/// exist too; it is read, never used.
struct ThreeLanes {
  Lanes first, second, third;
};
KAMMEL_INLINE ThreeLanes GatherThree(const std::int32_t* const from[4]) {
  Lanes piece[4];
  for (int l = 0; l < 4; ++l)
    std::memcpy(&piece[l], from[l], sizeof piece[l]);
  const Lanes low = __builtin_shufflevector(piece[0], piece[1], 0, 4, 1, 5);
  const Lanes high = __builtin_shufflevector(piece[2], piece[3], 0, 4, 1, 5);
  Lanes lowThirds = __builtin_shufflevector(piece[0], piece[1], 2, 6, 3, 7);
  Lanes highThirds = __builtin_shufflevector(piece[2], piece[3], 2, 6, 3, 7);
  KeepEveryLane(lowThirds);
  KeepEveryLane(highThirds);
  return {__builtin_shufflevector(low, high, 0, 1, 4, 5),
          __builtin_shufflevector(low, high, 2, 3, 6, 7),
          __builtin_shufflevector(lowThirds, highThirds, 0, 1, 4, 5)};
}

/// Whether any two of four sites lie near each other, near(difference) telling per lane
/// whether two sites that far apart share a cell. Each pair is compared once, as a difference
/// to the next lane or to the one across.
template <class Near>
KAMMEL_INLINE bool AnyTwoNear(Lanes at, Near near) {
  const Lanes next = {at[1], at[2], at[3], at[0]};
  const Lanes across = {at[2], at[3], at[0], at[1]};
  return AnyLane(near(at - next) | near(at - across));
}

/// Jump lengths of the heights 0..size-1, made once per b and wind: the hot loops then need
/// no extended-precision arithmetic. Each entry is exactly what the model's own jump length
/// gives.
template <std::int32_t Size>
struct JumpTable {
  static constexpr std::int32_t size = Size;
  double factorB = 0, windStrength = 0;
  bool filled = false;
  std::int32_t lengths[Size];

  /// Whether a height has its entry.
  static bool Holds(std::int32_t height) { return static_cast<std::uint32_t>(height) < Size; }

  /// Makes the table for b and wind unless it is made already; compared bitwise, so that a NaN
  /// factor does not rebuild it on every sweep.
  template <class LengthOf>
  const JumpTable& For(double b, double wind, LengthOf lengthOf) {
    const bool same = filled && std::memcmp(&factorB, &b, sizeof b) == 0 &&
                      std::memcmp(&windStrength, &wind, sizeof wind) == 0;
    if (!same) {
      for (std::int32_t h = 0; h < Size; ++h)
        lengths[h] = lengthOf(h);
      factorB = b;
      windStrength = wind;
      filled = true;
      withinLow = 1;
      withinHigh = 0;
    }
    return *this;
  }

  /// How many heights from 0 up have entries all in lo..hi: a jump from those needs no check
  /// against the array's ends. Remembered for the last lo and hi asked.
  std::int32_t HeightsWithin(std::int32_t lo, std::int32_t hi) {
    if (lo != withinLow || hi != withinHigh) {
      within = 0;
      while (within < Size && lengths[within] >= lo && lengths[within] <= hi)
        ++within;
      withinLow = lo;
      withinHigh = hi;
    }
    return within;
  }

  std::int32_t withinLow = 1, withinHigh = 0, within = 0;  ///< no bounds asked yet
};

/// The random states of up to this many draws are made ahead, in one go: none of them depends
/// on the heights, and drawing apart from the moves lets both run at full speed.
inline constexpr std::int32_t kDrawBlock = 1024;

/// Runs events in blocks: draws the states of up to kDrawBlock / perEvent events at a time,
/// perEvent numbers each, and hands them to run(states, count) in the order they were drawn.
template <std::int32_t PerEvent, class Run>
inline void RunInDrawBlocks(Random& random, std::int32_t events, Run run) {
  constexpr std::int32_t perBlock = kDrawBlock / PerEvent;
  std::uint32_t states[kDrawBlock];
  for (std::int32_t done = 0; done < events; done += perBlock) {
    const std::int32_t count = std::min(perBlock, events - done);
    DrawStates(random, states, PerEvent * count);
    run(states, count);
  }
}

}  // namespace common
