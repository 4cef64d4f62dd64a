// The canvas: a widget showing a backing image that keeps everything drawn on it.
#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <vector>

namespace jqt {

/// The 16 named colours of J_setnamedcolor and J_setnamedcolorbg; see toolkit/japi.h.
extern const QRgb kNamedColours[16];

/// Drawing goes into the backing image at once, through one painter kept open between calls;
/// the screen catches up in Present.
class CanvasWidget : public QWidget {
 public:
  /// A canvas asking for this size, in pixels (clamped to 1..kMaxSide).
  CanvasWidget(int width, int height);
  ~CanvasWidget() override;

  static constexpr int kMaxSide = 8192;  ///< the backing image never grows beyond this

  QSize sizeHint() const override { return requested_; }
  void SetRequestedSize(int width, int height);

  void SetColor(QRgb color) { color_ = color | 0xff000000u; }
  void SetBackground(QRgb color);
  void FillRect(int x, int y, int width, int height);
  void FillPolygon(int n, const int* xs, const int* ys);
  void DrawPolygon(int n, const int* xs, const int* ys);
  void DrawPixel(int x, int y);
  void DrawLine(int x1, int y1, int x2, int y2);

  /// Ends the painter and schedules a repaint.
  void Present();
  /// The backing image with everything drawn so far; undrawn pixels are transparent.
  const QImage& Backing();
  /// What the canvas shows: the backing image over the background, at the canvas's size.
  QImage Picture();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  enum class PainterMode { None, Fill, Stroke };
  bool Open();
  QPainter* PainterFor(PainterMode mode);
  void EndPainter();
  void Touched();
  void GrowTo(QSize size);
  bool LoadPoints(int n, const int* xs, const int* ys);

  QSize requested_;
  QImage image_;
  QPainter painter_;
  QRgb color_ = 0xff000000u;
  QRgb background_;
  int width_ = 0, height_ = 0;  ///< of image_
  PainterMode mode_ = PainterMode::None;
  QRgb modeColor_ = 0;  ///< the colour the painter's mode was set up with
  QPen strokePen_;
  QBrush fillBrush_;
  const QPen noPen_{Qt::NoPen};  // kept, so switching modes constructs nothing
  const QBrush noBrush_{Qt::NoBrush};
  QRgb strokeRgb_ = 0, fillRgb_ = 0;  ///< the colours of strokePen_ and fillBrush_
  bool touched_ = false;              ///< drawn on since the last Present
  uchar* bits_ = nullptr;             ///< the image's pixels while the painter is open
  qsizetype stride_ = 0;              ///< bytes per scan line of bits_
  std::vector<QPoint> points_;        ///< kept between calls so polygons allocate nothing
};

}  // namespace jqt
