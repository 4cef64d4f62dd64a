// kammel as a user drives it: the five dialogs, the flat profile, a running simulation that
// Stop halts, and Quit and the close box ending a running simulation.
#include <gtest/gtest.h>

#include "tests/e2e/ProgramTest.h"

namespace {

using namespace std::chrono_literals;
using e2e::Rgb;

constexpr std::uint32_t kBlack = Rgb(0, 0, 0), kLightRed = Rgb(252, 40, 40);
constexpr int kRun = 2, kEingabe = 0, kStart = 1, kStop = 2;

struct Dialog {
  const char* title;
  const char* preset;
};
const Dialog kDialogs[] = {{"Integer-Eingabe", "1000"},
                           {"Integer-Eingabe", " 50"},
                           {"Real-Eingabe", "   2.00"},
                           {"Real-Eingabe", "   5.00"},
                           {"Integer-Eingabe", "  1"}};

class Kammel : public e2e::ProgramTest {
 protected:
  void SetUp() override { StartProgram("kammel"); }

  void EnterPresets() {
    program_->ChooseMenu(kRun, kEingabe);
    for (const Dialog& dialog : kDialogs)
      ASSERT_TRUE(program_->AnswerDialog(dialog.title));
  }
  // The picture changes while the simulation runs: waited for, however busy the machine.
  bool ProfileMoves() const { return Changes(e2e::kPatience); }
  // And holds still over a second, many redraws of a running one, when it does not run.
  bool ProfileHolds() const { return !Changes(1s); }
};

TEST_F(Kammel, AsksFiveDialogsAndDrawsTheFlatProfileAsOneLineOnRow430) {
  EXPECT_EQ(session_->Windows("kammel").size(), 1u);
  const e2e::Image blank = program_->Shot();
  program_->ChooseMenu(kRun, kEingabe);
  for (const Dialog& dialog : kDialogs) {
    EXPECT_EQ(program_->DialogText(dialog.title), dialog.preset);
    ASSERT_TRUE(program_->AnswerDialog(dialog.title)) << dialog.preset;
  }
  const auto colours = ColoursAfterChangeFrom(blank);
  EXPECT_EQ(colours.at(kLightRed), 701);
  EXPECT_EQ(colours.at(kBlack), 800 * 600 - 701);
  ExpectCanvasIsKammelsim({"profile", "--steps", "0"});
  const e2e::Image shot = program_->Shot();
  const e2e::Rect c = program_->Canvas();
  for (int x = 50; x <= 750; ++x) {
    const auto p = shot.At(c.x + x, c.y + 430);
    ASSERT_EQ(Rgb(p.r, p.g, p.b), kLightRed) << x;
  }
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

TEST_F(Kammel, RunsFromStartUntilStop) {
  const e2e::Image blank = program_->Shot();
  EnterPresets();
  ColoursAfterChangeFrom(blank);
  EXPECT_TRUE(ProfileHolds()) << "idle before Start";
  program_->ChooseMenu(kRun, kStart);
  EXPECT_TRUE(ProfileMoves());
  EXPECT_TRUE(ProfileMoves());
  e2e::KeepShot(program_->Shot(), "kammel");
  program_->ChooseMenu(kRun, kStop);
  EXPECT_TRUE(HoldsStill(e2e::kPatience)) << "Stop halts it";
  EXPECT_TRUE(ProfileHolds()) << "and it stays halted";
  EXPECT_EQ(CanvasColours().size(), 2u) << "a red line on black";
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

TEST_F(Kammel, QuitEndsARunningSimulation) {
  EnterPresets();
  program_->ChooseMenu(kRun, kStart);
  ASSERT_TRUE(ProfileMoves());
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

TEST_F(Kammel, TheCloseBoxEndsARunningSimulation) {
  EnterPresets();
  program_->ChooseMenu(kRun, kStart);
  ASSERT_TRUE(ProfileMoves());
  program_->Close();
  ExpectEndsWithStatus(0);
}

}  // namespace
