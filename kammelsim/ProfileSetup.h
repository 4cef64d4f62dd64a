// A profile run as kammelsim profile and kammel.Profile set it up: its options read, its
// model and view.
#pragma once

#include <string>
#include <vector>

#include "kammelsim/output/Provenance.h"
#include "kammelsim/params/Reader.h"
#include "kammelsim/run/RunDriver.h"
#include "model2d/ProfileModel.h"

namespace kammelsim {

/// A profile's parameters and its run.
struct ProfileRun {
  model2d::ProfileParams params;
  RunSettings run;
  std::vector<Parameter> parameters;  ///< every parameter, as its outputs record them
};

/// A profile run from checked values (params::ProfileOptions); on a fault between options
/// sets error. A resumed run takes its total from the checkpoint.
ProfileRun ReadProfileRun(const params::Values& values, const Resume* resume, std::string& error);

/// Makes state the wide profile of the run's width when that is wider than the program's
/// table, and initialises it; false, with error set to one line, when its cells cannot be
/// had. A profile the table holds is left to its set-up.
bool WidenForRun(model2d::ProfileState& state, const ProfileRun& run, std::string& error);

/// Puts heights (cells 0..N, checked by CheckInitial) on a profile that is set up.
void PutHeights(model2d::ProfileState& state, const analysis::Snapshot& heights);

/// What a run needs of a profile that kammel::SetUpProfile (or WidenForRun) has set up, with
/// its view.
RunModel ProfileModel(model2d::ProfileState& state);

}  // namespace kammelsim
