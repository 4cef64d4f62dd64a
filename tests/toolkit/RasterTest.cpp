// Our rasteriser against QPainter: the same pixels, polygon after polygon, line after line.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/QPainterCanvas.h"
#include "toolkit/raster/CanvasImage.h"

namespace {

using jraster::CanvasImage;
using jraster::Rgb;
using testing_support::QPainterCanvas;

constexpr Rgb kWhite = 0xffffffffu, kBlack = 0xff000000u;

struct Shape {
  std::vector<int> xs, ys;
};

// Draws every shape as the layer's FillPolygon does, filled then outlined, on both paths, and
// returns how many pixels differ.
struct Size {
  int width, height;
};

// Pixels that differ between the two images, transparency included.
long Differing(const CanvasImage& ours, QPainterCanvas& painter, Size size) {
  const QImage& theirs = painter.Image();
  long differing = 0;
  for (int y = 0; y < size.height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(theirs.constScanLine(y));
    const Rgb* own = ours.Pixels() + y * ours.Width();
    for (int x = 0; x < size.width; ++x)
      differing += own[x] != line[x];
  }
  return differing;
}

// Draws every shape as the layer's FillPolygon does, filled then outlined, on both
// rasterisers, and returns how many pixels differ.
long DifferingPixels(const std::vector<Shape>& shapes, Size size) {
  CanvasImage ours(size.width, size.height);
  QPainterCanvas painter(size.width, size.height);
  for (const Shape& s : shapes) {
    const int n = static_cast<int>(s.xs.size());
    ours.SetColor(kWhite);
    painter.SetColor(kWhite);
    ours.FillPolygon(n, s.xs.data(), s.ys.data());
    painter.FillPolygon(n, s.xs.data(), s.ys.data());
    ours.SetColor(kBlack);
    painter.SetColor(kBlack);
    ours.DrawPolygon(n, s.xs.data(), s.ys.data());
    painter.DrawPolygon(n, s.xs.data(), s.ys.data());
  }
  return Differing(ours, painter, size);
}

// Pixels QPainter sets for one shape, filled and outlined.
long DrawnPixels(const Shape& s, Size size) {
  QPainterCanvas painter(size.width, size.height);
  const int n = static_cast<int>(s.xs.size());
  painter.SetColor(kWhite);
  painter.FillPolygon(n, s.xs.data(), s.ys.data());
  painter.SetColor(kBlack);
  painter.DrawPolygon(n, s.xs.data(), s.ys.data());
  long drawn = 0;
  for (int y = 0; y < size.height; ++y) {
    for (int x = 0; x < size.width; ++x)
      drawn += qAlpha(painter.Image().pixel(x, y)) != 0;
  }
  return drawn;
}

std::vector<Shape> RandomShapes(int count, int minPoints, int maxPoints, int low, int high,
                                unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> coordinate(low, high), points(minPoints, maxPoints);
  std::vector<Shape> shapes(static_cast<std::size_t>(count));
  for (Shape& s : shapes) {
    const int n = points(random);
    for (int i = 0; i < n; ++i) {
      s.xs.push_back(coordinate(random));
      s.ys.push_back(coordinate(random));
    }
  }
  return shapes;
}

// One shape a canvas, so that every pixel either path draws is compared.
long DifferingOneByOne(const std::vector<Shape>& shapes, Size size) {
  long differing = 0;
  for (const Shape& s : shapes)
    differing += DifferingPixels({s}, size);
  return differing;
}

// Inside the canvas, every pixel is the one QPainter sets.
TEST(Raster, RandomPolygonsInsideTheCanvasMatchQPainterExactly) {
  const struct {
    int minPoints, maxPoints, low, high;
    unsigned seed;
  } cases[] = {
      {3, 3, 1, 46, 1},   // triangles
      {4, 8, 1, 46, 2},   // larger polygons
      {3, 3, 10, 14, 5},  // tiny ones, often degenerate
      {2, 2, 1, 46, 6},   // two points: a line there and back
  };
  for (const auto& c : cases) {
    const auto shapes = RandomShapes(2000, c.minPoints, c.maxPoints, c.low, c.high, c.seed);
    EXPECT_EQ(DifferingOneByOne(shapes, {48, 48}), 0) << "seed " << c.seed;
  }
}

// Where an outline is cut at the canvas's edge, its end may fall a pixel apart from
// QPainter's: QPainter cuts in reals, then rounds.
TEST(Raster, PolygonsAcrossTheEdgesDifferInVeryFewPixels) {
  const auto shapes = RandomShapes(2000, 2, 6, -20, 68, 3);
  long drawn = 0;
  for (const Shape& s : shapes)
    drawn += DrawnPixels(s, {48, 48});
  EXPECT_LT(DifferingOneByOne(shapes, {48, 48}) * 10000, drawn);
}

// A triangle takes a path of its own; the general one, given the same triangle with its last
// corner repeated, must fill the same pixels, inside the canvas and across its edges.
TEST(Raster, TrianglesFillAsTheGeneralPolygonDoes) {
  for (const auto& [low, high] : {std::pair{1, 46}, std::pair{-20, 68}, std::pair{-9000, 9000}}) {
    for (Shape& s : RandomShapes(3000, 3, 3, low, high, 7)) {
      CanvasImage triangle(48, 48), general(48, 48);
      triangle.SetColor(kWhite);
      triangle.FillPolygon(3, s.xs.data(), s.ys.data());
      s.xs.push_back(s.xs.back());
      s.ys.push_back(s.ys.back());
      general.SetColor(kWhite);
      general.FillPolygon(4, s.xs.data(), s.ys.data());
      ASSERT_TRUE(std::equal(triangle.Pixels(), triangle.Pixels() + 48 * 48, general.Pixels()))
          << s.xs[0] << "," << s.ys[0] << " " << s.xs[1] << "," << s.ys[1] << " " << s.xs[2] << ","
          << s.ys[2];
    }
  }
}

TEST(Raster, SmallTrianglesDrawnOverEachOtherMatch) {
  std::vector<Shape> relief;
  std::mt19937 random(4);
  std::uniform_int_distribution<int> corner(0, 95), offset(-3, 3);
  for (int n = 0; n < 20000; ++n) {
    const int x = corner(random), y = corner(random);
    relief.push_back(
        {{x, x + offset(random), x + offset(random)}, {y, y + offset(random), y + offset(random)}});
  }
  EXPECT_EQ(DifferingPixels(relief, {100, 100}), 0);
}

TEST(Raster, FarCoordinatesAndTheClampValueAreSafe) {
  const int far = 2147483647;
  const std::vector<Shape> shapes = {
      {{far, far, far}, {far, far, far}},
      {{-far, 10, far}, {5, far, -far}},
      {{10, 40000, 20}, {10, 20, -40000}},
      {{3, 3}, {4, 9}},
      {{5, 5, 5}, {5, 5, 5}},
  };
  EXPECT_EQ(DifferingOneByOne(shapes, {48, 48}), 0);
}

}  // namespace

namespace {

// Large shapes, as a relief seen from close by or the canvas's clearing draw them: polygons of
// any size and vertex count, coordinates far beyond the canvas included.
TEST(Raster, LargePolygonsMatchQPainterExactly) {
  const struct {
    int minPoints, maxPoints, low, high;
    unsigned seed;
  } cases[] = {
      {3, 3, -900, 1700, 11},         // triangles over the whole canvas and beyond
      {4, 12, -300, 1100, 12},        // polygons crossing every edge
      {101, 400, 0, 799, 13},         // more vertices than the layer passes
      {3, 6, -200000, 200000, 14},    // far beyond the canvas
      {3, 5, -6000000, 6000000, 15},  // beyond the rasteriser's reach: cut first
  };
  for (const auto& c : cases) {
    const auto shapes = RandomShapes(60, c.minPoints, c.maxPoints, c.low, c.high, c.seed);
    long differing = 0;
    for (const Shape& s : shapes) {
      CanvasImage ours(800, 600);
      QPainterCanvas painter(800, 600);
      const int n = static_cast<int>(s.xs.size());
      ours.SetColor(kWhite);
      painter.SetColor(kWhite);
      ours.FillPolygon(n, s.xs.data(), s.ys.data());
      painter.FillPolygon(n, s.xs.data(), s.ys.data());
      differing += Differing(ours, painter, {800, 600});
    }
    EXPECT_EQ(differing, 0) << "seed " << c.seed;
  }
}

// Lines as the profile draws them, joined end to end, and single ones of every slope, inside
// the canvas and across its edges; a point is a line too.
TEST(Raster, LinesMatchQPainterExactly) {
  const struct {
    int low, high, count;
    bool joined;
    unsigned seed;
  } cases[] = {
      {0, 799, 400, true, 21},       // a polyline across the canvas
      {300, 320, 400, true, 22},     // short steps, often repeating a point
      {0, 599, 600, false, 23},      // single lines inside
      {-400, 1200, 600, false, 24},  // crossing the edges
      {-100000, 100000, 300, false, 25},
  };
  for (const auto& c : cases) {
    std::mt19937 random(c.seed);
    std::uniform_int_distribution<int> coordinate(c.low, c.high);
    CanvasImage ours(800, 600);
    QPainterCanvas painter(800, 600);
    long differing = 0;
    int x = coordinate(random), y = coordinate(random);
    for (int n = 0; n < c.count; ++n) {
      const int x2 = coordinate(random), y2 = coordinate(random);
      ours.SetColor(n % 2 ? kWhite : kBlack);
      painter.SetColor(n % 2 ? kWhite : kBlack);
      ours.DrawLine(x, y, x2, y2);
      painter.DrawLine(x, y, x2, y2);
      if (!c.joined) {
        differing += Differing(ours, painter, {800, 600});
        ours = CanvasImage(800, 600);
        painter.Start(800, 600);
      }
      x = c.joined ? x2 : coordinate(random);
      y = c.joined ? y2 : coordinate(random);
    }
    differing += Differing(ours, painter, {800, 600});
    EXPECT_EQ(differing, 0) << "seed " << c.seed;
  }
}

}  // namespace
