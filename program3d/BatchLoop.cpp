#include "program3d/BatchLoop.h"

#include "layer/japiKern.h"

namespace program3d {

void RunBatchLoop(void (*enter)(), void (*runBatch)()) {
  auto& w = layer::GraphicsWindow;
  while (w.LastEvent != w.Frame && w.LastEvent != w.ItemQuit) {
    w.LastEvent = layer::WaitEvent();
    if (w.LastEvent == w.ItemQuit) break;
    if (w.LastEvent == w.ItemStart) w.PollEvents = true;
    if (w.LastEvent == w.ItemStop) w.PollEvents = false;
    if (w.LastEvent == w.MouseKind0) w.PollEvents = true;
    if (w.LastEvent == w.Frame) break;
    if (w.LastEvent == w.ItemInput) enter();
    if (w.PollEvents) {
      runBatch();
      w.PollEvents = false;
    }
  }
}

}  // namespace program3d
