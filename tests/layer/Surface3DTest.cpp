#include "layer/Surface3D.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "layer/KeyQueue.h"
#include "layer/Palette.h"
#include "layer/Window.h"
#include "tests/support/FakeToolkit.h"

namespace {

using layer::PlotSurface;
using layer::Project3D;
using layer::SetScreenBox;
using layer::SetView3D;

constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr char EscapeKey = 27;

std::vector<std::pair<double, double>> samples;
double heightValue = 0;

double RecordingHeight(double x, double y) {
  samples.emplace_back(x, y);
  return heightValue;
}

// Heights that no bed has; the plot must still draw every triangle without a fault.
double WildHeight(double x, double y) {
  const double values[] = {Nan, Inf, -Inf, 1e300, -1e300, 0, 1};
  return values[static_cast<unsigned>(x * 3 + y * 5) % 7];
}

std::vector<std::string> Triangles() {
  return fake::CallsStartingWith("J_fillpolygon(");
}

std::string Triangle(const std::string& xs, const std::string& ys) {
  return "J_fillpolygon(" + std::to_string(layer::GraphicsWindow.Canvas) + ", 3, [" + xs + "], [" +
         ys + "])";
}

class Surface3D : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    layer::InitPalette();
    layer::KeyQueue.clear();
    samples.clear();
    heightValue = 0;
  }
};

// A plot in a box of 10 pixels centred on (100, 100); by default a flat 3 x 2 grid seen from
// above, x to the right and y up.
struct Args {
  double xmin = 0, xmax = 2, ymin = 0, ymax = 1, zmin = 0, zmax = 1, alpha = 0, beta = -90;
  double dx = 1, dy = 1;
  layer::HeightFunction height = RecordingHeight;
  bool shaded = false, hideEdges = false;
  double lightX = 0, lightY = 0, lightZ = 1;
};

void Plot(const Args& a) {
  PlotSurface({10,     10,       10,       100,         100,      a.xmin,   a.xmax,
               a.ymin, a.ymax,   a.zmin,   a.zmax,      a.alpha,  a.beta,   a.dx,
               a.dy,   a.height, a.shaded, a.hideEdges, a.lightX, a.lightY, a.lightZ});
}

TEST_F(Surface3D, OddBoxSizesGiveTheBoxOfTheEvenSizeBelow) {
  for (const std::int32_t size : {400, 401}) {
    SetScreenBox(size, size, size, 0, 0);
    SetView3D(0, 10, 0, 10, 0, 10, 0, 0);
    EXPECT_EQ(layer::BoxX(0), -200);
    EXPECT_EQ(layer::BoxX(10), 200);
    EXPECT_EQ(layer::BoxY(10), 200);
    EXPECT_EQ(layer::BoxZ(10), -200);  // turned over: the top is the lower coordinate
    EXPECT_EQ(layer::BoxZ(0), 200);
  }
}

TEST_F(Surface3D, BoxCentreLandsOnTheCanvasCentreFromAnyView) {
  const std::pair<double, double> views[] = {{25, -30}, {0, 0}, {90, 45}, {-170, 80}};
  for (const auto& [alpha, beta] : views) {
    SetScreenBox(400, 400, 400, 400, 150);
    SetView3D(0, 300, 0, 30, 0, 320, alpha, beta);
    std::int32_t px = 0, py = 0;
    Project3D(150, 15, 160, px, py);
    EXPECT_EQ(px, 400) << alpha << ", " << beta;
    EXPECT_EQ(py, 150) << alpha << ", " << beta;
  }
}

TEST_F(Surface3D, SideViewShowsLargerHeightsHigherUp) {
  SetScreenBox(400, 400, 400, 400, 150);
  SetView3D(0, 300, 0, 30, 0, 320, 0, 0);
  std::int32_t px = 0, top = 0, bottom = 0;
  Project3D(300, 0, 320, px, top);
  EXPECT_EQ(px, 600);
  Project3D(0, 0, 0, px, bottom);
  EXPECT_EQ(px, 200);
  EXPECT_EQ(top, -50);
  EXPECT_EQ(bottom, 350);
}

TEST_F(Surface3D, FarOffPointsClampOnTheirOwnSide) {
  SetScreenBox(400, 400, 400, 2147483000, -2147483000);
  SetView3D(0, 1e-3, 0, 1, 0, 1, 0, 0);
  std::int32_t px = 0, py = 0;
  Project3D(1e300, 0, 1e300, px, py);
  EXPECT_EQ(px, 2147483647);
  EXPECT_EQ(py, -2147483647);
  Project3D(-1e300, 0, Nan, px, py);
  EXPECT_EQ(px, -2147483647);
  EXPECT_EQ(py, 2147483647);
  Project3D(1, 0, 0, px, py);  // in range before the centre is added, beyond it afterwards
  EXPECT_EQ(px, 2147483647);
}

TEST_F(Surface3D, ShadeLevelIsSixteenTimesTheSquaredCosine) {
  const double h = std::sqrt(0.5);
  const struct {
    double nx, ny, nz, lx, ly, lz;
    std::int32_t level;
  } cases[] = {{0, 0, 2, 0, 0, 1, 16},
               {0, 0, -2, 0, 0, 1, 0},
               {1, 0, 0, 0, 0, 1, 0},  // along, back, across
               {1, 0, 1, h, 0, h, 16},
               {1, 0, 1, 0, 0, 1, 8},
               {1, 0, std::sqrt(3), 0, 0, 1, 12},
               {0, 0, 0, 0, 0, 1, 0},
               {Nan, 0, 1, 0, 0, 1, 0},
               {Inf, 0, 1, h, 0, h, 0},
               {1e300, 0, 1e300, h, 0, h, 16}};
  for (const auto& c : cases) {
    EXPECT_EQ(layer::ShadeLevel(c.nx, c.ny, c.nz, c.lx, c.ly, c.lz), c.level)
        << c.nx << " " << c.ny << " " << c.nz;
  }
}

TEST_F(Surface3D, DrawsTwoTrianglesPerCellInVertexOrder) {
  Plot({});
  const std::vector<std::string> expected = {
      Triangle("95 100 95", "95 95 105"),      // cell 0, T2: old 0, old 1, new 0
      Triangle("100 100 95", "105 95 105"),    // cell 0, T1: new 1, old 1, new 0
      Triangle("100 105 100", "95 95 105"),    // cell 1, T2
      Triangle("105 105 100", "105 95 105")};  // cell 1, T1
  EXPECT_EQ(Triangles(), expected);
}

TEST_F(Surface3D, ClearsOnceThenFillsWhiteWithBlackOutlinesWhenShaded) {
  Plot({.xmax = 1, .shaded = true});
  ASSERT_EQ(fake::CallsStartingWith("J_fillrect(").size(), 1u);
  const auto& calls = fake::Record().calls;
  std::size_t fills = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].rfind("J_fillpolygon(", 0) != 0) continue;
    ++fills;
    ASSERT_LT(i + 2, calls.size());
    EXPECT_NE(calls[i - 1].find(", 255, 255, 255)"), std::string::npos) << calls[i - 1];
    EXPECT_NE(calls[i + 1].find(", 0, 0, 0)"), std::string::npos) << calls[i + 1];
  }
  EXPECT_EQ(fills, 2u);
}

TEST_F(Surface3D, HiddenEdgesAndUnshadedPlotsOutlineInWhite) {
  for (const Args& args : {Args{.xmax = 1, .shaded = true, .hideEdges = true}, Args{.xmax = 1}}) {
    fake::Reset();
    Plot(args);
    const auto colours = fake::CallsStartingWith("J_setcolor(");
    ASSERT_EQ(colours.size(), 5u);  // the clear, then fill and outline of two triangles
    for (std::size_t i = 1; i < colours.size(); ++i) {
      EXPECT_NE(colours[i].find(", 255, 255, 255)"), std::string::npos) << colours[i];
    }
  }
}

TEST_F(Surface3D, SamplesEveryNodeOnceFromTheBackRowForward) {
  Plot({.xmax = 1, .ymax = 2});
  const std::vector<std::pair<double, double>> expected = {{0, 2}, {1, 2}, {0, 1},
                                                           {1, 1}, {0, 0}, {1, 0}};
  EXPECT_EQ(samples, expected);
  const auto triangles = Triangles();
  ASSERT_EQ(triangles.size(), 4u);
  EXPECT_EQ(triangles[0], Triangle("95 105 95", "95 95 100"));  // the back strip first
  EXPECT_EQ(triangles[2], Triangle("95 105 95", "100 100 105"));
}

TEST_F(Surface3D, GridShapesGiveTwoTrianglesPerCell) {
  const struct {
    Args args;
    std::size_t nodes, triangles;
  } cases[] = {{{}, 6, 4},
               {{.xmax = 4, .ymax = 3}, 20, 24},
               {{.xmax = 1, .dx = 0.5, .dy = 0.25}, 15, 16},
               {{.xmax = 0.5, .ymax = 3}, 4, 0},  // one column draws nothing
               {{.ymin = 1, .ymax = 0}, 3, 0},    // ymax <= ymin: the back row only
               {{.ymin = 1, .ymax = 1.5}, 6, 4},  // the last row lies below ymin
               {{.xmax = 1000}, 2002, 2000},      // 1001 columns, as many as there is room for
               {{.xmax = 999}, 2000, 1998}};      // the longest relief bed
  for (const auto& c : cases) {
    samples.clear();
    fake::Reset();
    Plot(c.args);
    EXPECT_EQ(samples.size(), c.nodes) << c.args.xmax << " " << c.args.ymax;
    EXPECT_EQ(Triangles().size(), c.triangles) << c.args.xmax << " " << c.args.ymax;
  }
}

TEST_F(Surface3D, WildHeightsStillDrawEveryTriangle) {
  for (const bool shaded : {true, false}) {
    fake::Reset();
    PlotSurface({400, 400, 400, 400, 150,        0,      6,     0,   4, 0, 10,
                 25,  -30, 1,   1,   WildHeight, shaded, false, -50, 1, 10});
    EXPECT_EQ(Triangles().size(), 48u);
  }
}

// Whole heights, fractions, negatives and heights past any table: every vertex lands where
// Project3D puts its node, whatever shortcut the plot takes for the common ones.
double MixedHeight(double x, double y) {
  const double values[] = {0, 1, 37, 4095, 4096, 5000.5, -3, 2.5, 1e6, 0.1, 620};
  return values[static_cast<unsigned>(x * 7 + y * 3) % 11];
}

TEST_F(Surface3D, EveryVertexIsItsNodesProjection) {
  constexpr int kColumns = 9, kRows = 7;
  PlotSurface({400, 400, 400, 400, 150,         0,    kColumns - 1, 0,   kRows - 1, 0, 700,
               25,  -30, 1,   1,   MixedHeight, true, false,        -50, 1,         10});
  SetScreenBox(400, 400, 400, 400, 150);
  SetView3D(0, kColumns - 1, 0, kRows - 1, 0, 700, 25, -30);
  const auto node = [](int x, int y) {
    std::int32_t px = 0, py = 0;
    Project3D(x, y, MixedHeight(x, y), px, py);
    return std::pair(px, py);
  };
  const auto triangle = [&](std::pair<int, int> a, std::pair<int, int> b, std::pair<int, int> c) {
    const auto [ax, ay] = node(a.first, a.second);
    const auto [bx, by] = node(b.first, b.second);
    const auto [cx, cy] = node(c.first, c.second);
    return Triangle(std::to_string(ax) + " " + std::to_string(bx) + " " + std::to_string(cx),
                    std::to_string(ay) + " " + std::to_string(by) + " " + std::to_string(cy));
  };
  std::vector<std::string> expected;
  for (int y = kRows - 2; y >= 0; --y) {  // old row y + 1, new row y
    for (int i = 0; i < kColumns; ++i) {
      if (i > 0) expected.push_back(triangle({i, y}, {i, y + 1}, {i - 1, y}));
      if (i < kColumns - 1) expected.push_back(triangle({i, y + 1}, {i + 1, y + 1}, {i, y}));
    }
  }
  EXPECT_EQ(Triangles(), expected);
}

TEST_F(Surface3D, RefusesUnusableArgumentsWithoutAnyCall) {
  // clang-format off
  const Args refused[] = {
      {.xmax = 0}, {.ymax = 0}, {.zmax = 0},  // empty ranges
      {.xmax = Nan}, {.ymin = -Inf}, {.zmax = Inf}, {.alpha = Nan}, {.beta = Inf},
      {.dx = 0}, {.dx = -1}, {.dy = 0}, {.dy = Nan}, {.height = nullptr},
      {.xmax = 1001},                      // 1002 columns
      {.xmin = 1e17, .xmax = 1e17 + 64},   // x + 1 == x: the columns would never end
      {.ymax = 1e17},                      // y - 1 == y: nor would the rows
      {.ymax = 2e6},                       // two million rows
      {.shaded = true, .lightZ = 0}, {.shaded = true, .lightX = Inf}};
  // clang-format on
  for (std::size_t i = 0; i < std::size(refused); ++i) {
    fake::Reset();
    samples.clear();
    Plot(refused[i]);
    EXPECT_TRUE(fake::Record().calls.empty()) << "case " << i;
    EXPECT_TRUE(samples.empty()) << "case " << i;
  }
}

TEST_F(Surface3D, AnUnshadedPlotIgnoresTheLight) {
  Plot({.lightZ = 0});
  EXPECT_EQ(Triangles().size(), 4u);
}

TEST_F(Surface3D, EscapeInTheQueueStopsAfterTheBackRow) {
  layer::KeyQueue = std::string(1, EscapeKey);
  Plot({.ymax = 3});
  EXPECT_EQ(samples.size(), 3u);
  EXPECT_TRUE(Triangles().empty());
  EXPECT_TRUE(layer::KeyQueue.empty());
}

TEST_F(Surface3D, OtherKeysAreDroppedOneRowAtATime) {
  layer::KeyQueue = std::string{'a', EscapeKey};
  Plot({.ymax = 3});
  EXPECT_EQ(samples.size(), 6u);
  EXPECT_EQ(Triangles().size(), 4u);
  EXPECT_TRUE(layer::KeyQueue.empty());
}

}  // namespace
