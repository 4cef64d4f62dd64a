// The models' extended-precision arithmetic as the x87 does it: a 64-bit significand, each
// operation rounded to nearest, ties to even. Where long double is that format this is plain
// long double arithmetic, unchanged; where it is wider (WebAssembly's binary128), each result is
// rounded to 64 bits again, so that the jump lengths, and with them the beds, are the same bit
// for bit everywhere.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

#if LDBL_MANT_DIG != 64
#include "common/EmulatedExtended.h"  // needs a 128-bit integer type: not for 32-bit x86
#endif

namespace common {

#if LDBL_MANT_DIG == 64

/// The plot's extended precision: the hardware's own.
using Extended = long double;
inline long double ExtendedFromLongDouble(long double v) {
  return v;
}
inline long double ToLongDouble(long double v) {
  return v;
}
inline bool IsNaN(long double v) {
  return std::isnan(v);
}
inline long double Abs(long double v) {
  return std::fabs(v);
}
inline long double Sqrt(long double v) {
  return std::sqrt(v);
}
inline std::int64_t RoundToInt64(long double v) {
  return std::llrint(v);
}

/// a × b + c, each step rounded to the 64-bit significand.
inline long double ExtendedMulAdd(long double a, double b, double c) {
  return a * b + c;
}

#else

/// The plot's extended precision: the x87's, in integer arithmetic.
using Extended = EmulatedExtended;
inline Extended ExtendedFromLongDouble(long double v) {
  return Extended::FromLongDouble(v);
}
inline long double ToLongDouble(const Extended& v) {
  return v.ToLongDouble();
}
inline bool IsNaN(const Extended& v) {
  return v.IsNaN();
}
inline std::int64_t RoundToInt64(const Extended& v) {
  return v.RoundToInt64();
}

/// v rounded to a 64-bit significand, to nearest, ties to even; rest is what v's own rounding
/// left off the exact value (0 if none), which decides a tie v alone would show.
inline long double RoundToExtended(long double v, long double rest = 0) {
  if (v == 0 || !std::isfinite(v)) return v;
  int exponent = 0;
  const long double scaled = std::ldexp(std::frexp(v, &exponent), 64);  // 2^63 <= |scaled| < 2^64
  long double whole = std::trunc(scaled);
  const long double beyond = std::fabs(scaled - whole);  // exact
  bool up = beyond > 0.5L;
  if (beyond == 0.5L) {
    up = rest != 0 ? (rest > 0) == (v > 0) : std::fmod(whole, 2.0L) != 0;
  }
  if (up) whole += std::copysign(1.0L, v);
  return std::ldexp(whole, exponent - 64);
}

/// a × b + c, each step rounded to the 64-bit significand as the x87 rounds it: the product
/// and the sum are first formed exactly (with the part beyond binary128 kept apart), then
/// rounded once.
inline long double ExtendedMulAdd(long double a, double b, double c) {
  const long double product = a * b;
  const long double productRest = std::fma(a, static_cast<long double>(b), -product);
  const long double p = RoundToExtended(product, productRest);
  const long double sum = p + c;
  const long double back = sum - p;
  const long double sumRest = (p - (sum - back)) + (static_cast<long double>(c) - back);
  return RoundToExtended(sum, sumRest);
}

#endif

}  // namespace common
