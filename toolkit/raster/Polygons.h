// Polygons and lines written straight into 32-bit pixels, without antialiasing: filled
// polygons (odd-even rule), their one-pixel outlines and one-pixel lines, with the pixels
// QPainter's aliased raster engine gives them, at a fraction of its cost per call. The plot
// draws a million small triangles a frame.
#pragma once

#include <cstddef>

#include "toolkit/raster/Colours.h"

namespace jraster {

/// The pixels of an image to draw into, rows stride pixels apart.
struct PixelTarget {
  Rgb* pixels;
  std::ptrdiff_t stride;
  int width, height;

  void Put(int x, int y, Rgb colour) const { pixels[y * stride + x] = colour; }
};

/// The largest coordinate magnitude a polygon is filled with as given; one reaching beyond is
/// first cut to a square of this half-side, far outside any canvas.
inline constexpr int kMaxFillCoordinate = 1 << 22;

/// Fills a polygon of n >= 3 vertices by the odd-even rule: the pixels whose centres lie
/// inside, edges stepped in 16.16 fixed point from each row's centre.
void FillPolygon(const PixelTarget& target, int n, const int* xs, const int* ys, Rgb colour);

/// Outlines a polygon of n >= 1 vertices, closed, one pixel wide: each edge stepped along its
/// major axis, with no pixel drawn twice and none missing where edges meet.
void OutlinePolygon(const PixelTarget& target, int n, const int* xs, const int* ys, Rgb colour);

/// A line one pixel wide with both end points, squarely capped as QPainter's cosmetic pen.
void DrawLine(const PixelTarget& target, int x1, int y1, int x2, int y2, Rgb colour);

}  // namespace jraster
