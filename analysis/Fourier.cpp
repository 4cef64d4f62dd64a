#include "analysis/Fourier.h"

#include <fftw3.h>

#include <cstring>

namespace analysis {

// Buffers from fftw_malloc, so that every execution meets the alignment its plan was made for.
// Planned with FFTW_ESTIMATE: the same plan, and so the same bits, on every run.
struct Fourier::Plan {
  int n;
  double* real;
  fftw_complex* spectrum;
  fftw_plan forward, backward;

  explicit Plan(int length) : n(length) {
    real = fftw_alloc_real(static_cast<std::size_t>(n));
    spectrum = fftw_alloc_complex(static_cast<std::size_t>(n / 2 + 1));
    forward = fftw_plan_dft_r2c_1d(n, real, spectrum, FFTW_ESTIMATE);
    backward = fftw_plan_dft_c2r_1d(n, spectrum, real, FFTW_ESTIMATE);
  }
  ~Plan() {
    fftw_destroy_plan(forward);
    fftw_destroy_plan(backward);
    fftw_free(real);
    fftw_free(spectrum);
  }
};

std::vector<double> HalfSpectra::Power() const {
  std::vector<double> power(static_cast<std::size_t>(Bins()), 0.0);
  for (int c = 0; c < count; ++c) {
    const std::complex<double>* x = bins.data() + static_cast<std::size_t>(c) * Bins();
    for (int k = 0; k < Bins(); ++k)
      power[static_cast<std::size_t>(k)] += std::norm(x[k]);
  }
  for (double& p : power)
    p /= count > 0 ? count : 1;
  return power;
}

Fourier::Fourier() = default;
Fourier::~Fourier() = default;

Fourier::Plan& Fourier::PlanFor(int n) {
  std::unique_ptr<Plan>& plan = plans_[n];
  if (!plan) plan = std::make_unique<Plan>(n);
  return *plan;
}

void Fourier::Transform(const double* series, int n, int count, HalfSpectra& result) {
  result.n = n;
  result.count = count;
  result.bins.clear();
  if (n < 1 || count < 1) return;
  Plan& plan = PlanFor(n);
  const int bins = result.Bins();
  result.bins.resize(static_cast<std::size_t>(bins) * count);
  for (int c = 0; c < count; ++c) {
    std::memcpy(plan.real, series + static_cast<std::size_t>(c) * n, sizeof(double) * n);
    fftw_execute(plan.forward);
    // std::complex<double> is laid out as two doubles, as fftw_complex is.
    std::memcpy(reinterpret_cast<double*>(result.bins.data() + static_cast<std::size_t>(c) * bins),
                plan.spectrum, sizeof(fftw_complex) * bins);
  }
}

std::vector<double> Fourier::CrossCorrelation(const HalfSpectra& a, const HalfSpectra& b) {
  const int n = b.n, bins = b.Bins();
  std::vector<double> correlation(static_cast<std::size_t>(n), 0.0);
  if (n < 1 || a.n != n || a.count != b.count) return correlation;
  Plan& plan = PlanFor(n);
  std::vector<std::complex<double>> sum(static_cast<std::size_t>(bins));
  for (std::size_t k = 0; k < a.bins.size();) {
    for (std::size_t bin = 0; bin < static_cast<std::size_t>(bins); ++bin, ++k)
      sum[bin] += std::conj(a.bins[k]) * b.bins[k];
  }
  std::memcpy(plan.spectrum, reinterpret_cast<const double*>(sum.data()),
              sizeof(fftw_complex) * bins);
  fftw_execute(plan.backward);  // unnormalised: n times the inverse transform
  for (int s = 0; s < n; ++s)
    correlation[static_cast<std::size_t>(s)] = plan.real[s] / n;
  return correlation;
}

}  // namespace analysis
