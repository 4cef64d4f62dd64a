// What the canvas calls do to pixels: a plain pixel buffer drawn on exactly, without
// antialiasing, with the colour state between calls. No window and no display: each toolkit's
// canvas shows this image, and the headless toolkit draws into one for pictures saved to files.
#pragma once

#include <vector>

#include "toolkit/raster/Colours.h"
#include "toolkit/raster/Polygons.h"

namespace jraster {

/// Drawing goes into the buffer at once. Undrawn pixels are transparent, so that the
/// background shows through them.
class CanvasImage {
 public:
  CanvasImage(int width, int height);

  static constexpr int kMaxSide = 8192;  ///< the image never grows beyond this

  void SetColor(Rgb color) { color_ = color | kOpaque; }
  void SetBackground(Rgb color) { background_ = color | kOpaque; }
  Rgb Background() const { return background_; }

  // Each returns whether it may have changed a pixel.
  bool FillRect(int x, int y, int width, int height);
  bool FillPolygon(int n, const int* xs, const int* ys);
  bool DrawPolygon(int n, const int* xs, const int* ys);
  bool DrawPixel(int x, int y);
  bool DrawLine(int x1, int y1, int x2, int y2);

  /// Grows to hold at least width x height, and shrinks to it once the image holds far more;
  /// what was drawn in the part that stays is kept.
  void Fit(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  /// Everything drawn so far, row by row, Width() pixels a row.
  const Rgb* Pixels() const { return pixels_.data(); }
  /// Whether no pixel is transparent: the whole image has been filled since it last grew.
  bool Opaque() const { return opaque_; }
  /// What a canvas of this size shows: the image over the background, 0xffRRGGBB, row by row.
  void Picture(int width, int height, std::vector<Rgb>& picture) const;

 private:
  PixelTarget Target() { return {pixels_.data(), width_, width_, height_}; }

  std::vector<Rgb> pixels_;
  Rgb color_ = kOpaque;
  Rgb background_ = kNamedColours[0];
  int width_ = 0, height_ = 0;
  bool opaque_ = false;
};

}  // namespace jraster
