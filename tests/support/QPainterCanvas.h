// The canvas's drawing calls through QPainter's aliased raster engine, as the canvas drew before
// it had a rasteriser of its own: the reference our rasteriser's pixels are held to.
#pragma once

#include <QImage>
#include <QPainter>
#include <vector>

#include "toolkit/Headless.h"

namespace testing_support {

class QPainterCanvas : public jheadless::DrawingTap {
 public:
  QPainterCanvas() = default;
  QPainterCanvas(int width, int height) { Start(width, height); }

  void Start(int width, int height) override;
  void SetColor(jraster::Rgb color) override { color_ = color | 0xff000000u; }
  void SetBackground(jraster::Rgb color) override { background_ = color | 0xff000000u; }
  void FillRect(int x, int y, int width, int height) override;
  void FillPolygon(int n, const int* xs, const int* ys) override;
  void DrawPolygon(int n, const int* xs, const int* ys) override;
  void DrawPixel(int x, int y) override;
  void DrawLine(int x1, int y1, int x2, int y2) override;

  /// Everything drawn so far, undrawn pixels transparent (0).
  const QImage& Image();
  /// The image over the background, 0xffRRGGBB, row by row.
  std::vector<jraster::Rgb> Picture();

 private:
  QPainter& Fill();
  QPainter& Stroke();
  void LoadPoints(int n, const int* xs, const int* ys);

  QImage image_;
  QPainter painter_;
  jraster::Rgb color_ = 0xff000000u, background_ = 0xff000000u;
  std::vector<QPoint> points_;
};

}  // namespace testing_support
