// The J_ canvas calls, once for every toolkit: each passes the lookup from a handle to its
// canvas (a window's canvas, or the headless canvas image), null for a wrong handle.
#pragma once

#include "toolkit/raster/Colours.h"

namespace jraster {

template <auto Find>
struct CanvasCalls {
  static void SetColor(int canvas, int r, int g, int b) {
    if (auto* target = Find(canvas)) target->SetColor(ClampedRgb(r, g, b));
  }
  static void SetNamedColor(int canvas, int colour) {
    auto* target = Find(canvas);
    if (target && IsNamedColour(colour)) target->SetColor(kNamedColours[colour]);
  }
  static void SetNamedBackground(int canvas, int colour) {
    auto* target = Find(canvas);
    if (target && IsNamedColour(colour)) target->SetBackground(kNamedColours[colour]);
  }
  static void FillRect(int canvas, int x, int y, int width, int height) {
    if (auto* target = Find(canvas)) target->FillRect(x, y, width, height);
  }
  static void FillPolygon(int canvas, int n, const int* xs, const int* ys) {
    if (auto* target = Find(canvas)) target->FillPolygon(n, xs, ys);
  }
  static void DrawPolygon(int canvas, int n, const int* xs, const int* ys) {
    if (auto* target = Find(canvas)) target->DrawPolygon(n, xs, ys);
  }
  static void DrawPixel(int canvas, int x, int y) {
    if (auto* target = Find(canvas)) target->DrawPixel(x, y);
  }
  static void DrawLine(int canvas, int x1, int y1, int x2, int y2) {
    if (auto* target = Find(canvas)) target->DrawLine(x1, y1, x2, y2);
  }
};

}  // namespace jraster

// The toolkit's J_ canvas calls, written inside its extern "C" block over its lookup.
#define JRASTER_CANVAS_CALLS(Find)                                      \
  void J_setcolor(int canvas, int r, int g, int b) {                    \
    jraster::CanvasCalls<Find>::SetColor(canvas, r, g, b);              \
  }                                                                     \
  void J_setnamedcolor(int canvas, int colour) {                        \
    jraster::CanvasCalls<Find>::SetNamedColor(canvas, colour);          \
  }                                                                     \
  void J_setnamedcolorbg(int canvas, int colour) {                      \
    jraster::CanvasCalls<Find>::SetNamedBackground(canvas, colour);     \
  }                                                                     \
  void J_fillrect(int canvas, int x, int y, int w, int h) {             \
    jraster::CanvasCalls<Find>::FillRect(canvas, x, y, w, h);           \
  }                                                                     \
  void J_fillpolygon(int canvas, int n, const int* xs, const int* ys) { \
    jraster::CanvasCalls<Find>::FillPolygon(canvas, n, xs, ys);         \
  }                                                                     \
  void J_drawpolygon(int canvas, int n, const int* xs, const int* ys) { \
    jraster::CanvasCalls<Find>::DrawPolygon(canvas, n, xs, ys);         \
  }                                                                     \
  void J_drawpixel(int canvas, int x, int y) {                          \
    jraster::CanvasCalls<Find>::DrawPixel(canvas, x, y);                \
  }                                                                     \
  void J_drawline(int canvas, int x1, int y1, int x2, int y2) {         \
    jraster::CanvasCalls<Find>::DrawLine(canvas, x1, y1, x2, y2);       \
  }
