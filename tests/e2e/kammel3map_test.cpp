// kammel3map as a user drives it: menus, dialogs, canvas clicks, keys, the close box.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "layer/Mapping.h"
#include "tests/e2e/ProgramTest.h"

namespace {

using namespace std::chrono_literals;
using e2e::Image;
using e2e::Rgb;

constexpr std::uint32_t kBlack = Rgb(0, 0, 0), kBrown = Rgb(160, 120, 0);
constexpr std::uint32_t kYellow = Rgb(252, 252, 72), kWhite = Rgb(255, 255, 255);
constexpr int kRun = 2, kGrafik = 1, kEingabe = 0, kStart = 1, kStop = 2;

// The bed and threshold dialogs, in their order.
const char* const kDialogs[] = {"Integer-Eingabe", "Integer-Eingabe", "Integer-Eingabe",
                                "Real-Eingabe",    "Real-Eingabe",    "Integer-Eingabe",
                                "Integer-Eingabe"};

class Kammel3map : public e2e::ProgramTest {
 protected:
  void SetUp() override { StartProgram("kammel3map"); }

  void EnterPresets() {
    program_->ChooseMenu(kRun, kEingabe);
    for (const char* dialog : kDialogs)
      ASSERT_TRUE(program_->AnswerDialog(dialog)) << dialog;
  }
};

TEST_F(Kammel3map, ShowsItsTitleAndMenusAndDrawsTheFreshBedBrown) {
  EXPECT_EQ(session_->Windows("kammel3map").size(), 1u);
  EXPECT_EQ(program_->MenuTitleCount(), 3) << "Datei, Grafik, Run";
  const Image blank = program_->Shot();
  EnterPresets();
  const auto colours = ColoursAfterChangeFrom(blank);
  EXPECT_EQ(colours.at(kBrown), 45451);
  EXPECT_EQ(colours.at(kBlack), 800 * 600 - 45451);
  EXPECT_EQ(colours.size(), 2u);
  ExpectCanvasIsKammelsim({"bed", "--settings", "map", "--batches", "0"});

  const Image shot = program_->Shot();
  const e2e::Rect c = program_->Canvas();
  layer::SetViewport(50, 750, 50, 550);
  layer::SetWorldWindow(0, 300, 0, 150);
  for (int i = 0; i <= 300; ++i) {
    for (int j = 0; j <= 150; ++j) {
      const auto p = shot.At(c.x + layer::WorldToScreenX(i), c.y + layer::WorldToScreenY(j));
      ASSERT_EQ(Rgb(p.r, p.g, p.b), kBrown) << i << "," << j;
    }
  }
  for (const auto& [x, y] : {std::pair{50, 550}, {750, 550}, {50, 50}, {750, 50}}) {
    const auto p = shot.At(c.x + x, c.y + y);
    EXPECT_EQ(Rgb(p.r, p.g, p.b), kBrown) << x << "," << y;
  }
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

TEST_F(Kammel3map, StartsRaiseCellsToTheThresholdAndOtherItemsChangeNothing) {
  Image shot = program_->Shot();
  EnterPresets();
  ColoursAfterChangeFrom(shot);
  for (int n = 0; n < 3; ++n) {
    shot = program_->Shot();
    program_->ChooseMenu(kRun, kStart);
    ColoursAfterChangeFrom(shot);  // cells rise, and the bright ones sparkle anew
  }
  shot = program_->Shot();
  program_->ClickCanvas(400, 300);  // a press on the canvas is a Start too
  auto colours = ColoursAfterChangeFrom(shot);
  const long bright = colours[kYellow] + colours[kWhite];
  EXPECT_GT(bright, 0);
  EXPECT_EQ(colours[kBrown] + bright, 45451);
  EXPECT_EQ(colours[kBlack] + colours[kBrown] + bright, 800 * 600);

  const Image before = program_->Shot();
  e2e::KeepShot(before, "kammel3map");
  program_->ChooseMenu(kGrafik, 0);  // " Grafik löschen"
  program_->ChooseMenu(kGrafik, 1);  // " Grafik speichern"
  program_->ChooseMenu(kRun, kStop);
  EXPECT_TRUE(HoldsStill(e2e::kPatience));
  EXPECT_TRUE(program_->Shot().rgb == before.rgb) << "the picture changed";
  EXPECT_TRUE(program_->process().Running());
  program_->Close();
  ExpectEndsWithStatus(0);
}

TEST_F(Kammel3map, ALengthBeyondTheBedIsAskedAgainWithTheTypedText) {
  const Image blank = program_->Shot();
  program_->ChooseMenu(kRun, kEingabe);
  const int lengthDialogWidth = program_->DialogWidth("Integer-Eingabe");
  ASSERT_TRUE(program_->AnswerDialog("Integer-Eingabe", "1001"));
  EXPECT_EQ(program_->DialogWidth("Integer-Eingabe"), lengthDialogWidth) << "the length again";
  EXPECT_EQ(program_->DialogText("Integer-Eingabe"), "1001");
  ASSERT_TRUE(program_->AnswerDialog("Integer-Eingabe", "1000"));
  EXPECT_LT(program_->DialogWidth("Integer-Eingabe"), lengthDialogWidth) << "now the width";
  for (int n = 1; n < 7; ++n)
    ASSERT_TRUE(program_->AnswerDialog(kDialogs[n]));
  // 1001 rows on 701 columns of pixels: neighbouring rows share a pixel column.
  layer::SetViewport(50, 750, 50, 550);
  layer::SetWorldWindow(0, 1000, 0, 150);
  std::set<std::pair<int, int>> pixels;
  for (int i = 0; i <= 1000; ++i)
    for (int j = 0; j <= 150; ++j)
      pixels.insert({layer::WorldToScreenX(i), layer::WorldToScreenY(j)});
  EXPECT_EQ(ColoursAfterChangeFrom(blank)[kBrown], static_cast<long>(pixels.size()));
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

TEST(Kammel3mapWithoutDisplay, SaysItCannotConnectAndExitsWithOne) {
  e2e::Process program({e2e::ProgramPath("kammel3map")},
                       {{"DISPLAY", ":239"}, {"QT_QPA_PLATFORM", ""}, {"WAYLAND_DISPLAY", ""}});
  const auto status = program.Wait(e2e::kPatience);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 1);
  EXPECT_EQ(program.Stdout(), "cannot connect to server\n");
}

}  // namespace
