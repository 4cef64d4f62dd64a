#include "toolkit/CanvasImage.h"

#include <algorithm>

#include "toolkit/SmallPolygons.h"

namespace jqt {

const QRgb kNamedColours[16] = {
    qRgb(0, 0, 0),       qRgb(0, 0, 160),   qRgb(0, 160, 0),    qRgb(0, 160, 160),
    qRgb(160, 28, 28),   qRgb(160, 0, 160), qRgb(160, 120, 0),  qRgb(196, 196, 196),
    qRgb(104, 104, 104), qRgb(0, 0, 252),   qRgb(36, 252, 36),  qRgb(0, 252, 252),
    qRgb(252, 40, 40),   qRgb(176, 0, 252), qRgb(252, 252, 72), qRgb(255, 255, 255),
};

namespace {

// More vertices than this are taken for a caller's mistake and draw nothing.
constexpr int kMaxVertices = 1 << 20;

}  // namespace

CanvasImage::CanvasImage(QSize size) : background_(kNamedColours[0]) {
  Fit(size);
}

CanvasImage::~CanvasImage() {
  End();
}

bool CanvasImage::FillRect(int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return false;
  const qint64 left = std::max<qint64>(x, 0), top = std::max<qint64>(y, 0);
  const qint64 right = std::min<qint64>(qint64{x} + width, width_);
  const qint64 bottom = std::min<qint64>(qint64{y} + height, height_);
  if (left >= right || top >= bottom || !Open()) return false;
  // The colour is opaque, so filling is writing it: no blending, and QPainter's set-up saved.
  if (left == 0 && top == 0 && right == width_ && bottom == height_) opaque_ = true;
  for (qint64 y = top; y < bottom; ++y) {
    auto* line = reinterpret_cast<QRgb*>(bits_ + y * stride_);
    std::fill(line + left, line + right, color_);
  }
  return true;
}

bool CanvasImage::FillPolygon(int n, const int* xs, const int* ys) {
  if (n < 3) return false;
  if (smallPolygons_ && IsSmallPolygon(n, xs, ys) && Open()) {
    FillSmallPolygon({bits_, stride_, width_, height_}, n, xs, ys, color_);
    return true;
  }
  if (!LoadPoints(n, xs, ys)) return false;
  QPainter* painter = PainterFor(PainterMode::Fill);
  if (painter) painter->drawPolygon(points_.data(), n, Qt::OddEvenFill);
  return painter != nullptr;
}

bool CanvasImage::DrawPolygon(int n, const int* xs, const int* ys) {
  if (n < 1) return false;
  if (n >= 2 && smallPolygons_ && IsSmallPolygon(n, xs, ys) && Open()) {
    OutlineSmallPolygon({bits_, stride_, width_, height_}, n, xs, ys, color_);
    return true;
  }
  if (!LoadPoints(n, xs, ys)) return false;
  QPainter* painter = PainterFor(PainterMode::Stroke);
  if (!painter) return false;
  if (n == 1) {
    painter->drawLine(points_[0], points_[0]);
  } else {
    painter->drawPolygon(points_.data(), n);
  }
  return true;
}

bool CanvasImage::DrawPixel(int x, int y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || !Open()) return false;
  reinterpret_cast<QRgb*>(bits_ + y * stride_)[x] = color_;
  return true;
}

bool CanvasImage::DrawLine(int x1, int y1, int x2, int y2) {
  QPainter* painter = PainterFor(PainterMode::Stroke);
  if (painter) painter->drawLine(x1, y1, x2, y2);
  return painter != nullptr;
}

void CanvasImage::Fit(QSize size) {
  const QSize shown = size.expandedTo({1, 1}).boundedTo({kMaxSide, kMaxSide});
  QSize target = shown.expandedTo({width_, height_});
  const qint64 kept = qint64{width_} * height_;
  if (kept > 2 * qint64{shown.width()} * shown.height()) target = shown;
  if (target == QSize(width_, height_)) return;
  End();
  QImage fitted(target, QImage::Format_ARGB32_Premultiplied);
  if (fitted.isNull()) return;
  fitted.fill(Qt::transparent);
  if (!image_.isNull()) {
    QPainter copy(&fitted);
    copy.setCompositionMode(QPainter::CompositionMode_Source);
    copy.drawImage(0, 0, image_);
  }
  image_ = std::move(fitted);
  opaque_ = opaque_ && target.width() <= width_ && target.height() <= height_;
  width_ = target.width();
  height_ = target.height();
}

const QImage& CanvasImage::Image() {
  End();
  return image_;
}

QImage CanvasImage::Picture(QSize size) {
  End();
  QImage picture(size, QImage::Format_RGB32);
  picture.fill(background_);
  QPainter painter(&picture);
  painter.drawImage(0, 0, image_);
  return picture;
}

void CanvasImage::End() {
  if (painter_.isActive()) painter_.end();
  bits_ = nullptr;
}

// The painter stays open across drawing calls: opening it costs more than most polygons.
bool CanvasImage::Open() {
  if (bits_) return true;
  if (image_.isNull() || !painter_.begin(&image_)) return false;
  bits_ = image_.bits();
  stride_ = image_.bytesPerLine();
  mode_ = PainterMode::None;
  return true;
}

QPainter* CanvasImage::PainterFor(PainterMode mode) {
  if (!Open()) return nullptr;
  if (mode != mode_ || color_ != modeColor_) {
    if (mode == PainterMode::Fill) {
      if (fillRgb_ != color_) fillBrush_ = QBrush(QColor::fromRgba(fillRgb_ = color_));
      painter_.setPen(noPen_);
      painter_.setBrush(fillBrush_);
    } else {
      if (strokeRgb_ != color_) strokePen_ = QPen(QColor::fromRgba(strokeRgb_ = color_), 0);
      painter_.setPen(strokePen_);
      painter_.setBrush(noBrush_);
    }
    mode_ = mode;
    modeColor_ = color_;
  }
  return &painter_;
}

bool CanvasImage::LoadPoints(int n, const int* xs, const int* ys) {
  if (!xs || !ys || n > kMaxVertices) return false;
  points_.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    points_[static_cast<std::size_t>(i)] = QPoint(xs[i], ys[i]);
  return true;
}

}  // namespace jqt
