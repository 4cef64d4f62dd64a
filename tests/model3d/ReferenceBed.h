// A slow, literal reading of the 3D ripple rules, to check the optimised model against.
// It shares only the generator's rule with the model, and draws from a generator of its own; it
// keeps the model's safety choices (guard row and column, clamped jump lengths and targets) so that
// it can run any parameters. Its array and schedule are those of a program's settings or of an
// open bed, and it knows the creep variants.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/Random.h"
#include "model3d/RippleModel.h"

namespace reference {

// The array's bounds, the largest bed and the batch schedule.
struct Shape {
  int lastRow, lastColumn, maxLength, maxWidth, cyclesPerBatch, creepSweepsPerWidth;
};

template <class S>
constexpr Shape ShapeOf() {
  return {S::lastRow,  S::lastColumn,     S::maxLength,
          S::maxWidth, S::cyclesPerBatch, S::creepSweepsPerWidth};
}

// An open bed of the parameters' size: two rows and one column beyond it.
inline Shape OpenShape(const model3d::RippleParams& p, bool mapSchedule) {
  return {p.layerLength + 2, p.layerWidth + 1,    p.layerLength,
          p.layerWidth,      mapSchedule ? 3 : 5, mapSchedule ? 1 : 3};
}

class AnyBed {
 public:
  AnyBed(const model3d::RippleParams& p, const Shape& shape,
         const model3d::CreepVariant& variant = {})
      : p_(p),
        s_(shape),
        v_(variant),
        L_(std::clamp(p.layerLength, 0, shape.maxLength)),
        W_(std::clamp(p.layerWidth, 0, shape.maxWidth)),
        cells_((shape.lastRow + 2) * (shape.lastColumn + 2), 0) {
    for (int i = 0; i <= std::min(p.layerLength, s_.maxLength); ++i)
      for (int j = 0; j <= std::min(p.layerWidth, s_.maxWidth); ++j)
        h(i, j) = p.layerHeight;
  }

  std::int32_t& h(int i, int j) { return cells_[(i + 1) * (s_.lastColumn + 2) + (j + 1)]; }

  common::Random random;

  void Batch() {
    for (int cycle = 0; cycle < s_.cyclesPerBatch; ++cycle) {
      for (int n = 0; n < 3; ++n)
        Saltation();
      for (int n = 0; n < s_.creepSweepsPerWidth * W_; ++n)
        Creep();
    }
  }

  void Saltation() {
    for (int j = 0; j <= W_; ++j) {
      for (int n = 0; n < std::max(L_, 1); ++n) {
        const int i = Round(common::UniformRandom(random) * static_cast<long double>(L_));
        if (h(i, j) > p_.factorQ) {
          const long double raw = static_cast<long double>(h(i, j)) * p_.factorB + p_.windStrength;
          int t = i + Jump(raw);
          if (t > L_) t = t - L_;
          t = std::clamp(t, -1, s_.lastRow);
          h(i, j) = h(i, j) - p_.factorQ;
          h(t, j) = h(t, j) + p_.factorQ;
        }
      }
    }
  }

  // Neighbours 1..4: next row, previous row, previous column, next column; with columns
  // swapped, 3 and 4 trade places in the order. Ties at random take the u'th of the tied.
  int Steepest(int i, int j, bool swapColumns = false, long double u = -1) {
    const int before = Column(j - 1), after = Column(j + 1);
    const int c = h(i, j);
    int order[4] = {1, 2, 3, 4};
    if (swapColumns) std::swap(order[2], order[3]);
    const int d[5] = {0, c - h(i + 1, j), c - h(i - 1, j), c - h(i, before), c - h(i, after)};
    int m = 0;
    std::vector<int> tied;
    for (int k : order) {
      if (std::abs(d[k]) > m) {
        m = std::abs(d[k]);
        tied.clear();
      }
      if (m > 0 && std::abs(d[k]) == m) tied.push_back(k);
    }
    if (tied.empty()) return 0;
    const int k = u < 0 ? tied[0] : tied[static_cast<int>(u * tied.size())];
    return d[k] > 0 ? k : -k;
  }

  void Creep() {
    if (!v_.periodic) {
      for (int i = 0; i <= L_; ++i) {
        Shed(h(i, 0), h(i, 1));
        Shed(h(i, W_), h(i, W_ - 1));
      }
    }
    for (int j = 0; j <= W_; ++j) {
      Shed(h(0, j), h(1, j));
      Shed(h(L_, j), h(L_ - 1, j));
    }
    const int events = std::max(W_ - 1, 1) + std::max(L_ - 1, 1) - 1;
    const bool faithful = v_ == model3d::CreepVariant{};
    const bool randomTies = v_.ties == model3d::TieRule::random;
    const bool swap = v_.ties == model3d::TieRule::alternating && sweeps_ % 2 == 1;
    ++sweeps_;
    for (int n = 0; n < events; ++n) {
      const long double u1 = common::UniformRandom(random);
      const long double u2 = common::UniformRandom(random);
      const long double u3 = randomTies ? common::UniformRandom(random) : -1;
      const int i = Round(u1 * (L_ - 1)) + 1;
      const int j = faithful      ? Round(u2 * (W_ - 1)) + 1
                    : v_.periodic ? static_cast<int>(u2 * (W_ + 1))
                                  : Round(u2 * W_);
      if (h(i, j) <= 0) continue;
      const int k = Steepest(i, j, swap, u3);
      if (k <= 0) continue;
      const int ni = i + (k == 1) - (k == 2);
      const int nj = k == 3 ? Column(j - 1) : k == 4 ? Column(j + 1) : j;
      const int d = h(i, j) - h(ni, nj);
      const int m = Round(static_cast<long double>(d) / 3) + 1;
      h(i, j) -= m;
      h(ni, nj) += m;
    }
  }

 private:
  static int Round(long double v) { return static_cast<int>(std::nearbyintl(v)); }
  static int Jump(long double v) {
    if (std::isnan(v)) return 0;
    return Round(std::clamp<long double>(v, -model3d::MaxJumpLength, model3d::MaxJumpLength));
  }
  static void Shed(std::int32_t& edge, std::int32_t& inner) {
    if (edge > 0 && edge > inner) {
      edge -= 1;
      inner += 1;
    }
  }

  // Columns wrap only on a periodic bed.
  int Column(int j) const {
    if (!v_.periodic) return j;
    return j < 0 ? W_ : j > W_ ? 0 : j;
  }

  model3d::RippleParams p_;
  Shape s_;
  model3d::CreepVariant v_;
  int L_, W_;
  long sweeps_ = 0;

 public:
  std::vector<std::int32_t> cells_;  ///< rows -1..lastRow, each of columns -1..lastColumn
};

template <class S>
class Bed : public AnyBed {
 public:
  explicit Bed(const model3d::RippleParams& p) : AnyBed(p, ShapeOf<S>()) {}
};

}  // namespace reference
