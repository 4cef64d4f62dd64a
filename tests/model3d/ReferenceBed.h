// A slow, literal reading of the 3D ripple rules, to check the optimised model against.
// It shares only the generator's rule with the model, and draws from a generator of its own; it
// keeps the model's safety choices (guard row and column, clamped jump lengths and targets) so that
// it can run any parameters.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/Random.h"
#include "model3d/RippleModel.h"

namespace reference {

template <class S>
class Bed {
 public:
  explicit Bed(const model3d::RippleParams& p)
      : p_(p),
        L_(std::clamp(p.layerLength, 0, S::maxLength)),
        W_(std::clamp(p.layerWidth, 0, S::maxWidth)),
        cells_((S::lastRow + 2) * (S::lastColumn + 2), 0) {
    for (int i = 0; i <= std::min(p.layerLength, S::maxLength); ++i)
      for (int j = 0; j <= std::min(p.layerWidth, S::maxWidth); ++j)
        h(i, j) = p.layerHeight;
  }

  std::int32_t& h(int i, int j) { return cells_[(i + 1) * (S::lastColumn + 2) + (j + 1)]; }

  common::Random random;

  void Batch() {
    for (int cycle = 0; cycle < S::cyclesPerBatch; ++cycle) {
      for (int n = 0; n < 3; ++n)
        Saltation();
      for (int n = 0; n < S::creepSweepsPerWidth * W_; ++n)
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
          t = std::clamp(t, -1, S::lastRow);
          h(i, j) = h(i, j) - p_.factorQ;
          h(t, j) = h(t, j) + p_.factorQ;
        }
      }
    }
  }

  int Steepest(int i, int j) {
    const int c = h(i, j);
    const int d[5] = {0, c - h(i + 1, j), c - h(i - 1, j), c - h(i, j - 1), c - h(i, j + 1)};
    int m = 0, k = 0;
    for (int n = 1; n <= 4; ++n) {
      if (std::abs(d[n]) > m) {
        m = std::abs(d[n]);
        k = n;
      }
    }
    if (k == 0) return 0;
    return d[k] > 0 ? k : -k;
  }

  void Creep() {
    for (int i = 0; i <= L_; ++i) {
      Shed(h(i, 0), h(i, 1));
      Shed(h(i, W_), h(i, W_ - 1));
    }
    for (int j = 0; j <= W_; ++j) {
      Shed(h(0, j), h(1, j));
      Shed(h(L_, j), h(L_ - 1, j));
    }
    const int events = std::max(W_ - 1, 1) + std::max(L_ - 1, 1) - 1;
    for (int n = 0; n < events; ++n) {
      const long double u1 = common::UniformRandom(random);
      const long double u2 = common::UniformRandom(random);
      const int i = Round(u1 * (L_ - 1)) + 1;
      const int j = Round(u2 * (W_ - 1)) + 1;
      if (h(i, j) <= 0) continue;
      const int k = Steepest(i, j);
      if (k <= 0) continue;
      const int ni = i + (k == 1) - (k == 2), nj = j - (k == 3) + (k == 4);
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

  model3d::RippleParams p_;
  int L_, W_;

 public:
  std::vector<std::int32_t> cells_;  ///< rows -1..lastRow, each of columns -1..lastColumn
};

}  // namespace reference
