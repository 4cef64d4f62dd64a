// Linked into the programs only: the window is open before main runs. The layer's state is
// constant-initialised, so it is ready whatever order the dynamic initialisers run in.
#include "layer/Window.h"

namespace {

[[maybe_unused]] const bool windowOpened = (layer::OpenProgramWindow(), true);

}  // namespace
