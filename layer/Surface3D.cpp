#include "layer/Surface3D.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "common/Extended.h"
#include "common/RoundHalfEven.h"
#include "layer/KeyQueue.h"
#include "layer/Mapping.h"
#include "layer/Palette.h"

namespace layer {
namespace {

// The x87's extended precision on every target, so that a relief is the same picture bit for
// bit in the web build.
using common::Extended;

const Extended RadiansPerDegree = common::ExtendedFromLongDouble(0.017453292519943295769L);
// A relief has at most 500 rows; far more means a loop that would not end in practice.
constexpr std::int64_t MaxSurfaceRows = 1000000;
constexpr std::int32_t EscapeKey = 27;
const Extended ClampLimit = ScreenClampValue;  // converted once, not for every vertex

struct Axis {
  std::int32_t lower, upper;
  double min, max, scale;
};

struct Projection {
  Axis x, y, z;
  std::int32_t centreX, centreY;
  double sinA, cosA, sinB, cosB, sinBsinA, sinBcosA;
};

Projection view{};

void SetAxisBox(Axis& axis, std::int32_t size) {
  axis.lower = static_cast<std::int32_t>(-static_cast<std::int64_t>(size) / 2);  // truncates
  axis.upper = -axis.lower;
}

void SetAxisRange(Axis& axis, double min, double max) {
  axis.min = min;
  axis.max = max;
  const Extended extent = Extended(max) - min;
  const auto box = Extended(axis.upper) - axis.lower;
  axis.scale = extent == 0 ? 0.0 : static_cast<double>(box / extent);
}

// Half to even, in the current rounding mode, as llrint does: on the x87 one instruction
// instead of a call into libm, for the two coordinates of every vertex.
std::int64_t RoundToInteger(Extended v) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && LDBL_MANT_DIG == 64
  std::int64_t rounded;
  asm("fistpll %0" : "=m"(rounded) : "t"(v) : "st");
  return rounded;
#else
  return common::RoundToInt64(v);
#endif
}

// A projected coordinate rounded and moved by the centre, kept inside the 32-bit range on
// its own side so that a far-off vertex still points the right way.
std::int32_t ToCanvas(Extended v, std::int32_t centre) {
  if (common::IsNaN(v)) return ScreenClampValue;
  if (!(common::Abs(v) < ClampLimit)) return v < 0 ? -ScreenClampValue : ScreenClampValue;
  const std::int64_t pixel = RoundToInteger(v) + centre;
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(pixel, -ScreenClampValue, ScreenClampValue));
}

// The terms of the projection that depend on y only, the same for a whole row.
struct RowTerms {
  Extended sinAY, sinBcosAY;
};

RowTerms TermsOfRow(double y) {
  const double boxY = BoxY(y);
  return {Extended(view.sinA) * boxY, Extended(view.sinBcosA) * boxY};
}

void ProjectInRow(const RowTerms& row, double x, double z, std::int32_t& px, std::int32_t& py) {
  const double boxX = BoxX(x);
  const double boxZ = BoxZ(z);
  px = ToCanvas(Extended(view.cosA) * boxX - row.sinAY, view.centreX);
  py = ToCanvas(Extended(view.sinBsinA) * boxX + row.sinBcosAY + Extended(view.cosB) * boxZ,
                view.centreY);
}

}  // namespace

void SetScreenBox(std::int32_t sizeX, std::int32_t sizeY, std::int32_t sizeZ, std::int32_t centreX,
                  std::int32_t centreY) {
  SetAxisBox(view.x, sizeX);
  SetAxisBox(view.y, sizeY);
  SetAxisBox(view.z, sizeZ);
  view.centreX = centreX;
  view.centreY = centreY;
}

void SetView3D(double xmin, double xmax, double ymin, double ymax, double zmin, double zmax,
               double alpha, double beta) {
  SetAxisRange(view.x, xmin, xmax);
  SetAxisRange(view.y, ymin, ymax);
  SetAxisRange(view.z, zmin, zmax);
  const Extended a = alpha * RadiansPerDegree;
  const Extended b = beta * RadiansPerDegree;
  view.sinA = static_cast<double>(std::sin(common::ToLongDouble(a)));
  view.cosA = static_cast<double>(std::cos(common::ToLongDouble(a)));
  view.sinB = static_cast<double>(std::sin(common::ToLongDouble(b)));
  view.cosB = static_cast<double>(std::cos(common::ToLongDouble(b)));
  view.sinBsinA = static_cast<double>(Extended(view.sinB) * view.sinA);
  view.sinBcosA = static_cast<double>(Extended(view.sinB) * view.cosA);
}

double BoxX(double x) {
  return static_cast<double>((Extended(x) - view.x.min) * view.x.scale + view.x.lower);
}

double BoxY(double y) {
  return static_cast<double>((Extended(y) - view.y.min) * view.y.scale + view.y.lower);
}

double BoxZ(double z) {
  return static_cast<double>((Extended(view.z.max) - z) * view.z.scale + view.z.lower);
}

void Project3D(double x, double y, double z, std::int32_t& px, std::int32_t& py) {
  ProjectInRow(TermsOfRow(y), x, z, px, py);
}

std::int32_t ShadeLevel(double nx, double ny, double nz, double lightX, double lightY,
                        double lightZ) {
  const Extended d = Extended(lightX) * nx + Extended(lightY) * ny + Extended(lightZ) * nz;
  if (!(d > 0)) return 0;  // NaN too
  const Extended square = Extended(nx) * nx + Extended(ny) * ny + Extended(nz) * nz;
  return common::ClampedRound(16 * d * d / square, 16);
}

namespace {

// What every strip of one plot shares, worked out before the first row.
struct Plot {
  double xmin, dx;
  HeightFunction height;
  bool shaded;
  std::int32_t outline;
  std::int32_t last;              // index of the last column
  double lightX, lightY, lightZ;  // of length 1
  // A triangle's normal: nx = xFall * nxPerFall, ny = yFall * nyPerFall, nz as it stands, where
  // xFall is its height difference between neighbouring columns and yFall between rows.
  Extended nxPerFall, nyPerFall;
  double nz;
};

struct Row {
  std::int32_t px[MaxSurfaceColumns];
  std::int32_t py[MaxSurfaceColumns];
  double z[MaxSurfaceColumns];
};

// Every row samples the same columns: their terms of the projection are worked out once.
struct Columns {
  Extended cosAX[MaxSurfaceColumns];
  Extended sinBsinAX[MaxSurfaceColumns];
};

// The projection's and the shading's terms of whole heights and height steps, worked out on
// first use: a relief's heights are whole grains, a few hundred of them at most, and its steps
// small. The same values as computed afresh, so the picture does not change.
class Memo {
 public:
  Extended HeightTerm(double z) {
    const int whole = Whole(z);
    if (whole < 0) return Height(z);
    const auto n = static_cast<std::size_t>(whole);
    if (!heightKnown_[n]) {
      heights_[n] = Height(z);
      heightKnown_[n] = true;
    }
    return heights_[n];
  }

  /// The shade of a triangle whose height falls by left - right across and front - back along.
  std::int32_t ShadeOf(const Plot& plot, double left, double right, double front, double back);

 private:
  static constexpr int kHeights = 4096, kSteps = 32, kSide = 2 * kSteps + 1;
  static Extended Height(double z) { return Extended(view.cosB) * BoxZ(z); }
  // z as an index when it is a whole height below kHeights, else -1.
  static int Whole(double z) {
#ifdef __EMSCRIPTEN__
    // Without a conversion, which WebAssembly checks for range: adding 2^52 rounds z to a
    // whole number, the sum's low bits.
    const double shifted = z + 0x1p52;
    if (!(z >= 0 && z < kHeights && shifted - 0x1p52 == z)) return -1;
    return static_cast<int>(static_cast<std::uint32_t>(__builtin_bit_cast(std::uint64_t, shifted)));
#else
    return z >= 0 && z < kHeights && static_cast<int>(z) == z ? int(z) : -1;
#endif
  }

  Extended heights_[kHeights];
  bool heightKnown_[kHeights] = {};
  std::int8_t shades_[kSide * kSide];
  bool shadeKnown_[kSide * kSide] = {};
};

bool AllFinite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// Columns of the back row, counted with the sampling's own additions; 0 when above the limit.
std::int32_t CountColumns(double xmin, double xmax, double dx) {
  double x = xmin;
  std::int32_t columns = 0;
  do {
    if (columns == MaxSurfaceColumns) return 0;
    ++columns;
    x += dx;
  } while (!(x > xmax));
  return columns;
}

// Whether the rows reach ymin; a dy lost in the rounding of y would loop forever.
bool RowsEnd(double ymin, double ymax, double dy) {
  double y = ymax;
  for (std::int64_t rows = 0; y > ymin; ++rows) {
    if (rows == MaxSurfaceRows) return false;
    y -= dy;
  }
  return true;
}

std::int32_t Shade(const Plot& plot, Extended xFall, Extended yFall) {
  if (!plot.shaded) return 0;
  const auto nx = static_cast<double>(xFall * plot.nxPerFall);
  const auto ny = static_cast<double>(yFall * plot.nyPerFall);
  return ShadeLevel(nx, ny, plot.nz, plot.lightX, plot.lightY, plot.lightZ);
}

std::int32_t Memo::ShadeOf(const Plot& plot, double left, double right, double front, double back) {
  if (!plot.shaded) return 0;
  const int l = Whole(left), r = Whole(right), f = Whole(front), b = Whole(back);
  const int xFall = l - r, yFall = f - b;
  if ((l | r | f | b) < 0 || std::abs(xFall) > kSteps || std::abs(yFall) > kSteps) {
    return Shade(plot, Extended(left) - right, Extended(front) - back);
  }
  const auto n = static_cast<std::size_t>((yFall + kSteps) * kSide + xFall + kSteps);
  if (!shadeKnown_[n]) {
    shades_[n] = static_cast<std::int8_t>(Shade(plot, xFall, yFall));  // 0..16
    shadeKnown_[n] = true;
  }
  return shades_[n];
}

// What a plot needs beyond its arguments: the column terms, the memo and one row of points.
struct Sheet {
  Columns columns;
  Memo memo;
  Row row;  // overwritten column by column
};

void PrepareColumns(const Plot& plot, Columns& columns) {
  double x = plot.xmin;
  for (std::int32_t i = 0; i <= plot.last; ++i) {
    const double boxX = BoxX(x);
    columns.cosAX[i] = Extended(view.cosA) * boxX;
    columns.sinBsinAX[i] = Extended(view.sinBsinA) * boxX;
    x += plot.dx;
  }
}

// ProjectInRow of column i at height z, from the sheet's terms.
void ProjectColumn(Sheet& sheet, const RowTerms& row, std::int32_t i, double z, std::int32_t& px,
                   std::int32_t& py) {
  px = ToCanvas(sheet.columns.cosAX[i] - row.sinAY, view.centreX);
  py =
      ToCanvas(sheet.columns.sinBsinAX[i] + row.sinBcosAY + sheet.memo.HeightTerm(z), view.centreY);
}

void DrawTriangle(const Plot& plot, const ScreenPoint (&triangle)[3], std::int32_t level) {
  if (plot.shaded) SetFillColours(level, White, plot.outline);
  FillPolygon(3, triangle);
}

void SampleBackRow(const Plot& plot, double y, Sheet& sheet) {
  const RowTerms terms = TermsOfRow(y);
  Row& row = sheet.row;
  double x = plot.xmin;
  for (std::int32_t i = 0; i <= plot.last; ++i) {
    row.z[i] = plot.height(x, y);
    ProjectColumn(sheet, terms, i, row.z[i], row.px[i], row.py[i]);
    x += plot.dx;
  }
}

// Samples row y over the previous one and draws the strip between them, left to right.
void DrawStrip(const Plot& plot, double y, Sheet& sheet) {
  const RowTerms terms = TermsOfRow(y);
  Row& row = sheet.row;
  double x = plot.xmin;
  for (std::int32_t i = 0; i <= plot.last; ++i) {
    const ScreenPoint old{row.px[i], row.py[i]};
    const double oldZ = row.z[i];
    row.z[i] = plot.height(x, y);
    ProjectColumn(sheet, terms, i, row.z[i], row.px[i], row.py[i]);
    const ScreenPoint now{row.px[i], row.py[i]};
    if (i > 0) {
      const ScreenPoint left{row.px[i - 1], row.py[i - 1]};
      DrawTriangle(plot, {now, old, left},
                   sheet.memo.ShadeOf(plot, row.z[i - 1], row.z[i], row.z[i], oldZ));
    }
    if (i < plot.last) {
      const ScreenPoint oldRight{row.px[i + 1], row.py[i + 1]};  // not yet resampled
      DrawTriangle(plot, {old, oldRight, now},
                   sheet.memo.ShadeOf(plot, oldZ, row.z[i + 1], row.z[i], oldZ));
    }
    x += plot.dx;
  }
}

// Fills plot from the arguments; false when they cannot give a finite, ending picture.
bool PreparePlot(double xmin, double xmax, double ymin, double ymax, double zmin, double zmax,
                 double dx, double dy, const double (&light)[3], Plot& plot) {
  if (!AllFinite({xmin, xmax, ymin, ymax, zmin, zmax, dx, dy})) return false;
  if (xmax == xmin || ymax == ymin || zmax == zmin || !(dx > 0) || !(dy > 0)) return false;
  if (!RowsEnd(ymin, ymax, dy)) return false;
  const std::int32_t columns = CountColumns(xmin, xmax, dx);
  if (columns == 0) return false;
  plot.xmin = xmin, plot.dx = dx, plot.last = columns - 1;
  if (!plot.shaded) return true;
  if (!AllFinite({light[0], light[1], light[2]})) return false;
  const Extended length =
      common::Sqrt(Extended(light[0]) * light[0] + Extended(light[1]) * light[1] +
                   Extended(light[2]) * light[2]);
  if (length == 0) return false;
  plot.lightX = static_cast<double>(light[0] / length);
  plot.lightY = static_cast<double>(light[1] / length);
  plot.lightZ = static_cast<double>(light[2] / length);
  const Extended rx = 1 / (Extended(xmax) - xmin);
  const Extended ry = 1 / (Extended(ymax) - ymin);
  const Extended rz = 1 / (Extended(zmax) - zmin);
  plot.nxPerFall = ry * rz * dy;
  plot.nyPerFall = rx * rz * dx;
  plot.nz = static_cast<double>(rx * ry * dx * dy);
  return true;
}

}  // namespace

void PlotSurface(const SurfacePlot& s) {
  Plot plot{};
  plot.height = s.height;
  plot.shaded = s.shaded;
  plot.outline = s.hideEdges ? White : Black;
  if (!s.height || !AllFinite({s.alpha, s.beta})) return;
  if (!PreparePlot(s.xmin, s.xmax, s.ymin, s.ymax, s.zmin, s.zmax, s.dx, s.dy,
                   {s.lightX, s.lightY, s.lightZ}, plot)) {
    return;
  }
  if (!s.shaded) SetFillColours(0, White, White);
  SetScreenBox(s.sizeX, s.sizeY, s.sizeZ, s.centreX, s.centreY);
  SetView3D(s.xmin, s.xmax, s.ymin, s.ymax, s.zmin, s.zmax, s.alpha, s.beta);
  ClearCanvas(Black);

  Sheet sheet;
  PrepareColumns(plot, sheet.columns);
  double y = s.ymax;
  SampleBackRow(plot, y, sheet);
  while (y > s.ymin) {
    if (KeyPressed() && ReadKey() == EscapeKey) return;  // any other key is dropped
    y -= s.dy;
    DrawStrip(plot, y, sheet);
  }
}

}  // namespace layer
