#include "kammel/Profile.h"
#include "layer/japiKern.h"
#include "model2d/ProfileModel.h"

namespace kammel {

void RunProfileLoop(Profile& profile) {
  auto& w = layer::GraphicsWindow;
  std::int32_t event = 0;
  while (event != w.Frame && event != w.ItemQuit) {
    event = layer::WaitEvent();
    if (event == w.ItemInput) EnterProfileParameters(profile);
    if (event == w.ItemStart) w.PollEvents = true;
    if (w.PollEvents) {
      model2d::RunProfileStep(profile);
      RedrawProfile(profile);
    }
    if (event == w.ItemStop) w.PollEvents = false;
  }
}

}  // namespace kammel
