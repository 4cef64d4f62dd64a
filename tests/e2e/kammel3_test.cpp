// kammel3 as a user drives it: the six dialogs, the relief, Start, Quit and the close box.
#include <gtest/gtest.h>

#include "tests/e2e/ProgramTest.h"

namespace {

using namespace std::chrono_literals;
using e2e::Rgb;

constexpr std::uint32_t kBlack = Rgb(0, 0, 0), kWhite = Rgb(255, 255, 255);
constexpr int kDatei = 0, kRun = 2, kEingabe = 0, kStart = 1;

struct Dialog {
  const char* title;
  const char* preset;
};
const Dialog kDialogs[] = {{"Integer-Eingabe", " 300"}, {"Integer-Eingabe", "  30"},
                           {"Integer-Eingabe", " 20"},  {"Real-Eingabe", "   2.00"},
                           {"Real-Eingabe", "   5.00"}, {"Integer-Eingabe", "  1"}};

class Kammel3 : public e2e::ProgramTest {
 protected:
  void SetUp() override { StartProgram("kammel3"); }
};

TEST_F(Kammel3, AsksSixDialogsFromTheDefaultsAndDrawsAWhiteReliefOnBlack) {
  EXPECT_EQ(session_->Windows("kammel3").size(), 1u);
  const e2e::Image blank = program_->Shot();
  program_->ChooseMenu(kRun, kEingabe);
  for (const Dialog& dialog : kDialogs) {
    EXPECT_EQ(program_->DialogText(dialog.title), dialog.preset);
    ASSERT_TRUE(program_->AnswerDialog(dialog.title)) << dialog.preset;
  }
  const auto fresh = ColoursAfterChangeFrom(blank);
  EXPECT_EQ(fresh.size(), 2u) << "white triangles with black edges, nothing else";
  ExpectCanvasIsKammelsim({"bed", "--batches", "0"});
  EXPECT_GT(fresh.at(kWhite), 2000);
  EXPECT_GT(fresh.at(kBlack), 100000);
  const e2e::Image before = program_->Shot();

  program_->ChooseMenu(kRun, kStart);
  const auto ripples = ColoursAfterChangeFrom(before);  // a batch changes the relief
  EXPECT_EQ(ripples.size(), 2u);
  e2e::KeepShot(program_->Shot(), "kammel3");
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

TEST_F(Kammel3, ALengthOf1000IsAskedAgainAnd999Accepted) {
  const e2e::Image blank = program_->Shot();
  program_->ChooseMenu(kRun, kEingabe);
  const int lengthDialogWidth = program_->DialogWidth("Integer-Eingabe");
  ASSERT_TRUE(program_->AnswerDialog("Integer-Eingabe", "1000"));
  EXPECT_EQ(program_->DialogWidth("Integer-Eingabe"), lengthDialogWidth) << "the length again";
  EXPECT_EQ(program_->DialogText("Integer-Eingabe"), "1000");
  ASSERT_TRUE(program_->AnswerDialog("Integer-Eingabe", "999"));
  EXPECT_LT(program_->DialogWidth("Integer-Eingabe"), lengthDialogWidth) << "now the width";
  for (int n = 1; n < 6; ++n)
    ASSERT_TRUE(program_->AnswerDialog(kDialogs[n].title));
  EXPECT_GT(ColoursAfterChangeFrom(blank)[kWhite], 1000);
  program_->Close();
  ExpectEndsWithStatus(0);
}

// Reports (does not judge) how long a Start on the largest bed takes to show its picture. That
// relief is black on black, so the picture cannot tell when it is done; the program can: it
// opens a menu only once its batch and redraw are over and the picture is on the screen.
TEST_F(Kammel3, StartOnTheLargestBedTime) {
  program_->ChooseMenu(kRun, kEingabe);
  const char* typed[] = {"999", "499", "", "", "", ""};
  for (int n = 0; n < 6; ++n)
    ASSERT_TRUE(program_->AnswerDialog(kDialogs[n].title, typed[n]));
  ASSERT_TRUE(program_->OpenMenu(kRun, e2e::kPatience)) << "the fresh bed's drawing never ended";
  const auto start = std::chrono::steady_clock::now();
  // The open menu holds the keyboard: keys go to it as they are, without raising the window.
  e2e::Run({"xdotool", "key", "Down", "Down", "Return"}, session_->display());  // Start
  ASSERT_TRUE(program_->OpenMenu(kDatei, e2e::kPatience));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  std::printf("Start on the largest bed to its picture: %lld ms\n",
              static_cast<long long>(took.count()));
  RecordProperty("start_to_picture_ms", std::to_string(took.count()));
  e2e::Run({"xdotool", "key", "Escape"}, session_->display());
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

TEST_F(Kammel3, AStartBeforeEingabeLeavesABlackCanvas) {
  program_->ClickCanvas(400, 300);
  const auto colours = SteadyColours();
  EXPECT_EQ(colours.size(), 1u);
  EXPECT_EQ(colours.begin()->first, kBlack);
  EXPECT_TRUE(program_->process().Running());
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

}  // namespace
