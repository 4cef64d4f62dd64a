#include "kammelsim/InitialHeights.h"

#include "kammelsim/params/Run.h"

namespace kammelsim {

int ReadInitialHeights(RunSettings& run, const params::Values& values, const params::Option& depth,
                       const InitialShape& shape, const Resume* resume, const RunOutput& output,
                       std::string_view command, analysis::Snapshot& heights) {
  // The checkpoint holds the whole array: the file may have moved or changed since.
  if (resume) {
    run.initialRecord = resume->data.initial;
    return 0;
  }
  const std::string named = values.Named(params::kInitial);
  if (run.initial.empty()) {
    if (!values.Has(params::kInitial.name)) return 0;
    return UsageFault(output, std::string(command) + ": " + named + " takes a file name, not ''");
  }
  if (values.Has(depth.name)) {
    return UsageFault(output, std::string(command) + ": " + named + " gives the heights; " +
                                  values.Named(depth) + " is for a flat start");
  }
  InitialBed bed;
  std::string error;
  if (!ReadInitial(run.initial, shape, bed, error))
    return UsageFault(output, std::string(command) + ": " + named + " " + error);
  heights = std::move(bed.heights);
  run.initialRecord = bed.record;
  return 0;
}

}  // namespace kammelsim
