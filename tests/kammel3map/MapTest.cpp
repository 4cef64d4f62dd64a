#include "kammel3map/Map.h"

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

using Bed = kammel3map::Bed;
auto& window = layer::GraphicsWindow;

const std::string kBrown = "J_setcolor(13, 160, 120, 0)";
const std::string kYellow = "J_setcolor(13, 252, 252, 72)";
const std::string kWhite = "J_setcolor(13, 255, 255, 255)";

// The map program's window on the fake toolkit, and the model at its all-zero start.
class MapProgram : public testing_support::FakeProgramWindow {
 protected:
  void SetUp() override {
    FakeProgramWindow::SetUp();
    bed->random.state = 1;
    program = bed.get();
    threshold = 0;
    ClearCalls();
  }

  // The loop takes plain functions, as the program's main gives it: they reach the bed here.
  static void Enter() { kammel3map::EnterMapParameters(*program, threshold); }
  static void Batch() { kammel3map::RunMapBatch(*program, threshold); }

  void SetUpBed(const model3d::RippleParams& params) {
    bed->params = params;
    model3d::InitRippleGrid(*bed);
  }

  std::unique_ptr<Bed> bed = std::make_unique<Bed>();  // all zero, as a program starts
  static inline Bed* program = nullptr;
  static inline std::int32_t threshold = 0;

  static std::vector<std::string> Labels() {
    std::vector<std::string> labels;
    for (const std::string& call : fake::CallsStartingWith("J_label")) {
      labels.push_back(call.substr(call.find('"')));
    }
    return labels;
  }
  static std::vector<std::string> Presets() { return fake::CallsStartingWith("J_settext"); }
  static long CountExactly(const std::string& call) {
    const auto& calls = fake::Record().calls;
    return std::count(calls.begin(), calls.end(), call);
  }
};

TEST_F(MapProgram, EingabeWithThePresetsDrawsTheWholeBedBrown) {
  Enter();
  const std::vector<std::string> prompts = {
      "\" Programm zur Simulation von Sandkammeln nach Nishimori - Schichtl\xe4nge : \")",
      "\" Schichtbreite : \")",
      "\" Schichthoehe : \")",
      "\" Faktor \"b\" : \")",
      "\" Windstaerke (0..) : \")",
      "\" Faktor \"q\" : \")",
      "\" Grenze : \")"};
  EXPECT_EQ(Labels(), prompts);
  const auto presets = Presets();
  ASSERT_EQ(presets.size(), 7u);
  const char* expected[] = {"\" 300\"",    "\" 150\"", "\"  5\"", "\"   2.00\"",
                            "\"   5.00\"", "\"  1\"",  "\" 6\""};
  for (int n = 0; n < 7; ++n)
    EXPECT_NE(presets[n].find(expected[n]), std::string::npos) << n;
  EXPECT_EQ(threshold, 6);
  EXPECT_EQ(CountExactly(kBrown), 301 * 151);
  EXPECT_EQ(CountExactly(kYellow) + CountExactly(kWhite), 0);
  for (const char* corner : {"J_drawpixel(13, 50, 550)", "J_drawpixel(13, 750, 550)",
                             "J_drawpixel(13, 50, 50)", "J_drawpixel(13, 750, 50)"}) {
    EXPECT_EQ(CountExactly(corner), 1) << corner;
  }
}

TEST_F(MapProgram, SizesOutsideTheBedAndGrainsOutsideTheBoundsAreAskedAgain) {
  // length 1001, 0, then 1000; width 501, -3, then 500; height 1001 then 20; b, wind; q -1, 2.
  fake::Script().typed = {"1001", "0", "1000", "501", "-3", "500", "1001",
                          "20",   "2", "5",    "-1",  "2",  "21"};
  Enter();
  const auto& p = bed->params;
  EXPECT_EQ(p.layerLength, 1000);
  EXPECT_EQ(p.layerWidth, 500);
  EXPECT_EQ(p.layerHeight, 20);
  EXPECT_EQ(p.factorQ, 2);
  const auto presets = Presets();
  ASSERT_EQ(presets.size(), 13u);
  EXPECT_NE(presets[1].find("\"1001\""), std::string::npos) << "the typed text comes back";
  EXPECT_NE(presets[12].find("\"21\""), std::string::npos) << "threshold preset is H0 + 1";
  EXPECT_EQ(CountExactly(kBrown), 1001 * 501);
}

TEST_F(MapProgram, BrightCellsDrawOneRandomColourEachInDrawingOrder) {
  SetUpBed({3, 2, 0, 2.0, 5.0, 1});
  auto& grid = bed->grid;
  grid.at(0, 1) = 7;  // equal to the threshold: bright
  grid.at(2, 2) = 9;
  grid.at(3, 0) = 6;  // one below: brown
  common::Random sparkle{12345}, twin{12345};
  kammel3map::RedrawMap(*bed, 7, sparkle);
  std::vector<std::string> expected;
  for (int n = 0; n < 2; ++n)
    expected.push_back(common::RandomBelow(twin, 2) ? kWhite : kYellow);
  std::vector<std::string> bright;
  for (const std::string& call : fake::CallsStartingWith("J_setcolor")) {
    if (call != kBrown && call != "J_setcolor(13, 0, 0, 0)") bright.push_back(call);
  }
  EXPECT_EQ(bright, expected);
  EXPECT_EQ(CountExactly(kBrown), 12 - 2);
  EXPECT_EQ(sparkle.state, twin.state);
  EXPECT_EQ(bed->random.state, 1u) << "the bed's own generator is not the one passed";
}

TEST_F(MapProgram, ThresholdsBeyondAnyHeightDrawAllBrownOrAllBright) {
  SetUpBed({10, 10, 5, 2.0, 5.0, 1});
  kammel3map::RedrawMap(*bed, 128, bed->random);
  EXPECT_EQ(CountExactly(kBrown), 121);
  EXPECT_EQ(bed->random.state, 1u) << "no draws for brown cells";
  kammel3map::RedrawMap(*bed, -128, bed->random);
  EXPECT_EQ(CountExactly(kYellow) + CountExactly(kWhite), 121);
}

TEST_F(MapProgram, StartBeforeEingabeDrawsOneBrightPixelAtTheOrigin) {
  Batch();
  EXPECT_EQ(fake::CallsStartingWith("J_drawpixel"),
            std::vector<std::string>{"J_drawpixel(13, 0, 0)"});
  EXPECT_EQ(CountExactly(kYellow) + CountExactly(kWhite), 1);
}

// Each Start or canvas press is one batch and one redraw; Stop and the Grafik items change
// nothing; Quit and the close box end the loop.
TEST_F(MapProgram, LoopRunsOneBatchPerStartAndEndsOnQuitOrClose) {
  const auto redraws = [] { return fake::CallsStartingWith("J_fillrect").size(); };
  for (const bool byClose : {false, true}) {
    fake::Record().calls.clear();
    window.LastEvent = 0;
    fake::Script().actions = {window.ItemStart,   window.ItemStop,
                              window.ItemClear,   window.ItemSave,
                              window.MouseKind0,  window.MouseKind4,
                              window.MouseKind1,  window.MouseKind2,
                              window.KeyListener, byClose ? window.Frame : window.ItemQuit,
                              window.ItemStart};
    program3d::RunBatchLoop(Enter, Batch);
    EXPECT_EQ(redraws(), 2u);
    EXPECT_FALSE(window.PollEvents);
    EXPECT_EQ(fake::Script().actions.size(), 1u) << "the loop ended at Quit or close";
    EXPECT_TRUE(fake::CallsStartingWith("J_getaction").empty()) << "every wait waits";
  }
}

}  // namespace
