#include "toolkit/Headless.h"

#include <memory>

#include "toolkit/CanvasCalls.h"
#include "toolkit/CanvasImage.h"
#include "toolkit/japi.h"

namespace {

struct HeadlessState {
  int nextHandle = 1;
  int canvasHandle = 0;
  std::unique_ptr<jqt::CanvasImage> canvas;
  QSize canvasSize;  ///< of the canvas, which never grows or shrinks here
  QSize chosenSize;  ///< from SetCanvasSize; empty: as asked
  bool smallPolygons = true;
};

HeadlessState& State() {
  static HeadlessState state;
  return state;
}

int NewHandle() {
  return State().nextHandle++;
}

jqt::CanvasImage* Canvas(int handle) {
  HeadlessState& state = State();
  return handle == state.canvasHandle ? state.canvas.get() : nullptr;
}

QSize Side(int width, int height) {
  const int most = jqt::CanvasImage::kMaxSide;
  return QSize(width, height).expandedTo({1, 1}).boundedTo({most, most});
}

}  // namespace

namespace jheadless {

void SetSmallPolygons(bool own) {
  State().smallPolygons = own;
}

void SetCanvasSize(int width, int height) {
  State().chosenSize = width == 0 && height == 0 ? QSize() : Side(width, height);
}

// Nothing drawn on the canvas is ever partly transparent (no antialiasing, opaque colours): a
// pixel is either drawn, or shows the background.
void CanvasPicture(Picture& picture) {
  HeadlessState& state = State();
  if (!state.canvas) {
    picture = {};
    return;
  }
  const QImage& image = state.canvas->Image();
  const QRgb background = state.canvas->Background() & 0xffffffu;
  picture.width = state.canvasSize.width();
  picture.height = state.canvasSize.height();
  picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height);
  std::uint32_t* out = picture.rgb.data();
  for (int y = 0; y < picture.height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < picture.width; ++x)
      *out++ = qAlpha(line[x]) == 0 ? background : line[x] & 0xffffffu;
  }
}

}  // namespace jheadless

extern "C" {

int J_start(void) {
  return 1;
}
void J_quit(void) {
  State().canvas.reset();
  State().canvasHandle = 0;
}

int J_frame(const char*) {
  return NewHandle();
}
int J_menubar(int) {
  return NewHandle();
}
int J_menu(int, const char*) {
  return NewHandle();
}
int J_menuitem(int, const char*) {
  return NewHandle();
}
int J_dialog(int, const char*) {
  return NewHandle();
}
int J_label(int, const char*) {
  return NewHandle();
}
int J_textfield(int, int) {
  return NewHandle();
}
int J_button(int, const char*) {
  return NewHandle();
}
int J_keylistener(int) {
  return NewHandle();
}
int J_mouselistener(int, int) {
  return NewHandle();
}

int J_canvas(int, int width, int height) {
  HeadlessState& state = State();
  state.canvasSize = state.chosenSize.isEmpty() ? Side(width, height) : state.chosenSize;
  state.canvas = std::make_unique<jqt::CanvasImage>(state.canvasSize);
  state.canvas->SetSmallPolygons(state.smallPolygons);
  state.canvasHandle = NewHandle();
  return state.canvasHandle;
}

int J_nextaction(void) {
  return 0;
}
int J_getaction(void) {
  return 0;
}
int J_getkeycode(int) {
  return 0;
}
int J_getkeychar(int) {
  return 0;
}

void J_show(int) {}
void J_hide(int) {}
void J_pack(int) {}
void J_enable(int) {}
void J_disable(int) {}
void J_setborderlayout(int) {}
void J_setflowlayout(int, int) {}
void J_setshortcut(int, int) {}
void J_setfontname(int, int) {}
void J_setsize(int, int, int) {}
void J_setpos(int, int, int) {}

void J_getpos(int, int* x, int* y) {
  if (x) *x = 0;
  if (y) *y = 0;
}

int J_getwidth(int obj) {
  return Canvas(obj) ? State().canvasSize.width() : 0;
}
int J_getheight(int obj) {
  return Canvas(obj) ? State().canvasSize.height() : 0;
}

void J_settext(int, const char*) {}
void J_setcurpos(int, int) {}
void J_selectall(int) {}
void J_setfocus(int) {}

int J_gettext(int, char* buffer) {
  if (buffer) buffer[0] = '\0';
  return 0;
}

using Calls = jqt::CanvasCalls<Canvas>;

void J_setcolor(int canvas, int r, int g, int b) {
  Calls::SetColor(canvas, r, g, b);
}
void J_setnamedcolor(int canvas, int colour) {
  Calls::SetNamedColor(canvas, colour);
}
void J_setnamedcolorbg(int canvas, int colour) {
  Calls::SetNamedBackground(canvas, colour);
}
void J_fillrect(int canvas, int x, int y, int w, int h) {
  Calls::FillRect(canvas, x, y, w, h);
}
void J_fillpolygon(int canvas, int n, const int* xs, const int* ys) {
  Calls::FillPolygon(canvas, n, xs, ys);
}
void J_drawpolygon(int canvas, int n, const int* xs, const int* ys) {
  Calls::DrawPolygon(canvas, n, xs, ys);
}
void J_drawpixel(int canvas, int x, int y) {
  Calls::DrawPixel(canvas, x, y);
}
void J_drawline(int canvas, int x1, int y1, int x2, int y2) {
  Calls::DrawLine(canvas, x1, y1, x2, y2);
}

}  // extern "C"
