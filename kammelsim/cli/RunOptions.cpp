#include "kammelsim/cli/RunOptions.h"

#include <algorithm>
#include <utility>

#include "kammelsim/params/Run.h"

namespace kammelsim {

RunSettings ReadRunSettings(const params::Values& values, std::int64_t total,
                            params::Record& record, std::string& error) {
  using params::kRunOptions;
  RunSettings run;
  run.schedule.total = total;
  run.schedule.every =
      record.Keep(params::kEvery, values.Integer(params::kEvery, std::max<std::int64_t>(total, 1)));
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
  run.initial = values.Text(params::kInitial);
  if (!p.spacetime.empty() && run.schedule.Count() > SpaceTime::kMaxRows && error.empty()) {
    error = "--spacetime draws at most " + std::to_string(SpaceTime::kMaxRows) +
            " snapshots; choose a larger --every";
  }
  return run;
}

}  // namespace kammelsim
