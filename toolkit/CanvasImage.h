// What the canvas calls do to pixels: an image drawn on exactly, without antialiasing, with the
// colour state between calls. No window and no display: the window's canvas shows this image,
// and the headless toolkit draws into one for pictures saved to files.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPen>
#include <vector>

namespace jqt {

/// The 16 named colours of J_setnamedcolor and J_setnamedcolorbg; see toolkit/japi.h.
extern const QRgb kNamedColours[16];

/// An RGB colour from components, each clamped to 0..255.
inline QRgb ClampedRgb(int r, int g, int b) {
  const auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  return qRgb(clamp(r), clamp(g), clamp(b));
}

/// Whether c names one of the 16 named colours.
inline bool IsNamedColour(int c) {
  return c >= 0 && c < 16;
}

/// Drawing goes into the image at once, through one painter kept open between calls. Undrawn
/// pixels are transparent, so that the background shows through them.
class CanvasImage {
 public:
  explicit CanvasImage(QSize size);
  ~CanvasImage();
  CanvasImage(const CanvasImage&) = delete;
  CanvasImage& operator=(const CanvasImage&) = delete;

  static constexpr int kMaxSide = 8192;  ///< the image never grows beyond this

  void SetColor(QRgb color) { color_ = color | 0xff000000u; }
  void SetBackground(QRgb color) { background_ = color | 0xff000000u; }
  QRgb Background() const { return background_; }

  // Each returns whether it may have changed a pixel.
  bool FillRect(int x, int y, int width, int height);
  bool FillPolygon(int n, const int* xs, const int* ys);
  bool DrawPolygon(int n, const int* xs, const int* ys);
  bool DrawPixel(int x, int y);
  bool DrawLine(int x1, int y1, int x2, int y2);

  /// Grows to hold at least shown, and shrinks to it once the image holds far more; what was
  /// drawn in the part that stays is kept.
  void Fit(QSize shown);
  /// Everything drawn so far.
  const QImage& Image();
  /// Whether no pixel is transparent: the whole image has been filled since it last grew.
  bool Opaque() const { return opaque_; }
  /// What a canvas of this size shows: the image over the background.
  QImage Picture(QSize size);
  /// Closes the painter; the next drawing call opens it again.
  void End();

  /// Whether small polygons go through our own rasteriser (the default) or QPainter; the two
  /// give the same pixels, QPainter at many times the cost.
  void SetSmallPolygons(bool own) { smallPolygons_ = own; }

 private:
  enum class PainterMode { None, Fill, Stroke };
  bool Open();
  QPainter* PainterFor(PainterMode mode);
  bool LoadPoints(int n, const int* xs, const int* ys);

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
  uchar* bits_ = nullptr;             ///< the image's pixels while the painter is open
  qsizetype stride_ = 0;              ///< bytes per scan line of bits_
  std::vector<QPoint> points_;        ///< kept between calls so polygons allocate nothing
  bool smallPolygons_ = true;
  bool opaque_ = false;
};

}  // namespace jqt
