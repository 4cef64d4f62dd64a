// The palette as the user sees it: colours read back from a canvas the layer drew on, the
// headless toolkit's, which draws as the window's canvas does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "layer/Palette.h"
#include "layer/Window.h"
#include "toolkit/Headless.h"

namespace {

using namespace layer;

constexpr int Width = 64, Height = 48;

class PalettePixelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    jheadless::SetCanvasSize(Width, Height);
    GraphicsWindow = {};
    OpenProgramWindow();  // fills the palette, as at every program's start
  }
  void TearDown() override {
    CloseProgramWindow();
    jheadless::SetCanvasSize(0, 0);
  }

  static jheadless::Picture Shot() {
    jheadless::Picture picture;
    jheadless::CanvasPicture(picture);
    return picture;
  }
  static std::uint32_t At(const jheadless::Picture& picture, int x, int y) {
    return picture.rgb.at(static_cast<std::size_t>(y) * picture.width + x);
  }
};

// The brightness of a pixel and which of its channels carry its hue: those at least half the
// strongest ("RG" for a yellow or a brown, "RGB" for a grey, "" for black).
int Brightness(std::uint32_t rgb) {
  return static_cast<int>((rgb >> 16 & 0xff) + (rgb >> 8 & 0xff) + (rgb & 0xff));
}
std::string Hue(std::uint32_t rgb) {
  const int r = rgb >> 16 & 0xff, g = rgb >> 8 & 0xff, b = rgb & 0xff;
  const int strongest = std::max({r, g, b});
  std::string hue;
  if (strongest == 0) return hue;
  if (2 * r >= strongest) hue += 'R';
  if (2 * g >= strongest) hue += 'G';
  if (2 * b >= strongest) hue += 'B';
  return hue;
}

// Each colour a program's picture is made of, through the primitive that draws it there.
TEST_F(PalettePixelsTest, TheProgramsColoursShowExactly) {
  ClearCanvas(Black);  // every background
  const jheadless::Picture cleared = Shot();
  ASSERT_EQ(cleared.width, Width);
  ASSERT_EQ(cleared.height, Height);
  EXPECT_EQ(std::set(cleared.rgb.begin(), cleared.rgb.end()), std::set<std::uint32_t>{0x000000})
      << "the whole canvas, to its last row and column";

  // The relief's triangles: filled white, outlined black.
  const ScreenPoint square[] = {{10, 10}, {30, 10}, {30, 30}, {10, 30}};
  SetFillColours(0, White, Black);
  ClearCanvas(LightGray);
  FillPolygon(4, square);
  // The map's cells (Brown below the threshold, Yellow or White above) and the profile's line.
  DrawPixel(40, 5, Brown);
  DrawPixel(41, 5, Yellow);
  DrawPixel(42, 5, White);
  DrawLine(40, 20, 60, 20, 12);

  const jheadless::Picture shot = Shot();
  const struct {
    const char* what;
    int x, y;
    std::uint32_t rgb;
  } expected[] = {
      {"relief fill: full white, not 4 x 63", 20, 20, 0xffffff},
      {"relief outline", 10, 20, 0x000000},
      {"map, below the threshold", 40, 5, 0xa07800},
      {"map, yellow sparkle", 41, 5, 0xfcfc48},
      {"map, white sparkle", 42, 5, 0xffffff},
      {"profile line", 50, 20, 0xfc2828},
  };
  for (const auto& e : expected)
    EXPECT_EQ(At(shot, e.x, e.y), e.rgb) << e.what;
}

// Sixteen indices, sixteen colours a user can tell apart by name: a blue that looks blue, its
// light partner lighter in the same hue, greys without a hue, black darkest and white lightest.
TEST_F(PalettePixelsTest, EveryIndexShowsItsOwnNamedColour) {
  for (std::int32_t index = 0; index < 16; ++index)
    DrawPixel(index, 0, index);
  const jheadless::Picture shot = Shot();
  std::set<std::uint32_t> seen;
  for (int x = 0; x < 16; ++x)
    seen.insert(At(shot, x, 0));
  EXPECT_EQ(seen.size(), 16u) << "two indices show the same colour";

  const auto colour = [&](std::int32_t index) { return At(shot, index, 0); };
  const struct {
    const char* name;
    std::int32_t dark, light;
    const char* hue;
  } pairs[] = {
      {"blue", Blue, LightBlue, "B"},           {"green", Green, LightGreen, "G"},
      {"cyan", Cyan, LightCyan, "GB"},          {"red", Red, LightRed, "R"},
      {"magenta", Magenta, LightMagenta, "RB"}, {"grey", DarkGray, LightGray, "RGB"},
  };
  for (const auto& p : pairs) {
    EXPECT_EQ(Hue(colour(p.dark)), p.hue) << p.name;
    EXPECT_EQ(Hue(colour(p.light)), p.hue) << "light " << p.name;
    EXPECT_GT(Brightness(colour(p.light)), Brightness(colour(p.dark))) << p.name;
  }
  EXPECT_EQ(Hue(colour(Yellow)), "RG");
  EXPECT_EQ(Hue(colour(Brown)), "RG");
  EXPECT_GT(Brightness(colour(Yellow)), Brightness(colour(Brown)));
  for (const std::int32_t grey : {DarkGray, LightGray, White}) {
    const std::uint32_t rgb = colour(grey);
    EXPECT_TRUE((rgb >> 16 & 0xff) == (rgb & 0xff) && (rgb >> 8 & 0xff) == (rgb & 0xff))
        << "index " << grey << " is not a neutral grey";
  }
  for (std::int32_t index = 0; index < 16; ++index) {
    if (index != Black) {
      EXPECT_LT(Brightness(colour(Black)), Brightness(colour(index))) << index;
    }
    if (index != White) {
      EXPECT_GT(Brightness(colour(White)), Brightness(colour(index))) << index;
    }
  }
}

}  // namespace
