#include "kammelsim/output/pictures/SpaceTime.h"

#include <utility>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace kammelsim {
namespace {

constexpr int kMinWidth = 160;  // room for the legend's two numbers
constexpr int kScale = 2;       // legend glyphs are 3 x 5 cells of kScale pixels
constexpr int kGap = 4, kBarHeight = 8, kGlyphHeight = 5 * kScale;
constexpr int kLegendHeight = kGap + kBarHeight + kGap + kGlyphHeight + kGap;
constexpr std::uint32_t kLegendBackground = 0xffffff, kInk = 0x000000;

// Glyphs of 3 x 5 cells, a row of three bits each, top row first.
struct Glyph {
  char c;
  std::uint8_t rows[5];
};
constexpr Glyph kGlyphs[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 3, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 2, 2}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'.', {0, 0, 0, 0, 2}}, {'-', {0, 0, 7, 0, 0}},
    {'+', {0, 2, 7, 2, 0}}, {'e', {0, 7, 7, 4, 7}}, {'n', {0, 6, 5, 5, 5}}, {'a', {0, 7, 1, 7, 7}},
    {'i', {2, 0, 2, 2, 2}}, {'f', {3, 2, 7, 2, 2}},
};

const Glyph* GlyphOf(char c) {
  for (const Glyph& glyph : kGlyphs) {
    if (glyph.c == c) return &glyph;
  }
  return nullptr;
}

int TextWidth(std::string_view text) {
  return static_cast<int>(text.size()) * 4 * kScale;
}

void DrawText(jheadless::Picture& picture, int left, int top, std::string_view text) {
  for (std::size_t n = 0; n < text.size(); ++n) {
    const Glyph* glyph = GlyphOf(text[n]);
    if (!glyph) continue;
    const int x0 = left + static_cast<int>(n) * 4 * kScale;
    for (int row = 0; row < 5 * kScale; ++row) {
      for (int column = 0; column < 3 * kScale; ++column) {
        const int x = x0 + column, y = top + row;
        const bool ink = glyph->rows[row / kScale] >> (2 - column / kScale) & 1;
        if (ink && x >= 0 && x < picture.width && y >= 0 && y < picture.height)
          picture.rgb[static_cast<std::size_t>(y) * picture.width + x] = kInk;
      }
    }
  }
}

double Unit(double value, double lowest, double highest) {
  return highest > lowest ? (value - lowest) / (highest - lowest) : 0.0;
}

void DrawLegend(jheadless::Picture& picture, int top, double lowest, double highest) {
  const int barWidth = picture.width - 2 * kGap;
  for (int x = 0; x < barWidth; ++x) {
    const std::uint32_t colour = Viridis(barWidth > 1 ? double(x) / (barWidth - 1) : 0.0);
    for (int y = top + kGap; y < top + kGap + kBarHeight; ++y)
      picture.rgb[static_cast<std::size_t>(y) * picture.width + kGap + x] = colour;
  }
  const int textTop = top + kGap + kBarHeight + kGap;
  const std::string low = LegendNumber(lowest), high = LegendNumber(highest);
  DrawText(picture, kGap, textTop, low);
  DrawText(picture, picture.width - kGap - TextWidth(high) + kScale, textTop, high);
}

}  // namespace

// A polynomial fit of matplotlib's viridis, within about 1/255 of the table.
std::uint32_t Viridis(double t) {
  static constexpr double c[7][3] = {
      {0.2777273272234177, 0.005407344544966578, 0.3340998053353061},
      {0.1050930431085774, 1.404613529898575, 1.384590162594685},
      {-0.3308618287255563, 0.214847559468213, 0.09509516302823659},
      {-4.634230498983486, -5.799100973351585, -19.33244095627987},
      {6.228269936347081, 14.17993336680509, 56.69055260068105},
      {4.776384997670288, -13.74514537774601, -65.35303263337234},
      {-5.435455855934631, 4.645852612178535, 26.3124352495832},
  };
  t = std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : 0.0;
  std::uint32_t rgb = 0;
  for (int channel = 0; channel < 3; ++channel) {
    double v = c[6][channel];
    for (int k = 5; k >= 0; --k)
      v = v * t + c[k][channel];
    rgb = rgb << 8 | static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
  }
  return rgb;
}

std::string LegendNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

void SpaceTime::AddRow(const std::vector<double>& heights) {
  for (const double h : heights) {
    const bool first = rows_.empty() && &h == heights.data();
    lowest_ = first ? h : std::min(lowest_, h);
    highest_ = first ? h : std::max(highest_, h);
  }
  rows_.emplace_back(heights.begin(), heights.end());
}

void SpaceTime::Restore(std::vector<std::vector<float>> rows, double lowest, double highest) {
  rows_ = std::move(rows);
  lowest_ = lowest;
  highest_ = highest;
}

jheadless::Picture SpaceTime::Draw() const {
  if (rows_.empty()) return {};
  const int cells = static_cast<int>(rows_.front().size());
  jheadless::Picture picture;
  picture.width = std::max(cells, kMinWidth);
  picture.height = static_cast<int>(rows_.size()) + kLegendHeight;
  picture.rgb.assign(static_cast<std::size_t>(picture.width) * picture.height, kLegendBackground);
  for (std::size_t y = 0; y < rows_.size(); ++y) {
    for (std::size_t x = 0; x < rows_[y].size(); ++x) {
      picture.rgb[y * picture.width + x] = Viridis(Unit(rows_[y][x], lowest_, highest_));
    }
  }
  DrawLegend(picture, static_cast<int>(rows_.size()), lowest_, highest_);
  return picture;
}

}  // namespace kammelsim
