// kammel: the window is up before main (the layer's start-up); here the program's own start,
// its loop and its end.
#include "common/Random.h"
#include "kammel/Profile.h"
#include "layer/japiKern.h"

namespace {

// The program's one model state, with its generator.
kammel::Profile profile;

}  // namespace

int main() {
  common::SeedFromClock(profile.random);
  kammel::RunProfileLoop(profile);
  layer::CloseProgramWindow();
  return 0;
}
