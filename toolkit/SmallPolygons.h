// Small polygons written straight into 32-bit pixels: the canvas's filled polygons (odd-even
// rule) and their one-pixel outlines, with the pixels QPainter's aliased raster engine gives
// them, at a fraction of its cost per call. The plot draws a million such triangles a frame.
#pragma once

#include <QRgb>
#include <cstdint>

namespace jqt {

/// The pixels of an image to draw into: 32 bits each, rows stride bytes apart.
struct PixelTarget {
  uchar* bits;
  qsizetype stride;
  int width, height;

  void Put(int x, int y, QRgb colour) const {
    reinterpret_cast<QRgb*>(bits + y * stride)[x] = colour;
  }
};

/// The most vertices, and the largest coordinate magnitude, drawn here; anything beyond is
/// left to QPainter.
inline constexpr int kMaxSmallPolygon = 100;
inline constexpr int kMaxSmallCoordinate = 1 << 15;

/// Whether a polygon can be drawn here; inline, as it is asked twice for every triangle.
inline bool IsSmallPolygon(int n, const int* xs, const int* ys) {
  if (n < 1 || n > kMaxSmallPolygon || !xs || !ys) return false;
  // In range when |v| <= kMaxSmallCoordinate, in one unsigned comparison each.
  constexpr auto kSpan = 2u * kMaxSmallCoordinate;
  unsigned outside = 0;
  for (int i = 0; i < n; ++i) {
    outside |= static_cast<unsigned>(xs[i]) + kMaxSmallCoordinate > kSpan;
    outside |= static_cast<unsigned>(ys[i]) + kMaxSmallCoordinate > kSpan;
  }
  return outside == 0;
}

/// Fills a small polygon by the odd-even rule: the pixels whose centres lie inside, edges
/// stepped in 16.16 fixed point from each row's centre.
void FillSmallPolygon(const PixelTarget& target, int n, const int* xs, const int* ys, QRgb colour);

/// Outlines a small polygon, closed, one pixel wide: each edge stepped along its major axis,
/// with no pixel drawn twice and none missing where edges meet.
void OutlineSmallPolygon(const PixelTarget& target, int n, const int* xs, const int* ys,
                         QRgb colour);

}  // namespace jqt
