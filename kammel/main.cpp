// kammel: the window is up before main (the layer's start-up); here the program's own start,
// its loop and its end.
#include "common/Random.h"
#include "kammel/Profile.h"
#include "layer/japiKern.h"

int main() {
  common::SeedFromClock();
  kammel::RunProfileLoop();
  layer::CloseProgramWindow();
  return 0;
}
