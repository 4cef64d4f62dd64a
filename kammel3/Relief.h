// kammel3: the 3D bed as a white relief in parallel projection.
#pragma once

#include "model3d/RippleModel.h"

namespace kammel3 {

using Settings = model3d::ReliefSettings;
using Bed = model3d::BedState<Settings>;

/// The plot switches: shading on, edges shown (black outlines); set once at start.
extern bool Shaded;
extern bool HideEdges;

/// The six dialogs, the mapping, a new bed and its relief.
void EnterParameters(Bed& bed);

/// What an entry does after its dialogs, but for the drawing: the parameters, the mapping for
/// the canvas's current size, and a new bed.
void SetUpRelief(Bed& bed, const model3d::RippleParams& params);

/// The mapping an entry sets for these parameters on the canvas's current size.
void PlaceRelief(const model3d::RippleParams& params);

/// Draws the whole bed through PlotSurface. A bed without extent (before the first entry)
/// shows as a black canvas: the plot has no range to draw it in.
void RedrawRelief(const Bed& bed);

/// One Start: a batch of the model and a redraw.
void RunReliefBatch(Bed& bed);

}  // namespace kammel3
