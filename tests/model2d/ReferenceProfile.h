// A slow, literal reading of the 2D ripple rules, to check the optimised model against. It
// shares only the generator's rule with the model, works in 64-bit heights and extended precision,
// and keeps the model's safety choices (N clamped, jumps off the table landing in cell -1 or
// 10001, NaN jumps of length 0) so that it can run any parameters. A wide profile's cells
// reach one beyond its own N instead.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/Random.h"
#include "model2d/ProfileModel.h"

namespace reference {

class Profile {
 public:
  explicit Profile(const model2d::ProfileParams& p, int last = model2d::kMaxProfileWidth)
      : kLast(last), p_(p), N_(std::clamp(p.layerWidth, 0, kLast)), cells_(kLast + 3, 0) {
    for (int i = 0; i <= std::min(p.layerWidth, kLast); ++i)
      h(i) = p.layerThickness;
  }

  std::int64_t& h(int i) { return cells_[i + 1]; }

  common::Random random;  ///< its own, seeded like the model's
  void SetFactors(double b, double wind) {
    p_.factorB = b;
    p_.windStrength = wind;
  }

  void Step() {
    for (int n = 0; n < 3; ++n)
      Saltation();
    for (int n = 0; n < 20; ++n)
      Creep();
  }

  void Saltation() {
    for (int n = 0; n < std::max(N_ - 1, 1); ++n) {
      const int s = Pick(N_);
      if (h(s) > p_.factorQ) {
        const long double raw = static_cast<long double>(h(s)) * p_.factorB + p_.windStrength;
        long double t = s + (std::isnan(raw) ? 0.0L : std::nearbyintl(raw));
        if (t > N_) t = t - N_;
        t = std::clamp<long double>(t, -1, kLast + 1);
        h(s) -= p_.factorQ;
        h(static_cast<int>(t)) += p_.factorQ;
      }
    }
  }

  void Creep() {
    if (h(N_) > h(0)) {
      h(N_) -= 1;
      h(0) += 1;
    }
    if (h(N_) < h(0)) {
      h(0) -= 1;
      h(N_) += 1;
    }
    for (int n = 0; n < std::max(N_ - 1, 1); ++n) {
      const int k = Pick(N_ - 1) + 1;
      Slide(k, k + 1);
      Slide(k, k - 1);
    }
  }

 private:
  int Pick(int m) {
    const long double u = common::UniformRandom(random);
    return static_cast<int>(std::nearbyintl(u * static_cast<long double>(m)));
  }

  void Slide(int k, int to) {
    if (h(to) < h(k)) {
      const std::int64_t g = h(k) - h(to);
      const std::int64_t d = static_cast<std::int64_t>(std::nearbyintl(g / 3.0L)) + 1;
      if (h(k) > d) {
        h(k) -= d;
        h(to) += d;
      }
    }
  }

  int kLast;  // the largest N the cells hold
  model2d::ProfileParams p_;
  int N_;

 public:
  std::vector<std::int64_t> cells_;  ///< cells -1..10001
};

}  // namespace reference
