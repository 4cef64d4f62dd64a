// kammel3map: the window is up before main (the layer's start-up); here the program's own
// start, its loop and its end.
#include <cstdint>

#include "common/Random.h"
#include "kammel3map/Map.h"
#include "layer/japiKern.h"
#include "program3d/BatchLoop.h"
#include "toolkit/japi.h"

namespace {

// The program's one model state, whose generator the map's sparkle draws from too; 2 MB, so
// here rather than on the stack.
kammel3map::Bed bed;
// The height from which a cell is drawn bright; 0 before the first entry.
std::int32_t MapThreshold = 0;

void EnterMapParameters() {
  kammel3map::EnterMapParameters(bed, MapThreshold);
}

void RunMapBatch() {
  kammel3map::RunMapBatch(bed, MapThreshold);
}

}  // namespace

int main() {
  J_setshortcut(layer::GraphicsWindow.ItemStop, 83);  // Ctrl+S
  common::SeedFromClock(bed.random);
  program3d::RunBatchLoop(EnterMapParameters, RunMapBatch);
  layer::CloseProgramWindow();
  return 0;
}
