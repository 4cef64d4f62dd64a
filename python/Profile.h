// kammel.Profile: the 2D cross-section of kammel, set up, read and checked as kammelsim
// profile.
#pragma once

#include <memory>

#include "kammelsim/ProfileSetup.h"
#include "python/Simulation.h"

namespace kammelpy {

/// kammel.Profile: the 2D cross-section of kammel.
class Profile : public Simulation {
 public:
  static std::unique_ptr<Profile> Make(py::handle width, py::handle thickness, py::handle b,
                                       py::handle wind, py::handle q, py::handle seed,
                                       py::handle heights);
  static std::unique_ptr<Profile> FromCheckpoint(const kammelsim::CheckpointData& data,
                                                 const kammelsim::params::Values& values,
                                                 std::string& why);
  py::dict Params() const override;

 private:
  Profile(kammelsim::params::Values values, const kammelsim::ProfileRun& run,
          const analysis::Snapshot* heights);
  /// The profile these values make, with the seed's (none: the clock's), from heights unless
  /// None.
  static std::unique_ptr<Profile> Made(kammelsim::params::Values values,
                                       const kammelsim::params::Values& seed,
                                       py::handle heights = py::none());
  Reading Read(const kammelsim::params::Values& more) const override;
  const kammelsim::params::Option& TotalOption() const override;
  kammelsim::View ViewWith(std::int32_t threshold) override;
  void Rechange(const kammelsim::params::Values& more) override;

  std::unique_ptr<model2d::ProfileState> state_;
};

}  // namespace kammelpy
