// Our small-polygon rasteriser against QPainter: the same pixels, polygon after polygon.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "toolkit/CanvasImage.h"

namespace {

constexpr QRgb kWhite = 0xffffffffu, kBlack = 0xff000000u;

struct Shape {
  std::vector<int> xs, ys;
};

// Draws every shape as the layer's FillPolygon does, filled then outlined, on both paths, and
// returns how many pixels differ.
long DifferingPixels(const std::vector<Shape>& shapes, QSize size) {
  jqt::CanvasImage ours(size), painter(size);
  painter.SetSmallPolygons(false);
  for (jqt::CanvasImage* image : {&ours, &painter}) {
    for (const Shape& s : shapes) {
      const int n = static_cast<int>(s.xs.size());
      image->SetColor(kWhite);
      image->FillPolygon(n, s.xs.data(), s.ys.data());
      image->SetColor(kBlack);
      image->DrawPolygon(n, s.xs.data(), s.ys.data());
    }
  }
  const QImage& a = ours.Image();
  const QImage& b = painter.Image();
  long differing = 0;
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x)
      differing += a.pixel(x, y) != b.pixel(x, y);
  }
  return differing;
}

// Pixels QPainter sets for one shape, filled and outlined.
long DrawnPixels(const Shape& s, QSize size) {
  jqt::CanvasImage painter(size);
  painter.SetSmallPolygons(false);
  const int n = static_cast<int>(s.xs.size());
  painter.SetColor(kWhite);
  painter.FillPolygon(n, s.xs.data(), s.ys.data());
  painter.SetColor(kBlack);
  painter.DrawPolygon(n, s.xs.data(), s.ys.data());
  long drawn = 0;
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x)
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
long DifferingOneByOne(const std::vector<Shape>& shapes, QSize size) {
  long differing = 0;
  for (const Shape& s : shapes)
    differing += DifferingPixels({s}, size);
  return differing;
}

// Inside the canvas, every pixel is the one QPainter sets.
TEST(SmallPolygons, RandomPolygonsInsideTheCanvasMatchQPainterExactly) {
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
TEST(SmallPolygons, PolygonsAcrossTheEdgesDifferInVeryFewPixels) {
  const auto shapes = RandomShapes(2000, 2, 6, -20, 68, 3);
  long drawn = 0;
  for (const Shape& s : shapes)
    drawn += DrawnPixels(s, {48, 48});
  EXPECT_LT(DifferingOneByOne(shapes, {48, 48}) * 10000, drawn);
}

// A triangle takes a path of its own; the general one, given the same triangle with its last
// corner repeated, must fill the same pixels, inside the canvas and across its edges.
TEST(SmallPolygons, TrianglesFillAsTheGeneralPolygonDoes) {
  for (const auto& [low, high] : {std::pair{1, 46}, std::pair{-20, 68}, std::pair{-9000, 9000}}) {
    for (Shape& s : RandomShapes(3000, 3, 3, low, high, 7)) {
      jqt::CanvasImage triangle({48, 48}), general({48, 48});
      triangle.SetColor(kWhite);
      triangle.FillPolygon(3, s.xs.data(), s.ys.data());
      s.xs.push_back(s.xs.back());
      s.ys.push_back(s.ys.back());
      general.SetColor(kWhite);
      general.FillPolygon(4, s.xs.data(), s.ys.data());
      ASSERT_EQ(triangle.Image(), general.Image())
          << s.xs[0] << "," << s.ys[0] << " " << s.xs[1] << "," << s.ys[1] << " " << s.xs[2] << ","
          << s.ys[2];
    }
  }
}

TEST(SmallPolygons, SmallTrianglesDrawnOverEachOtherMatch) {
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

TEST(SmallPolygons, FarCoordinatesAndTheClampValueAreSafe) {
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
