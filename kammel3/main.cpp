// kammel3: the window is up before main (the layer's start-up); here the program's own start,
// its loop and its end.
#include "common/Random.h"
#include "kammel3/Relief.h"
#include "layer/japiKern.h"
#include "program3d/BatchLoop.h"
#include "toolkit/japi.h"

namespace {

// The program's one model state, with the generator it shares with nothing else; 2 MB, so here
// rather than on the stack.
kammel3::Bed bed;

void EnterParameters() {
  kammel3::EnterParameters(bed);
}

void RunReliefBatch() {
  kammel3::RunReliefBatch(bed);
}

}  // namespace

int main() {
  J_setshortcut(layer::GraphicsWindow.ItemStop, 83);  // Ctrl+S
  kammel3::Shaded = true;
  kammel3::HideEdges = false;
  common::SeedFromClock(bed.random);
  program3d::RunBatchLoop(EnterParameters, RunReliefBatch);
  layer::CloseProgramWindow();
  return 0;
}
