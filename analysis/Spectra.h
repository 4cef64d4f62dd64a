// Fourier transforms of real series along the wind, through FFTW, with a plan made once per
// length: power spectra and circular cross-correlations, summed over columns.
#pragma once

#include <complex>
#include <map>
#include <memory>
#include <vector>

namespace analysis {

class Spectra {
 public:
  Spectra();
  ~Spectra();
  Spectra(const Spectra&) = delete;
  Spectra& operator=(const Spectra&) = delete;

  /// |DFT(series)|^2 at k = 0..n/2, averaged over `count` series of length n laid end to end.
  std::vector<double> Power(const double* series, int n, int count);

  /// c(s) = sum over the series of sum_i a(i) b(i + s mod n), for s = 0..n-1.
  std::vector<double> CrossCorrelation(const double* a, const double* b, int n, int count);

 private:
  struct Plan;
  Plan& PlanFor(int n);
  void Forward(Plan& plan, const double* series);

  std::map<int, std::unique_ptr<Plan>> plans_;
};

}  // namespace analysis
