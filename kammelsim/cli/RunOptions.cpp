#include "kammelsim/cli/RunOptions.h"

#include <algorithm>
#include <utility>

#include "kammelsim/params/Run.h"

namespace kammelsim {
namespace {

// The schedule an option gives, kept where it was given (or, for --every, always: as a number
// when it is one, so that earlier runs record what they did).
Schedule ReadSchedule(const params::Values& values, const params::Option& option, Schedule fallback,
                      params::Record& record) {
  if (!values.Has(option.name)) {
    if (option.name == params::kEvery.name) record.Keep(option, fallback.every);
    return fallback;
  }
  std::string text = values.Text(option);
  if (text.starts_with('+')) text.erase(0, 1);
  Schedule schedule;
  ParseSchedule(text, option.max, schedule);  // checked already
  if (schedule.perDecade > 0)
    record.Keep(option, schedule.Text());
  else
    record.Keep(option, schedule.every);
  return schedule;
}

std::int64_t ReadLag(const params::Values& values, params::Record& record) {
  if (!values.Has(params::kSpeedLag.name)) return 1;
  std::string text = values.Text(params::kSpeedLag);
  if (text == "every") {
    record.Keep(params::kSpeedLag, text);
    return 0;
  }
  Schedule lag;
  ParseSchedule(text.starts_with('+') ? text.substr(1) : text, params::kSpeedLag.max, lag);
  return record.Keep(params::kSpeedLag, lag.every);
}

}  // namespace

RunSettings ReadRunSettings(const params::Values& values, std::int64_t total,
                            params::Record& record, std::string& error) {
  using params::kRunOptions;
  RunSettings run;
  SnapshotSchedule& s = run.schedule;
  s.total = total;
  const Schedule every =
      ReadSchedule(values, params::kEvery, {std::max<std::int64_t>(total, 1), 0}, record);
  s.stats = ReadSchedule(values, params::kStatsEvery, every, record);
  s.netcdf = ReadSchedule(values, params::kNetcdfEvery, every, record);
  s.frames = ReadSchedule(values, params::kFramesEvery, every, record);
  run.speedLag = ReadLag(values, record);
  run.seedGiven = values.Has(params::kSeed.name);
  run.seed = static_cast<std::uint32_t>(values.Integer(params::kSeed));
  PictureOptions& p = run.pictures;
  const params::Canvas canvas = values.CanvasOf(params::kCanvas, {p.canvasWidth, p.canvasHeight});
  p.canvasWidth = static_cast<int>(canvas.width);
  p.canvasHeight = static_cast<int>(canvas.height);
  run.checkpointInterval = values.Integer(params::kCheckpointInterval);
  const std::pair<std::string_view, std::string*> outputs[] = {
      {"png", &p.png},          {"frames", &p.frames},   {"spacetime", &p.spacetime},
      {"stats", &run.stats},    {"netcdf", &run.netcdf}, {"checkpoint", &run.checkpoint},
      {"heights", &run.heights}};
  for (const auto& [name, file] : outputs)
    *file = values.Text(*params::Find(kRunOptions, name));
  p.force = run.force = values.Has("force");
  p.total = total;
  run.initial = values.Text(params::kInitial);
  if (!p.spacetime.empty() && s.frames.Count(total) > SpaceTime::kMaxRows && error.empty()) {
    error =
        "--spacetime draws at most " + std::to_string(SpaceTime::kMaxRows) +
        " snapshots; choose a larger " +
        values.Named(values.Has(params::kFramesEvery.name) ? params::kFramesEvery : params::kEvery);
  }
  return run;
}

}  // namespace kammelsim
