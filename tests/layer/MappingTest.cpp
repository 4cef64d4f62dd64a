#include "layer/Mapping.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using layer::ScreenClampValue;
using layer::SetViewport;
using layer::SetWorldWindow;
using layer::WorldToScreenX;
using layer::WorldToScreenY;

constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t Min32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Max32 = std::numeric_limits<std::int32_t>::max();

// Every case starts from the mapping a program starts with: all zero.
class Mapping : public testing::Test {
 protected:
  void SetUp() override {
    SetViewport(0, 0, 0, 0);
    SetWorldWindow(0, 0, 0, 0);
  }
};

TEST_F(Mapping, BeforeAnySetUpEverythingMapsToZero) {
  for (const double v : {0.0, 1.0, -1e6, 1e300}) {
    EXPECT_EQ(WorldToScreenX(v), 0);
    EXPECT_EQ(WorldToScreenY(v), 0);
  }
}

struct Case {
  double world;
  std::int32_t pixel;
};

TEST_F(Mapping, WindowCornersLandOnViewportCorners) {
  SetViewport(50, 750, 50, 550);
  SetWorldWindow(0, 1000, 0, 1000);
  for (const auto& [x, column] : {Case{0, 50}, {1000, 750}, {500, 400}, {-100, -20}}) {
    EXPECT_EQ(WorldToScreenX(x), column) << x;
  }
  for (const auto& [y, row] : {Case{0, 550}, {1000, 50}, {500, 300}, {1100, 0}}) {
    EXPECT_EQ(WorldToScreenY(y), row) << y;
  }
}

TEST_F(Mapping, ExactHalvesRoundToEven) {
  SetViewport(0, 10, 0, 10);
  SetWorldWindow(0, 4, 0, 4);  // 2.5 pixels per unit
  for (const auto& [x, column] : {Case{1, 2}, {3, 8}, {-1, -2}, {-3, -8}, {0.2, 0}}) {
    EXPECT_EQ(WorldToScreenX(x), column) << x;
  }
  for (const auto& [y, row] : {Case{3, 2}, {1, 8}})
    EXPECT_EQ(WorldToScreenY(y), row) << y;
}

TEST_F(Mapping, PixelsOutsideTheIntegerRangeClampToTheLargestOnBothSides) {
  SetViewport(0, 1, 0, 1);
  SetWorldWindow(0, 1, 0, 1);  // one pixel per unit, x and pixel alike
  // clang-format off
  const Case cases[] = {
      {2147483646.5, 2147483646}, {-2147483646.5, -2147483646}, {2147483647.0, Max32},
      {-2147483647.0, ScreenClampValue}, {-2147483648.0, ScreenClampValue},
      {1e12, ScreenClampValue}, {-1e300, ScreenClampValue}, {Nan, ScreenClampValue}};
  // clang-format on
  for (const auto& [x, column] : cases)
    EXPECT_EQ(WorldToScreenX(x), column) << x;
  EXPECT_EQ(WorldToScreenY(-1e12), ScreenClampValue);
  EXPECT_EQ(WorldToScreenY(1e12), ScreenClampValue);
}

TEST_F(Mapping, ViewportSpanningTheWholeIntegerRangeDoesNotOverflow) {
  SetViewport(Min32, Max32, Max32, Min32);
  SetWorldWindow(0, 1, 0, 1);
  EXPECT_EQ(WorldToScreenX(0.5), 0);  // -0.5 to even
  EXPECT_EQ(WorldToScreenX(0), ScreenClampValue);
  EXPECT_EQ(WorldToScreenY(0.5), 0);
}

TEST_F(Mapping, ASecondViewportMovesThePictureButKeepsTheScale) {
  SetViewport(50, 750, 50, 550);
  SetWorldWindow(0, 1000, 0, 1000);
  SetViewport(0, 100, 10, 100);
  EXPECT_EQ(WorldToScreenX(0), 0);
  EXPECT_EQ(WorldToScreenX(1000), 700);
  EXPECT_EQ(WorldToScreenY(1000), 10);
  EXPECT_EQ(WorldToScreenY(0), 510);
}

TEST_F(Mapping, ZeroExtentCollapsesThatAxisOntoItsFirstPixel) {
  SetViewport(50, 750, 60, 550);
  SetWorldWindow(3, 3, 0, 1000);
  for (const double x : {3.0, -1e9, 1e300})
    EXPECT_EQ(WorldToScreenX(x), 50) << x;
  EXPECT_EQ(WorldToScreenY(0), 550);

  SetWorldWindow(0, 1000, 7, 7);
  EXPECT_EQ(WorldToScreenX(1000), 750);
  for (const double y : {7.0, 0.0, -1e300})
    EXPECT_EQ(WorldToScreenY(y), 60) << y;
}

}  // namespace
