// kammel3map: the window is up before main (the layer's start-up); here the program's own
// start, its loop and its end.
#include "common/Random.h"
#include "kammel3map/Map.h"
#include "layer/japiKern.h"
#include "program3d/BatchLoop.h"
#include "toolkit/japi.h"

int main() {
  J_setshortcut(layer::GraphicsWindow.ItemStop, 83);  // Ctrl+S
  common::SeedFromClock();
  program3d::RunBatchLoop(kammel3map::EnterMapParameters, kammel3map::RunMapBatch);
  layer::CloseProgramWindow();
  return 0;
}
