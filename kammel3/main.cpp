// kammel3: the window is up before main (the layer's start-up); here the program's own start,
// its loop and its end.
#include "common/Random.h"
#include "kammel3/Relief.h"
#include "layer/japiKern.h"
#include "program3d/BatchLoop.h"
#include "toolkit/japi.h"

int main() {
  J_setshortcut(layer::GraphicsWindow.ItemStop, 83);  // Ctrl+S
  kammel3::Shaded = true;
  kammel3::HideEdges = false;
  common::SeedFromClock();
  program3d::RunBatchLoop(kammel3::EnterParameters, kammel3::RunReliefBatch);
  layer::CloseProgramWindow();
  return 0;
}
