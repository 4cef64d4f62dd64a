#include "toolkit/raster/Polygons.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace jraster {

namespace {

// A slope (d << 16) / n for a run n and a rise d, truncated towards zero; from a table for the
// small ones a relief's triangles have, where the division would cost as much as the rest of
// the edge. Truncating the real quotient gives the same: for these n its rounding error stays
// far below the distance to the next integer.
class Slopes {
 public:
  static constexpr int kReach = 31;

  constexpr Slopes() {
    for (int n = 1; n <= kReach; ++n) {
      for (int d = -kReach; d <= kReach; ++d)
        table_[n - 1][d + kReach] = d * 65536 / n;
    }
  }

  std::int64_t Of(std::int64_t d, std::int64_t n) const {
    if (n <= kReach && d >= -kReach && d <= kReach) return table_[n - 1][d + kReach];
    return static_cast<std::int64_t>(static_cast<double>(d * 65536) / static_cast<double>(n));
  }

 private:
  std::int32_t table_[kReach][2 * kReach + 1] = {};
};

constexpr Slopes kSlopes;

// --- Filling ---

struct Edge {
  std::int64_t x, step;  // 16.16 fixed point, at the current row's centre, and per row
  int top, bottom;       // the rows whose centres the edge spans
};

// An edge from a to b, or false when no row centre lies between them.
bool MakeEdge(int ax, int ay, int bx, int by, int height, Edge& edge) {
  if (ay > by) {
    std::swap(ax, bx);
    std::swap(ay, by);
  }
  edge.top = std::max(0, ay);
  edge.bottom = std::min(height - 1, by - 1);
  if (edge.top > edge.bottom) return false;
  const std::int64_t start = (std::int64_t{ax} << 16) + 0x8000;
  edge.step = 0;
  edge.x = start;
  if (ax != bx) {
    // The slope is cut to 16.16 first and then stepped, row by row: so are its pixels.
    edge.step = kSlopes.Of(bx - ax, by - ay);
    const std::int64_t rise = (std::int64_t{edge.top} << 16) + 0x8000 - (std::int64_t{ay} << 16);
    edge.x = start + ((edge.step * rise) >> 16);
  }
  return true;
}

void SortCrossings(int* crossings, int count) {
  for (int i = 1; i < count; ++i) {
    const int x = crossings[i];
    int j = i - 1;
    for (; j >= 0 && crossings[j] > x; --j)
      crossings[j + 1] = crossings[j];
    crossings[j + 1] = x;
  }
}

void FillSpan(const PixelTarget& target, int y, int from, int to, Rgb colour) {
  from = std::max(from, 0);
  to = std::min(to, target.width);
  Rgb* row = target.pixels + y * target.stride;
  for (int x = from; x < to; ++x)
    row[x] = colour;
}

// --- Outlining ---

enum Direction { NoDirection = 0, Down = 1, Up = 2, Right = 4, Left = 8 };
constexpr int kVertical = Down | Up, kHorizontal = Right | Left;
enum Cap { CapBegin = 1, CapEnd = 2 };

struct Pixel {
  int x, y;
};

// One closed outline, edge by edge. Each edge steps along its major axis from pixel centre to
// pixel centre, the minor axis in 16.16 fixed point; where one edge ends and the next begins,
// a pixel already drawn is skipped and a pixel missing from a bend is added.
class Outline {
 public:
  Outline(const PixelTarget& target, Rgb colour) : target_(target), colour_(colour) {}

  void Draw(int n, const int* xs, const int* ys) {
    // The last pixel of the edge that leads into the first vertex, so that the first edge
    // joins it properly: the closing edge, or the one before it where the last vertex repeats
    // the first.
    last_ = {-1, -1};
    const int into = n >= 3 && xs[n - 1] == xs[0] && ys[n - 1] == ys[0] ? n - 2 : n - 1;
    Edge(xs[into], ys[into], xs[(into + 1) % n], ys[(into + 1) % n], true);
    for (int i = 1; i < n; ++i)
      Edge(xs[i - 1], ys[i - 1], xs[i], ys[i], false);
    Edge(xs[n - 1], ys[n - 1], xs[0], ys[0], false);
  }

  // A line on its own: no edge before it, and both ends capped.
  void Line(int x1, int y1, int x2, int y2) {
    if (x1 == x2 && y1 == y2) {
      Put(x1, y1);
      return;
    }
    last_ = {-1, -1};
    lastDirection_ = NoDirection;
    Edge(x1, y1, x2, y2, false, CapBegin | CapEnd);
  }

 private:
  // Cuts the edge to just outside the image, in reals; false when nothing of it is left.
  bool Clip(double& x1, double& y1, double& x2, double& y2) {
    const double low = -1, right = target_.width + 1, bottom = target_.height + 1;
    if (!ClipAxis(x1, y1, x2, y2, low, right)) return false;
    return ClipAxis(y1, x1, y2, x2, low, bottom);
  }

  bool ClipAxis(double& a1, double& b1, double& a2, double& b2, double low, double high) {
    if (a1 < low || a1 > high) {
      const double edge = a1 < low ? low : high;
      if (a1 < low ? a2 <= low : a2 >= high) {
        last_.x = -1;
        return false;
      }
      b1 += (b2 - b1) / (a2 - a1) * (edge - a1);
      a1 = edge;
    }
    if (a2 < low || a2 > high) {
      const double edge = a2 < low ? low : high;
      last_.x = -1;
      b2 += (b2 - b1) / (a2 - a1) * (edge - a2);
      a2 = edge;
    }
    return true;
  }

  void Put(int x, int y) {
    if (x >= 0 && y >= 0 && x < target_.width && y < target_.height) target_.Put(x, y, colour_);
  }

  // One edge; only its last pixel and direction are worked out when lastOnly. An edge with
  // both ends on the canvas needs no cutting and no reals.
  void Edge(int ix1, int iy1, int ix2, int iy2, bool lastOnly, int caps = 0) {
    if (Inside(ix1, iy1) && Inside(ix2, iy2)) {
      Step(std::int64_t{ix1} * 64, std::int64_t{iy1} * 64, std::int64_t{ix2} * 64,
           std::int64_t{iy2} * 64, lastOnly, caps);
      return;
    }
    double rx1 = ix1, ry1 = iy1, rx2 = ix2, ry2 = iy2;
    if (!Clip(rx1, ry1, rx2, ry2)) return;
    const auto fixed = [](double v) { return std::int64_t{static_cast<int>(v * 64.)}; };
    Step(fixed(rx1), fixed(ry1), fixed(rx2), fixed(ry2), lastOnly, caps);
  }

  bool Inside(int x, int y) const {
    return x >= 0 && y >= 0 && x < target_.width && y < target_.height;
  }

  // An edge between ends in 26.6 fixed point.
  void Step(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, bool lastOnly,
            int caps) {
    const bool vertical = std::llabs(x2 - x1) < std::llabs(y2 - y1);
    if (!vertical && x1 == x2) return;
    // Along the major axis a, across it b.
    std::int64_t a1 = vertical ? y1 : x1, b1 = vertical ? x1 : y1;
    std::int64_t a2 = vertical ? y2 : x2, b2 = vertical ? x2 : y2;
    const bool backwards = a1 > a2;
    if (backwards) {
      std::swap(a1, a2);
      std::swap(b1, b2);
    }
    const int direction = vertical ? (backwards ? Up : Down) : (backwards ? Left : Right);
    // Turning back along the same axis: the shared end gets half a pixel more.
    if (!lastOnly && (lastDirection_ ^ (vertical ? kVertical : kHorizontal)) == direction)
      caps |= backwards ? CapEnd : CapBegin;
    const std::int64_t length = a2 - a1;  // before the caps
    if (caps & CapBegin) a1 -= 32;
    if (caps & CapEnd) a2 += 32;
    std::int64_t a = (a1 + 32) >> 6, end = (a2 + 32) >> 6;
    if (a == end) return;  // no pixel centre passed: most edges of a dense relief
    // Truncated as integer division would, but faster: with coordinates on the canvas or just
    // beyond it (cut there) the quotient's rounding error is below its distance to the next
    // integer, so truncating the real quotient gives the same step.
    // Whole pixels, as every edge inside the canvas has, share the fill's slopes.
    const auto step = ((b2 - b1) & 63) == 0 && (length & 63) == 0
                          ? kSlopes.Of((b2 - b1) >> 6, length >> 6)
                          : static_cast<std::int64_t>(static_cast<double>((b2 - b1) * 65536) /
                                                      static_cast<double>(length));
    std::int64_t b = b1 * 1024 - (caps & CapBegin ? step >> 1 : 0);
    // The minor axis is read at the pixel's centre when it grows, at its near edge otherwise.
    b += (((a << 6) + (step > 0 ? 32 : 0) - a1) * step) >> 6;
    const auto at = [vertical](std::int64_t major, std::int64_t minor) {
      return vertical ? Pixel{int(minor >> 16), int(major)} : Pixel{int(major), int(minor >> 16)};
    };
    Pixel first = at(a, b), last = at(end - 1, b + (end - a - 1) * step);
    if (backwards) std::swap(first, last);
    const bool axisAligned = std::llabs(step) < (1 << 14);
    if (!lastOnly && last_.x >= 0) {
      if (first.x == last_.x && first.y == last_.y) {
        if (backwards) {
          --end;
        } else {
          ++a;
          b += step;
        }
      } else if (lastDirection_ != direction && Gap(first, axisAligned)) {
        if (backwards) {
          ++end;
        } else {
          --a;
          b -= step;
        }
      }
    }
    lastDirection_ = direction;
    lastAxisAligned_ = axisAligned;
    last_ = last;
    if (lastOnly) return;
    // At least one pixel, even where the first was a duplicate: a short edge after a bend
    // then still shows its end.
    if (vertical)
      Run<true>(a, end, b, step);
    else
      Run<false>(a, end, b, step);
  }

  // The pixels a..end-1 along the major axis. The target is copied into locals: stores to
  // pixels could otherwise change its fields, as far as the compiler knows.
  template <bool vertical>
  void Run(std::int64_t a, std::int64_t end, std::int64_t b, std::int64_t step) const {
    Rgb* const pixels = target_.pixels;
    const std::ptrdiff_t stride = target_.stride;
    const auto width = static_cast<unsigned>(target_.width);
    const auto height = static_cast<unsigned>(target_.height);
    const Rgb colour = colour_;
    do {
      const auto minor = static_cast<int>(b >> 16), major = static_cast<int>(a);
      const int x = vertical ? minor : major, y = vertical ? major : minor;
      if (static_cast<unsigned>(x) < width && static_cast<unsigned>(y) < height)
        pixels[y * stride + x] = colour;
      b += step;
    } while (++a < end);
  }

  // Whether the bend from the last edge to one starting at first leaves a pixel out.
  bool Gap(Pixel first, bool axisAligned) const {
    const bool diagonal =
        axisAligned && lastAxisAligned_ && last_.x != first.x && last_.y != first.y;
    return diagonal || std::abs(last_.x - first.x) > 1 || std::abs(last_.y - first.y) > 1;
  }

  const PixelTarget& target_;
  Rgb colour_;
  Pixel last_{-1, -1};
  int lastDirection_ = NoDirection;
  bool lastAxisAligned_ = false;
};

// A triangle's rows cross its longest edge (in y) and one of the other two, which split that
// edge's rows between them: the same crossings as the general loop, without its search.
void FillTriangle(const PixelTarget& target, const int* xs, const int* ys, Rgb colour) {
  int v[3] = {0, 1, 2};  // by y
  if (ys[v[1]] < ys[v[0]]) std::swap(v[0], v[1]);
  if (ys[v[2]] < ys[v[1]]) std::swap(v[1], v[2]);
  if (ys[v[1]] < ys[v[0]]) std::swap(v[0], v[1]);
  Edge whole, upper, lower;
  if (!MakeEdge(xs[v[0]], ys[v[0]], xs[v[2]], ys[v[2]], target.height, whole)) return;
  const bool hasUpper = MakeEdge(xs[v[0]], ys[v[0]], xs[v[1]], ys[v[1]], target.height, upper);
  const bool hasLower = MakeEdge(xs[v[1]], ys[v[1]], xs[v[2]], ys[v[2]], target.height, lower);
  for (Edge* part : {hasUpper ? &upper : nullptr, hasLower ? &lower : nullptr}) {
    if (!part) continue;
    for (int y = part->top; y <= part->bottom; ++y) {
      const int a = static_cast<int>(whole.x >> 16), b = static_cast<int>(part->x >> 16);
      FillSpan(target, y, std::min(a, b), std::max(a, b), colour);
      whole.x += whole.step;
      part->x += part->step;
    }
  }
}

// The pixel rows of a polygon within reach of kMaxFillCoordinate, in edges and crossings of n
// entries each.
void FillEdges(const PixelTarget& target, int n, const int* xs, const int* ys, Rgb colour,
               Edge* edges, int* crossings) {
  int count = 0, top = INT_MAX, bottom = INT_MIN;
  for (int i = 0; i < n; ++i) {
    const int j = i + 1 == n ? 0 : i + 1;
    if (!MakeEdge(xs[i], ys[i], xs[j], ys[j], target.height, edges[count])) continue;
    top = std::min(top, edges[count].top);
    bottom = std::max(bottom, edges[count].bottom);
    ++count;
  }
  for (int y = top; y <= bottom; ++y) {
    int active = 0;
    for (int e = 0; e < count; ++e) {
      if (y < edges[e].top || y > edges[e].bottom) continue;
      crossings[active++] = static_cast<int>(edges[e].x >> 16);
      edges[e].x += edges[e].step;
    }
    SortCrossings(crossings, active);
    for (int k = 0; k + 1 < active; k += 2)
      FillSpan(target, y, crossings[k], crossings[k + 1], colour);
  }
}

bool WithinFillReach(int n, const int* xs, const int* ys) {
  constexpr auto kSpan = 2u * kMaxFillCoordinate;
  unsigned outside = 0;
  for (int i = 0; i < n; ++i) {
    outside |= static_cast<unsigned>(xs[i]) + kMaxFillCoordinate > kSpan;
    outside |= static_cast<unsigned>(ys[i]) + kMaxFillCoordinate > kSpan;
  }
  return outside == 0;
}

// Cuts a polygon to the square within reach, in reals, one side after another; its corners
// come out rounded to whole pixels, so far from the canvas that the rounding shows nowhere.
void CutToReach(int n, const int* xs, const int* ys, std::vector<int>& cutX,
                std::vector<int>& cutY) {
  struct Point {
    double x, y;
  };
  std::vector<Point> in(static_cast<std::size_t>(n)), out;
  for (int i = 0; i < n; ++i)
    in[static_cast<std::size_t>(i)] = {double(xs[i]), double(ys[i])};
  constexpr double kReach = kMaxFillCoordinate;
  for (int side = 0; side < 4 && !in.empty(); ++side) {
    const double sign = side % 2 ? -1 : 1;
    const auto along = [side, sign](const Point& p) { return sign * (side < 2 ? p.x : p.y); };
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
      const Point& a = in[i];
      const Point& b = in[(i + 1) % in.size()];
      const double da = along(a) - kReach, db = along(b) - kReach;
      if (da <= 0) out.push_back(a);
      if ((da < 0) != (db < 0) && da != 0 && db != 0) {
        const double t = da / (da - db);
        out.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
      }
    }
    std::swap(in, out);
  }
  cutX.clear();
  cutY.clear();
  for (const Point& p : in) {
    cutX.push_back(static_cast<int>(std::lround(std::clamp(p.x, -kReach, kReach))));
    cutY.push_back(static_cast<int>(std::lround(std::clamp(p.y, -kReach, kReach))));
  }
}

}  // namespace

void FillPolygon(const PixelTarget& target, int n, const int* xs, const int* ys, Rgb colour) {
  if (n < 3 || !xs || !ys) return;
  if (!WithinFillReach(n, xs, ys)) {
    std::vector<int> cutX, cutY;
    CutToReach(n, xs, ys, cutX, cutY);
    if (cutX.size() >= 3)
      FillPolygon(target, static_cast<int>(cutX.size()), cutX.data(), cutY.data(), colour);
    return;
  }
  if (n == 3) {
    FillTriangle(target, xs, ys, colour);
    return;
  }
  // The layer's polygons have at most 100 corners: on the stack.
  constexpr int kOnStack = 100;
  if (n <= kOnStack) {
    Edge edges[kOnStack];
    int crossings[kOnStack];
    FillEdges(target, n, xs, ys, colour, edges, crossings);
    return;
  }
  std::vector<Edge> edges(static_cast<std::size_t>(n));
  std::vector<int> crossings(static_cast<std::size_t>(n));
  FillEdges(target, n, xs, ys, colour, edges.data(), crossings.data());
}

void OutlinePolygon(const PixelTarget& target, int n, const int* xs, const int* ys, Rgb colour) {
  if (n < 1 || !xs || !ys) return;
  if (n == 1) {
    Outline(target, colour).Line(xs[0], ys[0], xs[0], ys[0]);
    return;
  }
  Outline(target, colour).Draw(n, xs, ys);
}

void DrawLine(const PixelTarget& target, int x1, int y1, int x2, int y2, Rgb colour) {
  Outline(target, colour).Line(x1, y1, x2, y2);
}

}  // namespace jraster
