// Fourier transforms of real series along the wind, through FFTW, with a plan made once per
// length: the half spectra of every column of a field, their power, and circular
// cross-correlations against an earlier field's spectra.
#pragma once

#include <complex>
#include <map>
#include <memory>
#include <vector>

namespace analysis {

/// The half spectra (k = 0..n/2) of `count` real series of length n.
struct HalfSpectra {
  int n = 0, count = 0;
  std::vector<std::complex<double>> bins;  ///< series by series, n/2 + 1 each

  int Bins() const { return n / 2 + 1; }
  /// |X(k)|^2 averaged over the series, k = 0..n/2.
  std::vector<double> Power() const;
};

class Fourier {
 public:
  Fourier();
  ~Fourier();
  Fourier(const Fourier&) = delete;
  Fourier& operator=(const Fourier&) = delete;

  /// The spectra of `count` series of length n laid end to end, into `into` (its memory is
  /// reused: snapshots come one after another at one size).
  void Transform(const double* series, int n, int count, HalfSpectra& into);

  /// c(s) = sum over the series of sum_i a(i) b(i + s mod n), s = 0..n-1, from the spectra
  /// of a and b.
  std::vector<double> CrossCorrelation(const HalfSpectra& a, const HalfSpectra& b);

 private:
  struct Plan;
  Plan& PlanFor(int n);

  std::map<int, std::unique_ptr<Plan>> plans_;
};

}  // namespace analysis
