#include "toolkit/raster/CanvasImage.h"

#include <algorithm>
#include <cstdint>

namespace jraster {

namespace {

// More vertices than this are taken for a caller's mistake and draw nothing.
constexpr int kMaxVertices = 1 << 20;

int Side(int requested) {
  return std::clamp(requested, 1, CanvasImage::kMaxSide);
}

}  // namespace

CanvasImage::CanvasImage(int width, int height) {
  Fit(width, height);
}

bool CanvasImage::FillRect(int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return false;
  const std::int64_t left = std::max<std::int64_t>(x, 0), top = std::max<std::int64_t>(y, 0);
  const std::int64_t right = std::min<std::int64_t>(std::int64_t{x} + width, width_);
  const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{y} + height, height_);
  if (left >= right || top >= bottom) return false;
  if (left == 0 && top == 0 && right == width_ && bottom == height_) opaque_ = true;
  for (std::int64_t row = top; row < bottom; ++row) {
    Rgb* line = pixels_.data() + row * width_;
    std::fill(line + left, line + right, color_);
  }
  return true;
}

bool CanvasImage::FillPolygon(int n, const int* xs, const int* ys) {
  if (n < 3 || n > kMaxVertices || !xs || !ys) return false;
  jraster::FillPolygon(Target(), n, xs, ys, color_);
  return true;
}

bool CanvasImage::DrawPolygon(int n, const int* xs, const int* ys) {
  if (n < 1 || n > kMaxVertices || !xs || !ys) return false;
  OutlinePolygon(Target(), n, xs, ys, color_);
  return true;
}

bool CanvasImage::DrawPixel(int x, int y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  pixels_[static_cast<std::size_t>(y) * width_ + x] = color_;
  return true;
}

bool CanvasImage::DrawLine(int x1, int y1, int x2, int y2) {
  jraster::DrawLine(Target(), x1, y1, x2, y2, color_);
  return true;
}

void CanvasImage::Fit(int width, int height) {
  const int shownWidth = Side(width), shownHeight = Side(height);
  int targetWidth = std::max(shownWidth, width_), targetHeight = std::max(shownHeight, height_);
  const std::int64_t kept = std::int64_t{width_} * height_;
  if (kept > 2 * std::int64_t{shownWidth} * shownHeight) {
    targetWidth = shownWidth;
    targetHeight = shownHeight;
  }
  if (targetWidth == width_ && targetHeight == height_) return;
  std::vector<Rgb> fitted(static_cast<std::size_t>(targetWidth) * targetHeight, 0);
  const int keptWidth = std::min(width_, targetWidth), keptHeight = std::min(height_, targetHeight);
  for (int row = 0; row < keptHeight; ++row) {
    const Rgb* from = pixels_.data() + static_cast<std::size_t>(row) * width_;
    std::copy(from, from + keptWidth, fitted.data() + static_cast<std::size_t>(row) * targetWidth);
  }
  pixels_ = std::move(fitted);
  opaque_ = opaque_ && targetWidth <= width_ && targetHeight <= height_;
  width_ = targetWidth;
  height_ = targetHeight;
}

// Nothing drawn is ever partly transparent (no antialiasing, opaque colours): a pixel is
// either drawn, or shows the background.
void CanvasImage::Picture(int width, int height, std::vector<Rgb>& picture) const {
  width = std::max(width, 0);
  height = std::max(height, 0);
  picture.assign(static_cast<std::size_t>(width) * height, background_);
  const int rows = std::min(height, height_), columns = std::min(width, width_);
  for (int row = 0; row < rows; ++row) {
    const Rgb* from = pixels_.data() + static_cast<std::size_t>(row) * width_;
    Rgb* to = picture.data() + static_cast<std::size_t>(row) * width;
    for (int x = 0; x < columns; ++x) {
      if (from[x] >> 24) to[x] = from[x];
    }
  }
}

}  // namespace jraster
