#include "python/Bed.h"

#include <optional>

#include "kammelsim/BedSetup.h"
#include "kammelsim/params/Bed.h"
#include "python/Arguments.h"

namespace kammelpy {
namespace {

namespace ks = kammelsim;

// A bed's options with more, read as kammelsim bed reads them.
template <class Setting>
Reading ReadBed(const params::Values& values, const params::Values& more,
                ks::BedRun* read = nullptr) {
  const params::Values all = values.With(more);
  Check(all, params::BedOptions<Setting>::all);
  std::string error;
  const ks::BedRun bed = ks::ReadBedRun<Setting>(all, nullptr, error);
  if (!error.empty()) Refuse(error);
  if (read) *read = bed;
  return {bed.run, bed.threshold, bed.parameters, all.Words()};
}

// The heights a bed of these parameters takes from an array.
ks::InitialShape ShapeOf(const model3d::RippleParams& p) {
  return {p.layerLength + 1, p.layerWidth + 1, false, model3d::kMaxGrains};
}

template <class Setting>
class BedOf final : public Bed {
 public:
  BedOf(params::Values values, std::string_view settings, const ks::BedRun& bed,
        const analysis::Snapshot* heights)
      : Bed(std::move(values)),
        settings_(settings),
        state_(std::make_unique<model3d::BedState<Setting>>()) {
    state_->params = bed.params;
    state_->variant = bed.variant;
    model3d::InitRippleGrid(*state_);
    if (heights) {
      ks::PutHeights(*state_, *heights);
      initial_ = {"a Python array", ks::InitialCrc(*heights, false), ks::InitialSand(*heights)};
    }
    Start(ks::BedModel(*state_, ks::BedView(*state_, bed.threshold)), bed.run);
  }
  bool TakeUp(const ks::CheckpointData& data, const ks::SnapshotSchedule& schedule,
              std::string& why) {
    return Restore(data, schedule, why);
  }
  const model3d::RippleParams& ModelParams() const override { return state_->params; }
  std::string_view SettingsName() const override { return settings_; }

 private:
  Reading Read(const params::Values& more) const override {
    return ReadBed<Setting>(values_, more);
  }
  const params::Option& TotalOption() const override {
    return params::BedOptions<Setting>::batches;
  }
  ks::View ViewWith(std::int32_t threshold) override { return ks::BedView(*state_, threshold); }
  void Rechange(const params::Values& more) override {
    ks::BedRun bed;
    ReadBed<Setting>(values_, more, &bed);
    values_ = values_.With(more);
    state_->params = bed.params;
    Remodel(ks::BedModel(*state_, ks::BedView(*state_, bed.threshold)));
  }

  std::string settings_;
  std::unique_ptr<model3d::BedState<Setting>> state_;
};

// The bed these values make, with the seed's; checked before anything is made.
template <class Setting>
std::unique_ptr<BedOf<Setting>> MakeBed(params::Values values, const params::Values& seed,
                                        py::handle heights = py::none()) {
  ks::BedRun bed;
  ReadBed<Setting>(values, seed, &bed);
  std::optional<analysis::Snapshot> start;
  if (!heights.is_none()) {
    if (values.Has("height")) Refuse("heights gives the heights; height is for a flat start");
    start = HeightsArray(heights, ShapeOf(bed.params));
  }
  const std::string settings = values.Text(params::kSettings);
  return std::make_unique<BedOf<Setting>>(std::move(values), settings, bed,
                                          start ? &*start : nullptr);
}

// The settings' bed of these values.
std::unique_ptr<Bed> MakeBed(params::Values values, const params::Values& seed,
                             py::handle heights) {
  Check(values, {&params::kSettings, 1});
  // Not yet here: an open bed is kammelsim's alone, never a relief by another name.
  if (values.Text(params::kSettings) == "open")
    throw py::value_error("settings 'open' is for kammelsim bed; kammel.Bed takes relief or map");
  if (values.Text(params::kSettings) == "map")
    return MakeBed<model3d::MapSettings>(std::move(values), seed, heights);
  return MakeBed<model3d::ReliefSettings>(std::move(values), seed, heights);
}

}  // namespace

std::unique_ptr<Bed> Bed::Make(py::handle settings, py::handle length, py::handle width,
                               py::handle height, py::handle b, py::handle wind, py::handle q,
                               py::handle ties, py::handle periodic, py::handle seed,
                               py::handle heights) {
  // The relief's table for the types: both settings' options are of the same.
  const params::Given chosen = Convert(params::kSettings, settings);  // None is no settings
  params::Values values =
      Keywords(params::BedOptions<model3d::ReliefSettings>::all, {{"length", length},
                                                                  {"width", width},
                                                                  {"height", height},
                                                                  {"b", b},
                                                                  {"wind", wind},
                                                                  {"q", q},
                                                                  {"ties", ties},
                                                                  {"periodic", periodic}});
  values.Add(params::kSettings, chosen);
  return MakeBed(std::move(values), SeedValues(seed), heights);
}

std::unique_ptr<Bed> Bed::FromCheckpoint(const ks::CheckpointData& data,
                                         const params::Values& values, std::string& why) {
  const ks::SnapshotSchedule schedule = ScheduleOf(values, data);
  if (values.Text(params::kSettings) == "map") {
    auto bed = MakeBed<model3d::MapSettings>(ModelValues(values, "batches"), RecordedSeed(data));
    return bed->TakeUp(data, schedule, why) ? std::move(bed) : nullptr;
  }
  auto bed = MakeBed<model3d::ReliefSettings>(ModelValues(values, "batches"), RecordedSeed(data));
  return bed->TakeUp(data, schedule, why) ? std::move(bed) : nullptr;
}

py::dict Bed::Params() const {
  using namespace pybind11::literals;
  const model3d::RippleParams& p = ModelParams();
  return py::dict("settings"_a = SettingsName(), "length"_a = p.layerLength,
                  "width"_a = p.layerWidth, "height"_a = p.layerHeight, "b"_a = p.factorB,
                  "wind"_a = p.windStrength, "q"_a = p.factorQ);
}

}  // namespace kammelpy
