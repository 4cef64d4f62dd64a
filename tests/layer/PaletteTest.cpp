#include "layer/Palette.h"

#include <gtest/gtest.h>

#include <vector>

#include "layer/Window.h"
#include "tests/support/FakeToolkit.h"

namespace {

using Calls = std::vector<std::string>;
using namespace layer;

constexpr int TestCanvas = 7;

class PaletteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    GraphicsWindow = {};
    GraphicsWindow.Canvas = TestCanvas;
    InitPalette();
    FillColour = OutlineColour = 0;
  }
};

bool operator==(const PaletteEntry& a, const PaletteEntry& b) {
  return a.R == b.R && a.G == b.G && a.B == b.B;
}

TEST_F(PaletteTest, SetPaletteEntryIgnoresIndicesOutsideThePalette) {
  SetPaletteEntry(16, 1, 2, 3);
  SetPaletteEntry(-1, 1, 2, 3);
  EXPECT_TRUE(Palette[0] == (PaletteEntry{0, 0, 0}));
  EXPECT_TRUE(Palette[15] == (PaletteEntry{255, 255, 255}));
  SetPaletteEntry(3, 1, 2, 300);  // stored as given
  EXPECT_TRUE(Palette[3] == (PaletteEntry{1, 2, 300}));
}

TEST_F(PaletteTest, ClearCanvasFillsOnePixelBeyondTheCurrentSize) {
  fake::Script().widths[TestCanvas] = 800;
  fake::Script().heights[TestCanvas] = 600;
  ClearCanvas(Brown);
  EXPECT_EQ(fake::Record().calls,
            (Calls{"J_setnamedcolorbg(7, 6)", "J_setcolor(7, 160, 120, 0)", "J_getwidth(7)",
                   "J_getheight(7)", "J_fillrect(7, 0, 0, 801, 601)"}));
}

TEST_F(PaletteTest, FillPolygonFillsThenOutlines) {
  const ScreenPoint triangle[] = {{1, 2}, {30, 4}, {5, 60}};
  SetFillColours(3, White, LightRed);
  FillPolygon(3, triangle);
  EXPECT_EQ(fake::Record().calls,
            (Calls{"J_setcolor(7, 255, 255, 255)", "J_fillpolygon(7, 3, [1 30 5], [2 4 60])",
                   "J_setcolor(7, 252, 40, 40)", "J_drawpolygon(7, 3, [1 30 5], [2 4 60])"}));
}

TEST_F(PaletteTest, FillPolygonDrawsAtMostMaxPolygonPoints) {
  std::vector<ScreenPoint> points(MaxPolygonPoints + 1);
  for (int i = 0; i <= MaxPolygonPoints; ++i)
    points[i] = {i, 1000 - i};

  FillPolygon(MaxPolygonPoints, points.data());
  const auto fills = fake::CallsStartingWith("J_fillpolygon(7, 100, [0 1 2 ");
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_NE(fills[0].find(" 99], [1000 999 "), std::string::npos);
  EXPECT_EQ(fake::CallsStartingWith("J_drawpolygon(7, 100, ").size(), 1u);

  fake::Reset();
  FillPolygon(MaxPolygonPoints + 1, points.data());
  EXPECT_TRUE(fake::Record().calls.empty());
}

TEST_F(PaletteTest, FillPolygonPassesAnEmptyCountOn) {
  FillPolygon(0, nullptr);
  EXPECT_EQ(fake::Record().calls, (Calls{"J_setcolor(7, 0, 0, 0)", "J_fillpolygon(7, 0, [], [])",
                                         "J_setcolor(7, 0, 0, 0)", "J_drawpolygon(7, 0, [], [])"}));
}

TEST_F(PaletteTest, PixelAndLineSetTheirOwnColour) {
  ClearCanvas(White);
  fake::Reset();
  DrawPixel(3, 4, Yellow);
  DrawLine(1, 2, 799, 599, LightRed);
  EXPECT_EQ(fake::Record().calls,
            (Calls{"J_setnamedcolor(7, 14)", "J_setcolor(7, 252, 252, 72)", "J_drawpixel(7, 3, 4)",
                   "J_setcolor(7, 252, 40, 40)", "J_drawline(7, 1, 2, 799, 599)"}));
}

TEST_F(PaletteTest, ColourOutsideThePaletteDrawsBlack) {
  for (const std::int32_t bad : {16, -1, 1000000}) {
    fake::Reset();
    ClearCanvas(bad);
    DrawPixel(0, 0, bad);
    DrawLine(0, 0, 1, 1, bad);
    SetFillColours(0, bad, bad);
    FillPolygon(0, nullptr);
    const auto colours = fake::CallsStartingWith("J_setcolor");
    ASSERT_EQ(colours.size(), 5u);
    for (const auto& call : colours)
      EXPECT_EQ(call, "J_setcolor(7, 0, 0, 0)") << bad;
    EXPECT_EQ(fake::CallsStartingWith("J_setnamedcolor")[0], "J_setnamedcolorbg(7, 0)");
    EXPECT_EQ(fake::CallsStartingWith("J_setnamedcolor(")[0], "J_setnamedcolor(7, 0)");
  }
}

}  // namespace
