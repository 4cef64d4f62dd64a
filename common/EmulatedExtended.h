// The x87's extended format in 64-bit integer arithmetic: a 64-bit significand, each result
// rounded to nearest, ties to even, as with the x87's precision control at 64 bits. For targets
// whose long double is another format (WebAssembly's binary128, done in software and slower);
// compiled natively too, so that its results can be held against the hardware's. The exponent
// is not bounded: the plot's values are far from the format's overflow and subnormal ranges.
#pragma once

#include <bit>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <utility>

namespace common {

class EmulatedExtended {
 public:
  constexpr EmulatedExtended() = default;  // +0
  EmulatedExtended(double v) {             // NOLINT: as long double converts, implicitly
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    neg_ = (bits >> 63) != 0;
    const auto field = static_cast<std::int32_t>((bits >> 52) & 0x7ff);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (field == 0x7ff) {
      kind_ = fraction == 0 ? Kind::Infinite : Kind::NaN;
    } else if (field != 0) {
      sig_ = ((std::uint64_t{1} << 52) | fraction) << 11;
      exp_ = field - 1023;
    } else if (fraction != 0) {  // a subnormal double is a normal extended
      const int shift = std::countl_zero(fraction);
      sig_ = fraction << shift;
      exp_ = -1011 - shift;
    }
  }
  EmulatedExtended(long double) = delete;  // not silently through double: FromLongDouble
  template <std::integral T>
  EmulatedExtended(T v) {  // NOLINT: exact for every 64-bit integer, as on the x87
    if (v == 0) return;
    neg_ = v < 0;
    const auto magnitude =
        neg_ ? ~static_cast<std::uint64_t>(v) + 1 : static_cast<std::uint64_t>(v);
    const int shift = std::countl_zero(magnitude);
    sig_ = magnitude << shift;
    exp_ = 63 - shift;
  }

  /// v rounded to 64 bits (exact where long double is the x87 format).
  static EmulatedExtended FromLongDouble(long double v);
  /// The value as long double: exact in the x87 format and in binary128.
  long double ToLongDouble() const;
  /// Rounded to nearest double, ties to even, subnormals and overflow as the x87 stores.
  explicit operator double() const;
  /// Rounded to nearest, ties to even, as llrint; the caller keeps |v| below 2^63.
  std::int64_t RoundToInt64() const;

  bool IsNaN() const { return kind_ == Kind::NaN; }
  friend EmulatedExtended Abs(EmulatedExtended v);
  friend EmulatedExtended Sqrt(const EmulatedExtended& v);
  EmulatedExtended operator-() const {
    EmulatedExtended r = *this;
    r.neg_ = !r.neg_;
    return r;
  }

  friend EmulatedExtended operator+(const EmulatedExtended& a, const EmulatedExtended& b) {
    return Add(a, b, b.neg_);
  }
  friend EmulatedExtended operator-(const EmulatedExtended& a, const EmulatedExtended& b) {
    return Add(a, b, !b.neg_);
  }
  friend EmulatedExtended operator*(const EmulatedExtended& a, const EmulatedExtended& b);
  friend EmulatedExtended operator/(const EmulatedExtended& a, const EmulatedExtended& b);
  EmulatedExtended& operator+=(const EmulatedExtended& b) { return *this = *this + b; }
  EmulatedExtended& operator-=(const EmulatedExtended& b) { return *this = *this - b; }
  EmulatedExtended& operator*=(const EmulatedExtended& b) { return *this = *this * b; }
  EmulatedExtended& operator/=(const EmulatedExtended& b) { return *this = *this / b; }

  friend bool operator==(const EmulatedExtended& a, const EmulatedExtended& b) {
    return Compare(a, b) == 0;
  }
  friend bool operator<(const EmulatedExtended& a, const EmulatedExtended& b) {
    return Compare(a, b) == -1;
  }
  friend bool operator>(const EmulatedExtended& a, const EmulatedExtended& b) {
    return Compare(a, b) == 1;
  }
  friend bool operator<=(const EmulatedExtended& a, const EmulatedExtended& b) {
    const int c = Compare(a, b);
    return c == -1 || c == 0;
  }
  friend bool operator>=(const EmulatedExtended& a, const EmulatedExtended& b) {
    const int c = Compare(a, b);
    return c == 1 || c == 0;
  }

  /// The parts of a finite value: (-1)^negative × significand × 2^(exponent - 63).
  bool Negative() const { return neg_; }
  std::uint64_t Significand() const { return sig_; }
  std::int32_t Exponent() const { return exp_; }

 private:
  enum class Kind : std::uint8_t { Finite, Infinite, NaN };
  __extension__ typedef unsigned __int128 Wide;  // the one 128-bit step of each operation

  static EmulatedExtended Special(Kind kind, bool negative) {
    EmulatedExtended r;
    r.kind_ = kind;
    r.neg_ = negative;
    return r;
  }
  static EmulatedExtended Zero(bool negative) { return Special(Kind::Finite, negative); }
  bool IsZero() const { return kind_ == Kind::Finite && sig_ == 0; }

  // r × 2^(exponent - 127) rounded to 64 bits; r is not 0. Bits lost before the call must
  // have been folded into r's last bit, which lies far below the rounding point.
  static EmulatedExtended Round(bool negative, std::int32_t exponent, Wide r) {
    const auto high = static_cast<std::uint64_t>(r >> 64);
    const int shift =
        high != 0 ? std::countl_zero(high) : 64 + std::countl_zero(static_cast<std::uint64_t>(r));
    r <<= shift;
    EmulatedExtended v;
    v.neg_ = negative;
    v.exp_ = exponent - shift;
    v.sig_ = static_cast<std::uint64_t>(r >> 64);
    const auto rest = static_cast<std::uint64_t>(r);
    constexpr std::uint64_t half = std::uint64_t{1} << 63;
    if (rest > half || (rest == half && (v.sig_ & 1) != 0)) {
      if (++v.sig_ == 0) {
        v.sig_ = half;
        ++v.exp_;
      }
    }
    return v;
  }

  // a + b with b's sign taken as bNegative.
  static EmulatedExtended Add(const EmulatedExtended& a, const EmulatedExtended& b,
                              bool bNegative) {
    if (a.kind_ != Kind::Finite || b.kind_ != Kind::Finite) {
      if (a.IsNaN() || b.IsNaN()) return Special(Kind::NaN, false);
      if (a.kind_ == Kind::Infinite && b.kind_ == Kind::Infinite && a.neg_ != bNegative) {
        return Special(Kind::NaN, true);
      }
      return a.kind_ == Kind::Infinite ? a : Special(Kind::Infinite, bNegative);
    }
    if (b.sig_ == 0) return a.sig_ != 0 ? a : Zero(a.neg_ && bNegative);
    if (a.sig_ == 0) {
      EmulatedExtended r = b;
      r.neg_ = bNegative;
      return r;
    }
    const EmulatedExtended* big = &a;
    const EmulatedExtended* small = &b;
    bool bigNegative = a.neg_, smallNegative = bNegative;
    if (b.exp_ > a.exp_ || (b.exp_ == a.exp_ && b.sig_ > a.sig_)) {
      std::swap(big, small);
      std::swap(bigNegative, smallNegative);
    }
    // The small one moved to the big one's exponent: its top 64 bits, the next 64, and any
    // lower ones as the last bit. In 64-bit steps: 128-bit shifts are calls in WebAssembly.
    const std::int64_t distance = static_cast<std::int64_t>(big->exp_) - small->exp_;
    const std::uint64_t s = small->sig_;
    std::uint64_t high = 0, rest = 0;
    if (distance == 0) {
      high = s;
    } else if (distance < 64) {
      high = s >> distance;
      rest = s << (64 - distance);
    } else if (distance == 64) {
      rest = s;
    } else if (distance < 128) {
      rest = (s >> (distance - 64)) | static_cast<std::uint64_t>((s << (128 - distance)) != 0);
    } else {
      rest = 1;
    }
    std::int32_t exponent = big->exp_;
    std::uint64_t sig;
    if (bigNegative == smallNegative) {
      sig = big->sig_ + high;
      if (sig < high) {  // a carry: one bit more
        rest = (sig << 63) | (rest >> 1) | (rest & 1);
        sig = (sig >> 1) | (std::uint64_t{1} << 63);
        ++exponent;
      }
    } else {
      const std::uint64_t borrow = rest != 0;
      rest = 0 - rest;
      sig = big->sig_ - high - borrow;
      if (sig == 0 && rest == 0) return Zero(false);
      const int shift = sig != 0 ? std::countl_zero(sig) : 64 + std::countl_zero(rest);
      if (shift >= 64) {
        sig = rest << (shift - 64);
        rest = 0;
      } else if (shift > 0) {
        sig = (sig << shift) | (rest >> (64 - shift));
        rest <<= shift;
      }
      exponent -= shift;
    }
    return RoundParts(bigNegative, exponent, sig, rest);
  }

  // (sig + rest × 2^-64) × 2^(exponent - 63), sig's top bit set, rounded to 64 bits.
  static EmulatedExtended RoundParts(bool negative, std::int32_t exponent, std::uint64_t sig,
                                     std::uint64_t rest) {
    constexpr std::uint64_t half = std::uint64_t{1} << 63;
    if (rest > half || (rest == half && (sig & 1) != 0)) {
      if (++sig == 0) {
        sig = half;
        ++exponent;
      }
    }
    EmulatedExtended v;
    v.neg_ = negative;
    v.exp_ = exponent;
    v.sig_ = sig;
    return v;
  }

  // -1, 0, 1 as a is below, equal to or above b; 2 when they are unordered (a NaN).
  static int Compare(const EmulatedExtended& a, const EmulatedExtended& b) {
    if (a.IsNaN() || b.IsNaN()) return 2;
    const int ma = a.MagnitudeOrder(b);
    if (a.IsZero() && b.IsZero()) return 0;
    if (a.neg_ != b.neg_) return a.neg_ ? -1 : 1;
    return a.neg_ ? -ma : ma;
  }
  // Compares |this| with |b|.
  int MagnitudeOrder(const EmulatedExtended& b) const {
    const bool infinite = kind_ == Kind::Infinite, bInfinite = b.kind_ == Kind::Infinite;
    if (infinite || bInfinite) return infinite == bInfinite ? 0 : (infinite ? 1 : -1);
    if (sig_ == 0 || b.sig_ == 0) return sig_ == b.sig_ ? 0 : (sig_ == 0 ? -1 : 1);
    if (exp_ != b.exp_) return exp_ < b.exp_ ? -1 : 1;
    return sig_ == b.sig_ ? 0 : (sig_ < b.sig_ ? -1 : 1);
  }

  std::uint64_t sig_ = 0;  // the top bit set, or 0 for a zero
  std::int32_t exp_ = 0;
  bool neg_ = false;
  Kind kind_ = Kind::Finite;
};

inline EmulatedExtended operator*(const EmulatedExtended& a, const EmulatedExtended& b) {
  using Kind = EmulatedExtended::Kind;
  const bool negative = a.neg_ != b.neg_;
  if (a.kind_ != Kind::Finite || b.kind_ != Kind::Finite) {
    if (a.IsNaN() || b.IsNaN() || a.IsZero() || b.IsZero()) {
      return EmulatedExtended::Special(Kind::NaN, true);
    }
    return EmulatedExtended::Special(Kind::Infinite, negative);
  }
  if (a.sig_ == 0 || b.sig_ == 0) return EmulatedExtended::Zero(negative);
  // The product is exact in 128 bits: no bit is lost before the one rounding.
  const auto product = static_cast<EmulatedExtended::Wide>(a.sig_) * b.sig_;
  auto high = static_cast<std::uint64_t>(product >> 64);
  auto low = static_cast<std::uint64_t>(product);
  std::int32_t exponent = a.exp_ + b.exp_ + 1;
  if ((high >> 63) == 0) {  // the product of two significands has 127 or 128 bits
    high = (high << 1) | (low >> 63);
    low <<= 1;
    --exponent;
  }
  return EmulatedExtended::RoundParts(negative, exponent, high, low);
}

inline EmulatedExtended operator/(const EmulatedExtended& a, const EmulatedExtended& b) {
  using Kind = EmulatedExtended::Kind;
  using Wide = EmulatedExtended::Wide;
  const bool negative = a.neg_ != b.neg_;
  if (a.IsNaN() || b.IsNaN()) return EmulatedExtended::Special(Kind::NaN, true);
  const bool aInfinite = a.kind_ == Kind::Infinite, bInfinite = b.kind_ == Kind::Infinite;
  if (aInfinite || bInfinite) {
    if (aInfinite && bInfinite) return EmulatedExtended::Special(Kind::NaN, true);
    return aInfinite ? EmulatedExtended::Special(Kind::Infinite, negative)
                     : EmulatedExtended::Zero(negative);
  }
  if (b.sig_ == 0) {
    return EmulatedExtended::Special(a.sig_ == 0 ? Kind::NaN : Kind::Infinite, negative);
  }
  if (a.sig_ == 0) return EmulatedExtended::Zero(negative);
  // Two 64-bit quotient digits, the first in [2^63, 2^64), and the remainder as the last bit.
  const int shift = a.sig_ < b.sig_ ? 64 : 63;
  const Wide numerator = static_cast<Wide>(a.sig_) << shift;
  const auto first = static_cast<std::uint64_t>(numerator / b.sig_);
  const Wide remainder = numerator % b.sig_;
  const Wide second = (remainder << 64) / b.sig_;
  const bool inexact = (remainder << 64) % b.sig_ != 0;
  const Wide quotient = (static_cast<Wide>(first) << 64) | second | static_cast<Wide>(inexact);
  return EmulatedExtended::Round(negative, a.exp_ - b.exp_ + 63 - shift, quotient);
}

inline EmulatedExtended Abs(EmulatedExtended v) {
  v.neg_ = false;
  return v;
}

inline EmulatedExtended Sqrt(const EmulatedExtended& v) {
  using Kind = EmulatedExtended::Kind;
  using Wide = EmulatedExtended::Wide;
  if (v.IsNaN() || v.IsZero()) return v;
  if (v.neg_) return EmulatedExtended::Special(Kind::NaN, true);
  if (v.kind_ == Kind::Infinite) return v;
  // v = n × 2^(e - k), n in [2^126, 2^128) and e - k even: the root of n has 64 bits.
  const std::int64_t e = static_cast<std::int64_t>(v.exp_) - 63;
  const int k = ((e - 63) % 2 == 0) ? 63 : 64;
  Wide rest = static_cast<Wide>(v.sig_) << k;
  Wide root = 0;
  for (Wide bit = static_cast<Wide>(1) << 126; bit != 0; bit >>= 2) {
    if (rest >= root + bit) {
      rest -= root + bit;
      root = (root >> 1) + bit;
    } else {
      root >>= 1;
    }
  }
  // No root of a 64-bit value lies on a half: beyond half exactly when rest > root.
  EmulatedExtended r;
  r.sig_ = static_cast<std::uint64_t>(root);
  r.exp_ = static_cast<std::int32_t>(63 + (e - k) / 2);
  if (rest > root && ++r.sig_ == 0) {
    r.sig_ = std::uint64_t{1} << 63;
    ++r.exp_;
  }
  return r;
}

inline EmulatedExtended EmulatedExtended::FromLongDouble(long double v) {
  if (std::isnan(v)) return Special(Kind::NaN, std::signbit(v));
  if (std::isinf(v)) return Special(Kind::Infinite, v < 0);
  if (v == 0) return Zero(std::signbit(v));
  int exponent = 0;
  const long double scaled = std::ldexp(std::fabs(std::frexp(v, &exponent)), 64);
  const long double whole = std::trunc(scaled);  // in [2^63, 2^64)
  const long double beyond = scaled - whole;     // exact
  Wide r = static_cast<Wide>(static_cast<std::uint64_t>(whole)) << 64;
  if (beyond != 0) {
    r |= beyond == 0.5L ? std::uint64_t{1} << 63
                        : (beyond > 0.5L ? (std::uint64_t{1} << 63) | 1 : 1);
  }
  return Round(v < 0, exponent - 1, r);
}

inline long double EmulatedExtended::ToLongDouble() const {
  if (kind_ == Kind::NaN) return NAN;
  if (kind_ == Kind::Infinite) return neg_ ? -INFINITY : INFINITY;
  const long double magnitude = std::ldexp(static_cast<long double>(sig_), exp_ - 63);
  return neg_ ? -magnitude : magnitude;
}

inline EmulatedExtended::operator double() const {
  if (kind_ == Kind::NaN) return NAN;
  if (IsZero()) return neg_ ? -0.0 : 0.0;
  const std::uint64_t sign = static_cast<std::uint64_t>(neg_) << 63;
  std::uint64_t bits = sign | (std::uint64_t{0x7ff} << 52);  // infinity
  if (kind_ == Kind::Finite && exp_ <= 1023) {
    // Significant bits kept: 53, fewer for a subnormal result.
    const std::int64_t keep = exp_ >= -1022 ? 53 : std::int64_t{exp_} + 1075;
    std::uint64_t kept = 0;
    if (sig_ != 0 && keep >= 0) {
      const auto drop = static_cast<int>(64 - keep);  // 11 to 64
      const std::uint64_t rest = drop == 64 ? sig_ : sig_ & ((std::uint64_t{1} << drop) - 1);
      const std::uint64_t half = std::uint64_t{1} << (drop - 1);
      kept = drop == 64 ? 0 : sig_ >> drop;
      if (rest > half || (rest == half && (kept & 1) != 0)) ++kept;
    }
    if (exp_ < -1022) {
      bits = sign | kept;  // a carry into bit 52 makes the smallest normal, as it should
    } else {
      std::int64_t exponent = exp_;
      if (kept >> 53 != 0) {
        kept >>= 1;
        ++exponent;
      }
      if (exponent <= 1023) {
        bits = sign | (static_cast<std::uint64_t>(exponent + 1023) << 52) |
               (kept & ((std::uint64_t{1} << 52) - 1));
      }
    }
  }
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

inline std::int64_t EmulatedExtended::RoundToInt64() const {
  if (kind_ != Kind::Finite || exp_ >= 63) return INT64_MIN;  // the x87's "indefinite"
  if (sig_ == 0 || exp_ < -1) return 0;
  const int drop = 63 - exp_;  // 1 to 64
  const std::uint64_t rest = drop == 64 ? sig_ : sig_ & ((std::uint64_t{1} << drop) - 1);
  const std::uint64_t half = std::uint64_t{1} << (drop - 1);
  std::uint64_t kept = drop == 64 ? 0 : sig_ >> drop;
  if (rest > half || (rest == half && (kept & 1) != 0)) ++kept;
  return neg_ ? -static_cast<std::int64_t>(kept) : static_cast<std::int64_t>(kept);
}

/// As ClampedRound of long double: into [-limit, limit], NaN giving 0, then half to even.
inline std::int32_t ClampedRound(const EmulatedExtended& v, std::int32_t limit) {
  if (v.IsNaN()) return 0;
  if (v > limit) return limit;
  if (v < -limit) return -limit;
  return static_cast<std::int32_t>(v.RoundToInt64());
}

}  // namespace common
