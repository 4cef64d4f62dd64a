// The event loop of the two 3D programs.
#pragma once

namespace program3d {

/// Waits for events until Quit or the window's close box. Eingabe calls enter; Start, or a
/// press on the canvas, calls runBatch once (one batch and one redraw) and clears the run flag
/// again, so that every wait is for the user. Other events pass without effect.
void RunBatchLoop(void (*enter)(), void (*runBatch)());

}  // namespace program3d
