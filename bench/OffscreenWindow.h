// The program window on Qt's offscreen platform, opened once, as the programs' start-up would.
#pragma once

#include <cstdlib>

#include "layer/japiKern.h"

namespace bench {

inline void OpenOffscreenWindow() {
  static const bool opened = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    layer::OpenProgramWindow();
    return true;
  }();
  (void)opened;
}

}  // namespace bench
