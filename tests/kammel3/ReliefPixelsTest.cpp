// The relief drawn by our rasteriser against the same drawing calls through QPainter.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "kammel3/Relief.h"
#include "layer/Window.h"
#include "scenarios/Scenarios.h"
#include "tests/support/QPainterCanvas.h"
#include "toolkit/Headless.h"

namespace {

struct Pictures {
  jheadless::Picture ours;
  std::vector<jraster::Rgb> painter;
};

Pictures Relief(const model3d::RippleParams& params) {
  testing_support::QPainterCanvas painter;
  jheadless::SetDrawingTap(&painter);
  jheadless::SetCanvasSize(800, 600);
  layer::OpenProgramWindow();
  const auto bed = std::make_unique<kammel3::Bed>();
  kammel3::SetUpRelief(*bed, params);
  bed->random.state = 20261208;
  model3d::RunBatch(*bed);
  kammel3::RedrawRelief(*bed);
  Pictures pictures;
  jheadless::CanvasPicture(pictures.ours);
  pictures.painter = painter.Picture();
  layer::CloseProgramWindow();
  jheadless::SetDrawingTap(nullptr);
  return pictures;
}

// Every pixel the same (white shows only where triangles are larger than their outlines: on the
// largest bed the outlines cover everything, and the relief is black on black). These beds'
// outlines all lie inside the canvas, where the two rasterisers agree exactly.
void ExpectReliefsAgree(const model3d::RippleParams& params, const char* name, long minWhite) {
  const Pictures pictures = Relief(params);
  const auto& ours = pictures.ours.rgb;
  const auto& painter = pictures.painter;
  ASSERT_EQ(ours.size(), painter.size());
  long differing = 0, white = 0;
  for (std::size_t n = 0; n < ours.size(); ++n) {
    differing += ours[n] != (painter[n] & 0xffffffu);
    white += painter[n] == 0xffffffffu;
  }
  std::printf("%s relief: %ld of %zu pixels differ (%ld white)\n", name, differing, ours.size(),
              white);
  testing::Test::RecordProperty(std::string(name) + "_differing", std::to_string(differing));
  EXPECT_GE(white, minWhite) << "the relief is drawn";
  EXPECT_EQ(differing, 0);
}

TEST(ReliefPixels, DefaultBedAsQPainterDrawsIt) {
  ExpectReliefsAgree(scenarios::kReliefDefaults, "default", 10000);
}

TEST(ReliefPixels, LargestBedAsQPainterDrawsIt) {
  ExpectReliefsAgree({999, 499, 20, 2.0, 5.0, 1}, "largest", 0);
}

TEST(ReliefPixels, MiddleBedAsQPainterDrawsIt) {
  ExpectReliefsAgree({120, 60, 20, 2.0, 5.0, 1}, "middle", 10000);
}

}  // namespace
