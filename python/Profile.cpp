#include "python/Profile.h"

#include <optional>

#include "kammelsim/params/Profile.h"
#include "python/Arguments.h"

namespace kammelpy {
namespace {

namespace ks = kammelsim;

// A profile's options with more, read as kammelsim profile reads them.
Reading ReadProfile(const params::Values& values, const params::Values& more,
                    ks::ProfileRun* profile = nullptr) {
  const params::Values all = values.With(more);
  Check(all, params::ProfileOptions::all);
  std::string error;
  const ks::ProfileRun run = ks::ReadProfileRun(all, nullptr, error);
  if (!error.empty()) Refuse(error);
  if (profile) *profile = run;
  return {run.run, 0, run.parameters, all.Words()};
}

}  // namespace

Profile::Profile(params::Values values, const ks::ProfileRun& run,
                 const analysis::Snapshot* heights)
    : Simulation(std::move(values), kProfile), state_(std::make_unique<model2d::ProfileState>()) {
  state_->params = run.params;
  model2d::InitRippleProfile(*state_);
  std::string error;
  if (!ks::WidenForRun(*state_, run, error)) throw py::value_error(error);
  if (heights) {
    ks::PutHeights(*state_, *heights);
    initial_ = {"a Python array", ks::InitialCrc(*heights, true), ks::InitialSand(*heights)};
  }
  Start(ks::ProfileModel(*state_), run.run);
}

std::unique_ptr<Profile> Profile::Made(params::Values values, const params::Values& seed,
                                       py::handle heights) {
  ks::ProfileRun run;
  ReadProfile(values, seed, &run);
  std::optional<analysis::Snapshot> start;
  if (!heights.is_none()) {
    if (values.Has("thickness")) Refuse("heights gives the heights; thickness is for a flat start");
    start = HeightsArray(heights, {run.params.layerWidth + 1, 1, true, model2d::kMaxProfileGrains});
  }
  return std::unique_ptr<Profile>(new Profile(std::move(values), run, start ? &*start : nullptr));
}

std::unique_ptr<Profile> Profile::Make(py::handle width, py::handle thickness, py::handle b,
                                       py::handle wind, py::handle q, py::handle seed,
                                       py::handle heights) {
  return Made(
      Keywords(params::ProfileOptions::all,
               {{"width", width}, {"thickness", thickness}, {"b", b}, {"wind", wind}, {"q", q}}),
      SeedValues(seed), heights);
}

std::unique_ptr<Profile> Profile::FromCheckpoint(const ks::CheckpointData& data,
                                                 const params::Values& values, std::string& why) {
  auto profile = Made(ModelValues(values, "steps"), RecordedSeed(data));
  return profile->Restore(data, ScheduleOf(values, data), why) ? std::move(profile) : nullptr;
}

Reading Profile::Read(const params::Values& more) const {
  return ReadProfile(values_, more);
}

const params::Option& Profile::TotalOption() const {
  return params::ProfileOptions::steps;
}

void Profile::Rechange(const params::Values& more) {
  ks::ProfileRun run;
  ReadProfile(values_, more, &run);
  values_ = values_.With(more);
  state_->params = run.params;
  Remodel(ks::ProfileModel(*state_));
}

ks::View Profile::ViewWith(std::int32_t) {
  return ks::ProfileModel(*state_).view;
}

py::dict Profile::Params() const {
  using namespace pybind11::literals;
  const model2d::ProfileParams& p = state_->params;
  return py::dict("width"_a = p.layerWidth, "thickness"_a = p.layerThickness, "b"_a = p.factorB,
                  "wind"_a = p.windStrength, "q"_a = p.factorQ);
}

}  // namespace kammelpy
