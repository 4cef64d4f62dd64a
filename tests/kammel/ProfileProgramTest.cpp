#include "kammel/Profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/Random.h"
#include "layer/Modul.h"
#include "layer/japiKern.h"
#include "model2d/ProfileModel.h"
#include "tests/support/FakeProgramWindow.h"

namespace {

auto& window = layer::GraphicsWindow;

class ProfileProgram : public testing_support::FakeProgramWindow {
 protected:
  void SetUp() override {
    FakeProgramWindow::SetUp();
    profile->random.state = 1;
    ClearCalls();
  }
  static std::size_t Redraws() { return Count("J_fillrect"); }
  // Steps run since the generator stood at state, judged by the draws they made.
  int StepsSince(std::uint32_t state) const {
    common::Random counter{state};
    for (int steps = 0; steps < 100; ++steps) {
      if (counter.state == profile->random.state) return steps;
      for (std::int64_t n = 0; n < model2d::RandomNumbersPerStep(*profile); ++n)
        common::AdvanceRandom(counter);
    }
    return -1;
  }

  std::unique_ptr<kammel::Profile> profile = std::make_unique<kammel::Profile>();
};

TEST_F(ProfileProgram, EingabeAsksFiveDialogsAndDrawsTheFlatProfileOnRow430) {
  kammel::EnterProfileParameters(*profile);
  const auto presets = fake::CallsStartingWith("J_settext");
  const char* expected[] = {"\"1000\"", "\" 50\"", "\"   2.00\"", "\"   5.00\"", "\"  1\""};
  ASSERT_EQ(presets.size(), 5u);
  for (int n = 0; n < 5; ++n)
    EXPECT_NE(presets[n].find(expected[n]), std::string::npos) << n;
  EXPECT_NE(fake::CallsStartingWith("J_label")[0].find("Nishimori - Schichtbreite : "),
            std::string::npos);
  const auto lines = fake::CallsStartingWith("J_drawline");
  ASSERT_EQ(lines.size(), 1000u);
  EXPECT_EQ(lines.front(), "J_drawline(13, 50, 430, 51, 430)");
  EXPECT_EQ(lines.back(), "J_drawline(13, 749, 430, 750, 430)");
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0, lastX = 50;
  for (const std::string& line : lines) {
    ASSERT_EQ(std::sscanf(line.c_str(), "J_drawline(13, %d, %d, %d, %d)", &x1, &y1, &x2, &y2), 4);
    EXPECT_EQ(y1, 430);
    EXPECT_EQ(y2, 430);
    EXPECT_EQ(x1, lastX) << "one polyline, left to right";
    lastX = x2;
  }
  EXPECT_EQ(fake::CallsStartingWith("J_setcolor(13, 252, 40, 40)").size(), 1000u);
}

TEST_F(ProfileProgram, WidthsAndGrainsOutsideTheBoundsAreAskedAgain) {
  fake::Script().typed = {"10001", "0", "10000", "-1", "100001", "7", "2", "5", "-2", "3"};
  kammel::EnterProfileParameters(*profile);
  EXPECT_EQ(profile->params.layerWidth, 10000);
  EXPECT_EQ(profile->params.layerThickness, 7);
  EXPECT_EQ(profile->params.factorQ, 3);
  EXPECT_NE(fake::CallsStartingWith("J_settext")[1].find("\"10001\""), std::string::npos);
  EXPECT_EQ(fake::CallsStartingWith("J_drawline").size(), 10000u);
}

TEST_F(ProfileProgram, BeforeEingabeEachRedrawIsOneSegmentAtTheOrigin) {
  kammel::RedrawProfile(*profile);
  EXPECT_EQ(fake::CallsStartingWith("J_drawline"),
            std::vector<std::string>{"J_drawline(13, 0, 0, 0, 0)"});
}

// The order of the loop's tests: Start steps in its own pass, Stop still gets one step, and
// other events step like any pass while running.
TEST_F(ProfileProgram, StartRunsAStepEveryPassAndStopGetsOneMore) {
  kammel::EnterProfileParameters(*profile);
  const std::uint32_t state = profile->random.state;
  fake::Record().calls.clear();
  fake::Script().actions = {
      window.ItemStart, 0, window.ItemClear, 0, window.ItemStop, window.ItemStart, window.ItemStop,
      window.ItemQuit};
  kammel::RunProfileLoop(*profile);
  EXPECT_EQ(StepsSince(state), 5 + 2);
  EXPECT_EQ(Redraws(), 7u);
  EXPECT_FALSE(window.PollEvents);
}

TEST_F(ProfileProgram, QuitOrCloseWhileRunningGetsOneLastStep) {
  for (const int end : {window.ItemQuit, window.Frame}) {
    kammel::EnterProfileParameters(*profile);
    const std::uint32_t state = profile->random.state;
    window.PollEvents = false;
    fake::Record().calls.clear();
    fake::Script().actions = {window.ItemStart, 0, end, window.ItemStart};
    kammel::RunProfileLoop(*profile);
    EXPECT_EQ(StepsSince(state), 3);
    EXPECT_EQ(fake::Script().actions.size(), 1u) << "ended at Quit or close";
  }
}

TEST_F(ProfileProgram, EingabeWhileRunningRebuildsAndGoesOn) {
  // The dialogs wait on the same queue: answer each with its " ok ", the fourth handle it makes.
  const int ok = fake::Record().lastHandle + 4;
  fake::Script().actions = {window.ItemStart, window.ItemInput, ok, ok + 4,         ok + 8,
                            ok + 12,          ok + 16,          0,  window.ItemQuit};
  kammel::RunProfileLoop(*profile);
  // The rebuilt profile took the steps of the Eingabe pass and of the two after it.
  EXPECT_EQ(profile->params.layerWidth, 1000);
  EXPECT_TRUE(window.PollEvents) << "no new Start needed";
  EXPECT_EQ(Redraws(), 1u + 1 + 3);
}

}  // namespace
