// kammel.Bed: the 3D bed of kammel3 or kammel3map, set up, read and checked as kammelsim bed.
#pragma once

#include <memory>
#include <string>

#include "kammelsim/BedSetup.h"
#include "python/Simulation.h"

namespace kammelpy {

/// kammel.Bed: the 3D bed of kammel3 (relief) or kammel3map (map), or an open bed of any size.
class Bed : public Simulation {
 public:
  /// The object for these arguments (None: the settings' default), starting from heights
  /// unless None, or ValueError/TypeError.
  static std::unique_ptr<Bed> Make(py::handle settings, py::handle length, py::handle width,
                                   py::handle height, py::handle b, py::handle wind, py::handle q,
                                   py::handle ties, py::handle periodic, py::handle schedule,
                                   py::handle seed, py::handle heights);
  /// The object of a checkpoint's bed run, with its checked values (kammelsim::ReadRecord);
  /// nothing, saying why, when it does not fit its bed.
  static std::unique_ptr<Bed> FromCheckpoint(const kammelsim::CheckpointData& data,
                                             const kammelsim::params::Values& values,
                                             std::string& why);
  py::dict Params() const override;
  virtual const model3d::RippleParams& ModelParams() const = 0;
  virtual std::string_view SettingsName() const = 0;

 protected:
  explicit Bed(kammelsim::params::Values values) : Simulation(std::move(values), kBed) {}
};

}  // namespace kammelpy
