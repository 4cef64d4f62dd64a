#include "tests/support/QPainterCanvas.h"

#include <algorithm>

namespace testing_support {

void QPainterCanvas::Start(int width, int height) {
  if (painter_.isActive()) painter_.end();
  image_ = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
  image_.fill(Qt::transparent);
  color_ = background_ = 0xff000000u;
}

QPainter& QPainterCanvas::Fill() {
  if (!painter_.isActive()) painter_.begin(&image_);
  painter_.setPen(Qt::NoPen);
  painter_.setBrush(QColor::fromRgba(color_));
  return painter_;
}

QPainter& QPainterCanvas::Stroke() {
  if (!painter_.isActive()) painter_.begin(&image_);
  painter_.setPen(QPen(QColor::fromRgba(color_), 0));
  painter_.setBrush(Qt::NoBrush);
  return painter_;
}

void QPainterCanvas::LoadPoints(int n, const int* xs, const int* ys) {
  points_.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    points_[static_cast<std::size_t>(i)] = QPoint(xs[i], ys[i]);
}

// Opaque colours: filling is writing them, as the canvas always did.
void QPainterCanvas::FillRect(int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return;
  Image();
  const qint64 left = std::max<qint64>(x, 0), top = std::max<qint64>(y, 0);
  const qint64 right = std::min<qint64>(qint64{x} + width, image_.width());
  const qint64 bottom = std::min<qint64>(qint64{y} + height, image_.height());
  for (qint64 row = top; row < bottom; ++row) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(row)));
    for (qint64 column = left; column < right; ++column)
      line[column] = color_;
  }
}

void QPainterCanvas::FillPolygon(int n, const int* xs, const int* ys) {
  if (n < 3) return;
  LoadPoints(n, xs, ys);
  Fill().drawPolygon(points_.data(), n, Qt::OddEvenFill);
}

void QPainterCanvas::DrawPolygon(int n, const int* xs, const int* ys) {
  if (n < 1) return;
  LoadPoints(n, xs, ys);
  if (n == 1)
    Stroke().drawLine(points_[0], points_[0]);
  else
    Stroke().drawPolygon(points_.data(), n);
}

void QPainterCanvas::DrawPixel(int x, int y) {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
  Image();
  reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = color_;
}

void QPainterCanvas::DrawLine(int x1, int y1, int x2, int y2) {
  Stroke().drawLine(x1, y1, x2, y2);
}

const QImage& QPainterCanvas::Image() {
  if (painter_.isActive()) painter_.end();
  return image_;
}

std::vector<jraster::Rgb> QPainterCanvas::Picture() {
  const QImage& image = Image();
  std::vector<jraster::Rgb> picture;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x)
      picture.push_back(qAlpha(line[x]) ? line[x] : background_);
  }
  return picture;
}

}  // namespace testing_support
