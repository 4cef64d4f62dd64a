// The canvas: a widget showing a canvas image that keeps everything drawn on it.
#pragma once

#include <QImage>
#include <QWidget>

#include "toolkit/raster/CanvasImage.h"

namespace jqt {

/// Drawing goes into the image at once; the screen catches up in Present.
class CanvasWidget : public QWidget {
 public:
  /// A canvas asking for this size, in pixels (clamped to 1..kMaxSide).
  CanvasWidget(int width, int height);
  ~CanvasWidget() override;

  /// The canvas drawn on last, and its handle: drawing calls come by the million, mostly on
  /// one canvas. Cleared when that canvas goes.
  static inline CanvasWidget* last = nullptr;
  static inline int lastHandle = 0;

  static constexpr int kMaxSide = jraster::CanvasImage::kMaxSide;

  QSize sizeHint() const override { return requested_; }
  void SetRequestedSize(int width, int height);

  void SetColor(QRgb color) { image_.SetColor(color); }
  void SetBackground(QRgb color);
  void FillRect(int x, int y, int width, int height) {
    if (image_.FillRect(x, y, width, height)) Touched();
  }
  void FillPolygon(int n, const int* xs, const int* ys) {
    if (image_.FillPolygon(n, xs, ys)) Touched();
  }
  void DrawPolygon(int n, const int* xs, const int* ys) {
    if (image_.DrawPolygon(n, xs, ys)) Touched();
  }
  void DrawPixel(int x, int y) {
    if (image_.DrawPixel(x, y)) Touched();
  }
  void DrawLine(int x1, int y1, int x2, int y2) {
    if (image_.DrawLine(x1, y1, x2, y2)) Touched();
  }

  /// Schedules a repaint.
  void Present();
  /// The backing image with everything drawn so far, not copied; undrawn pixels are
  /// transparent.
  QImage Backing() const;
  /// What the canvas shows: the backing image over the background, at the canvas's size.
  QImage Picture() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Touched();

  QSize requested_;
  jraster::CanvasImage image_;
  bool touched_ = false;  ///< drawn on since the last Present
};

}  // namespace jqt
