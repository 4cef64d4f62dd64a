// kammel: the 2D cross-section of the sand layer as a red profile line, running from Start
// to Stop.
#pragma once

#include "model2d/ProfileModel.h"

namespace kammel {

using Profile = model2d::ProfileState;

/// The five dialogs, the mapping, a new profile and its picture.
void EnterProfileParameters(Profile& profile);

/// What an entry does after its dialogs, but for the drawing: the parameters, the mapping for
/// the canvas's current size, and a new profile.
void SetUpProfile(Profile& profile, const model2d::ProfileParams& params);

/// The mapping an entry sets for these parameters on the canvas's current size.
void PlaceProfile(const model2d::ProfileParams& params);

/// Clears the canvas and draws the profile through cells 0..N in LightRed.
void RedrawProfile(const Profile& profile);

/// The event loop (in the program only; the runner draws without it): Start runs one step and one
/// redraw per pass until Stop, polling for events in between; Quit or the window's close box end it
/// (after one last step while running).
void RunProfileLoop(Profile& profile);

}  // namespace kammel
