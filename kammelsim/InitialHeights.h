// --initial as kammelsim bed and profile take it: read once, for a new run, before any output
// is touched; a resume takes what its checkpoint recorded instead, never the file.
#pragma once

#include <string_view>

#include "kammelsim/input/InitialBed.h"
#include "kammelsim/output/Messages.h"
#include "kammelsim/params/Reader.h"
#include "kammelsim/run/RunDriver.h"

namespace kammelsim {

/// The heights --initial gives a new run of this shape into heights, and what its outputs
/// record of them into run.initialRecord; nothing without --initial. depth is the option of
/// a flat start's depth, which --initial leaves no say. 0, or status 2 after one line.
int ReadInitialHeights(RunSettings& run, const params::Values& values, const params::Option& depth,
                       const InitialShape& shape, const Resume* resume, const RunOutput& output,
                       std::string_view command, analysis::Snapshot& heights);

}  // namespace kammelsim
