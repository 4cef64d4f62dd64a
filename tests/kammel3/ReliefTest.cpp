#include "kammel3/Relief.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/Random.h"
#include "layer/Modul.h"
#include "layer/japiKern.h"
#include "program3d/BatchLoop.h"
#include "tests/support/FakeProgramWindow.h"

namespace {

using kammel3::Bed;
auto& window = layer::GraphicsWindow;

class ReliefProgram : public testing_support::FakeProgramWindow {
 protected:
  void SetUp() override {
    FakeProgramWindow::SetUp();
    bed->random.state = 1;
    program = bed.get();
    ClearCalls();
  }

  // The loop takes plain functions, as the program's main gives it: they reach the bed here.
  static void Enter() { kammel3::EnterParameters(*program); }
  static void Batch() { kammel3::RunReliefBatch(*program); }

  void SetUpBed(const model3d::RippleParams& params) {
    bed->params = params;
    model3d::InitRippleGrid(*bed);
  }

  std::unique_ptr<Bed> bed = std::make_unique<Bed>();  // all zero, as a program starts
  static inline Bed* program = nullptr;
};

TEST_F(ReliefProgram, EingabeAsksSixDialogsFromTheDefaultsAndDrawsTheBed) {
  kammel3::EnterParameters(*bed);
  const std::vector<std::string> presets = fake::CallsStartingWith("J_settext");
  const char* expected[] = {"\" 300\"",    "\"  30\"",    "\" 20\"",
                            "\"   2.00\"", "\"   5.00\"", "\"  1\""};
  ASSERT_EQ(presets.size(), 6u);
  for (int n = 0; n < 6; ++n)
    EXPECT_NE(presets[n].find(expected[n]), std::string::npos) << n;
  EXPECT_NE(fake::CallsStartingWith("J_label")[0].find("Schichtl\xe4nge : "), std::string::npos);
  EXPECT_EQ(Count("J_fillpolygon(13, 3,"), 2u * 300 * 30);
  EXPECT_EQ(Count("J_drawpolygon(13, 3,"), 2u * 300 * 30);
  EXPECT_EQ(Count("J_fillrect"), 1u) << "one clear, one picture";
}

TEST_F(ReliefProgram, SizesBeyondTheArrayAreAskedAgain) {
  fake::Script().typed = {"1000", "0", "999", "500", "499", "-1", "7", "2", "5", "1001", "3"};
  kammel3::EnterParameters(*bed);
  const auto& p = bed->params;
  EXPECT_EQ(p.layerLength, 999);
  EXPECT_EQ(p.layerWidth, 499);
  EXPECT_EQ(p.layerHeight, 7);
  EXPECT_EQ(p.factorQ, 3);
  EXPECT_NE(fake::CallsStartingWith("J_settext")[1].find("\"1000\""), std::string::npos);
  EXPECT_EQ(Count("J_fillpolygon(13, 3,"), 2u * 999 * 499);
}

TEST_F(ReliefProgram, AStartBeforeEingabeShowsABlackCanvasAndDrawsNoTriangle) {
  kammel3::RunReliefBatch(*bed);
  EXPECT_EQ(fake::CallsStartingWith("J_fillrect"),
            std::vector<std::string>{"J_fillrect(13, 0, 0, 801, 601)"});
  EXPECT_EQ(Count("J_setcolor"), 1u);
  EXPECT_EQ(Count("J_fillpolygon"), 0u);
}

TEST_F(ReliefProgram, EveryTriangleIsWhiteWithABlackOutline) {
  SetUpBed({4, 3, 2, 2.0, 5.0, 1});
  kammel3::RedrawRelief(*bed);
  const auto& calls = fake::Record().calls;
  for (std::size_t n = 0; n < calls.size(); ++n) {
    if (calls[n].rfind("J_fillpolygon", 0) == 0) {
      EXPECT_EQ(calls[n - 1], "J_setcolor(13, 255, 255, 255)");
    }
    if (calls[n].rfind("J_drawpolygon", 0) == 0) {
      EXPECT_EQ(calls[n - 1], "J_setcolor(13, 0, 0, 0)");
    }
  }
  EXPECT_EQ(Count("J_fillpolygon(13, 3,"), 2u * 4 * 3);
}

TEST_F(ReliefProgram, EachStartOrCanvasPressIsOneBatchAndOneRedraw) {
  SetUpBed({20, 5, 4, 2.0, 5.0, 1});
  fake::Script().actions = {window.ItemStart, window.MouseKind0,  window.ItemStop,
                            window.ItemClear, window.KeyListener, window.ItemQuit};
  window.LastEvent = 0;
  program3d::RunBatchLoop(Enter, Batch);
  EXPECT_EQ(Count("J_fillrect"), 2u);
  auto twice = std::make_unique<Bed>();
  twice->params = bed->params;
  model3d::InitRippleGrid(*twice);
  twice->random.state = 1;
  for (int n = 0; n < 2; ++n)
    model3d::RunBatch(*twice);
  EXPECT_EQ(bed->random.state, twice->random.state) << "two batches' draws";
  EXPECT_TRUE(std::equal(std::begin(bed->grid.cells), std::end(bed->grid.cells),
                         std::begin(twice->grid.cells)));
}

}  // namespace
