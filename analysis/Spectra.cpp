#include "analysis/Spectra.h"

#include <fftw3.h>

#include <algorithm>
#include <cstring>

namespace analysis {

// Buffers from fftw_malloc, so that every execution meets the alignment its plan was made for.
struct Spectra::Plan {
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

Spectra::Spectra() = default;
Spectra::~Spectra() = default;

Spectra::Plan& Spectra::PlanFor(int n) {
  std::unique_ptr<Plan>& plan = plans_[n];
  if (!plan) plan = std::make_unique<Plan>(n);
  return *plan;
}

void Spectra::Forward(Plan& plan, const double* series) {
  std::memcpy(plan.real, series, sizeof(double) * static_cast<std::size_t>(plan.n));
  fftw_execute(plan.forward);
}

std::vector<double> Spectra::Power(const double* series, int n, int count) {
  std::vector<double> power(static_cast<std::size_t>(n / 2 + 1), 0.0);
  if (n < 1 || count < 1) return power;
  Plan& plan = PlanFor(n);
  for (int c = 0; c < count; ++c) {
    Forward(plan, series + static_cast<std::size_t>(c) * n);
    for (std::size_t k = 0; k < power.size(); ++k)
      power[k] +=
          plan.spectrum[k][0] * plan.spectrum[k][0] + plan.spectrum[k][1] * plan.spectrum[k][1];
  }
  for (double& p : power)
    p /= count;
  return power;
}

std::vector<double> Spectra::CrossCorrelation(const double* a, const double* b, int n, int count) {
  std::vector<double> correlation(static_cast<std::size_t>(std::max(n, 0)), 0.0);
  if (n < 1 || count < 1) return correlation;
  Plan& plan = PlanFor(n);
  const std::size_t bins = static_cast<std::size_t>(n / 2 + 1);
  std::vector<std::complex<double>> sum(bins), first(bins);
  for (int c = 0; c < count; ++c) {
    Forward(plan, a + static_cast<std::size_t>(c) * n);
    for (std::size_t k = 0; k < bins; ++k)
      first[k] = {plan.spectrum[k][0], plan.spectrum[k][1]};
    Forward(plan, b + static_cast<std::size_t>(c) * n);
    for (std::size_t k = 0; k < bins; ++k)
      sum[k] +=
          std::conj(first[k]) * std::complex<double>(plan.spectrum[k][0], plan.spectrum[k][1]);
  }
  for (std::size_t k = 0; k < bins; ++k) {
    plan.spectrum[k][0] = sum[k].real();
    plan.spectrum[k][1] = sum[k].imag();
  }
  fftw_execute(plan.backward);  // unnormalised: n times the inverse transform
  for (int s = 0; s < n; ++s)
    correlation[static_cast<std::size_t>(s)] = plan.real[s] / n;
  return correlation;
}

}  // namespace analysis
