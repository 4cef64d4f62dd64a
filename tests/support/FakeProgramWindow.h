// A program's window on the recording fake toolkit, for the programs' own tests: opened as the
// start-up would, with an 800 x 600 canvas, and every unscripted wait answered by the " ok "
// of the dialog that waits (the last object each dialog makes).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "layer/Modul.h"
#include "layer/japiKern.h"
#include "tests/support/FakeToolkit.h"

namespace testing_support {

class FakeProgramWindow : public testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    layer::GraphicsWindow = {};
    layer::OpenProgramWindow();
    fake::Script().widths[layer::GraphicsWindow.Canvas] = 800;
    fake::Script().heights[layer::GraphicsWindow.Canvas] = 600;
    fake::Script().nextAction = [] { return fake::Record().lastHandle; };
    layer::SetViewport(0, 0, 0, 0);  // as before any entry: everything maps to 0
    layer::SetWorldWindow(0, 0, 0, 0);
  }

  /// Forgets the calls so far, so that a test sees only its own.
  static void ClearCalls() { fake::Record().calls.clear(); }
  /// The number of recorded calls starting with prefix.
  static std::size_t Count(const std::string& prefix) {
    return fake::CallsStartingWith(prefix).size();
  }
};

}  // namespace testing_support
