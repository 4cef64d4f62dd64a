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

// A new bed of the run's size and creep: a program's, or an open bed's array, allocated once and
// refused with MemoryError, saying how much it takes, when it cannot be had.
template <class Setting>
std::unique_ptr<model3d::BedState<Setting>> NewState(const ks::BedRun& bed) {
  if constexpr (std::is_same_v<Setting, model3d::OpenSettings>) {
    std::string error;
    auto state = ks::MakeOpenBed(bed, error);
    if (!state) {
      PyErr_SetString(PyExc_MemoryError, error.c_str());
      throw py::error_already_set();
    }
    return state;
  } else {
    auto state = std::make_unique<model3d::BedState<Setting>>();
    state->params = bed.params;
    state->variant = bed.variant;
    model3d::InitRippleGrid(*state);
    return state;
  }
}

template <class Setting>
class BedOf final : public Bed {
 public:
  BedOf(params::Values values, std::string_view settings, const ks::BedRun& bed,
        const analysis::Snapshot* heights)
      : Bed(std::move(values)), settings_(settings), state_(NewState<Setting>(bed)) {
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
  if (values.Text(params::kSettings) == "open")
    return MakeBed<model3d::OpenSettings>(std::move(values), seed, heights);
  if (values.Text(params::kSettings) == "map")
    return MakeBed<model3d::MapSettings>(std::move(values), seed, heights);
  return MakeBed<model3d::ReliefSettings>(std::move(values), seed, heights);
}

}  // namespace

std::unique_ptr<Bed> Bed::Make(py::handle settings, py::handle length, py::handle width,
                               py::handle height, py::handle b, py::handle wind, py::handle q,
                               py::handle ties, py::handle periodic, py::handle schedule,
                               py::handle seed, py::handle heights) {
  // The open bed's table for the types: it names every bed option, each of the same type in
  // every settings' table.
  const params::Given chosen = Convert(params::kSettings, settings);  // None is no settings
  // A Python bool is what a user means by yes or no.
  const py::object yesNo = py::isinstance<py::bool_>(periodic)
                               ? py::str(periodic.cast<bool>() ? "yes" : "no")
                               : py::reinterpret_borrow<py::object>(periodic);
  params::Values values =
      Keywords(params::BedOptions<model3d::OpenSettings>::all, {{"length", length},
                                                                {"width", width},
                                                                {"height", height},
                                                                {"b", b},
                                                                {"wind", wind},
                                                                {"q", q},
                                                                {"ties", ties},
                                                                {"periodic", yesNo},
                                                                {"schedule", schedule}});
  values.Add(params::kSettings, chosen);
  return MakeBed(std::move(values), SeedValues(seed), heights);
}

std::unique_ptr<Bed> Bed::FromCheckpoint(const ks::CheckpointData& data,
                                         const params::Values& values, std::string& why) {
  const ks::SnapshotSchedule schedule = ScheduleOf(values, data);
  const auto loaded = [&](auto bed) -> std::unique_ptr<Bed> {
    return bed->TakeUp(data, schedule, why) ? std::move(bed) : nullptr;
  };
  params::Values model = ModelValues(values, "batches");
  const std::string settings = values.Text(params::kSettings);
  if (settings == "open")
    return loaded(MakeBed<model3d::OpenSettings>(std::move(model), RecordedSeed(data)));
  if (settings == "map")
    return loaded(MakeBed<model3d::MapSettings>(std::move(model), RecordedSeed(data)));
  return loaded(MakeBed<model3d::ReliefSettings>(std::move(model), RecordedSeed(data)));
}

py::dict Bed::Params() const {
  using namespace pybind11::literals;
  const model3d::RippleParams& p = ModelParams();
  py::dict params("settings"_a = SettingsName(), "length"_a = p.layerLength,
                  "width"_a = p.layerWidth, "height"_a = p.layerHeight, "b"_a = p.factorB,
                  "wind"_a = p.windStrength, "q"_a = p.factorQ);
  if (SettingsName() == "open") params["schedule"] = values_.Text(params::kSchedule);
  return params;
}

}  // namespace kammelpy
