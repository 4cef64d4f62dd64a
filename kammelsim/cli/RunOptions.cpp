#include "kammelsim/cli/RunOptions.h"

#include <algorithm>

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
  std::string* const outputs[] = {&p.png,       &run.stats, &run.netcdf, &run.checkpoint,
                                  &run.heights, &p.frames,  &p.spacetime};
  const char* const names[] = {"png",     "stats",  "netcdf",   "checkpoint",
                               "heights", "frames", "spacetime"};
  for (std::size_t n = 0; n < std::size(names); ++n)
    *outputs[n] = values.Text(*params::Find(kRunOptions, names[n]));
  p.force = run.force = values.Has("force");
  if (!p.spacetime.empty() && run.schedule.Count() > SpaceTime::kMaxRows && error.empty()) {
    error = "--spacetime draws at most " + std::to_string(SpaceTime::kMaxRows) +
            " snapshots; choose a larger --every";
  }
  return run;
}

}  // namespace kammelsim
