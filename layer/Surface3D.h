// Parallel projection of a world box and the relief plot of a height function over a grid.
#pragma once

#include <cstdint>

namespace layer {

/// The height at world (x, y); reads the caller's model through the caller's own state.
using HeightFunction = double (*)(double x, double y);

/// Columns PlotSurface holds at most (0..1000).
inline constexpr std::int32_t MaxSurfaceColumns = 1001;

/// Box size on screen per axis (lower = (-size) div 2, upper = -lower) and the canvas pixel
/// of the box centre.
void SetScreenBox(std::int32_t sizeX, std::int32_t sizeY, std::int32_t sizeZ, std::int32_t centreX,
                  std::int32_t centreY);
/// World ranges and view angles in degrees; SetScreenBox comes first.
void SetView3D(double xmin, double xmax, double ymin, double ymax, double zmin, double zmax,
               double alpha, double beta);
double BoxX(double x);
double BoxY(double y);
double BoxZ(double z);  ///< zmax maps to the lower box coordinate (up on screen)
void Project3D(double x, double y, double z, std::int32_t& px, std::int32_t& py);

/// 0..16: 16 times the squared cosine between the normal and the light (of length 1), 0 when
/// the light falls on the back or the normal is degenerate.
std::int32_t ShadeLevel(double nx, double ny, double nz, double lightX, double lightY,
                        double lightZ);

/// What one plot draws: the screen box, the world ranges and view angles, the grid's steps, the
/// surface, the two switches and the light, in this order.
struct SurfacePlot {
  std::int32_t sizeX, sizeY, sizeZ;  ///< box extent on screen per axis, pixels
  std::int32_t centreX, centreY;     ///< canvas pixel of the box centre
  double xmin, xmax;                 ///< world x of the first and last column
  double ymin, ymax;                 ///< world y where the rows stop, and of the back row
  double zmin, zmax;                 ///< world height at the box floor and top
  double alpha, beta;                ///< rotation about the vertical and tilt, degrees
  double dx, dy;                     ///< steps between columns and between rows
  HeightFunction height;             ///< the surface
  bool shaded;                       ///< work out a shade level per triangle
  bool hideEdges;                    ///< outline triangles in their fill colour
  double lightX, lightY, lightZ;     ///< light direction for the shade level
};

/// Clears the canvas and draws z = height(x, y) as white triangles, back row (ymax) first.
/// Refuses, calling nothing at all, when a range is empty or not finite, an angle is not
/// finite, dx or dy is not positive or finite, height is null, the rows would not end within
/// a million steps, the grid would have more than MaxSurfaceColumns columns, or (shaded only)
/// the light vector is zero or not finite.
void PlotSurface(const SurfacePlot& plot);

}  // namespace layer
