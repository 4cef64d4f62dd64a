#include "toolkit/Headless.h"

#include <memory>

#include <algorithm>

#include "toolkit/japi.h"
#include "toolkit/raster/CanvasCalls.h"
#include "toolkit/raster/CanvasImage.h"

namespace {

using jraster::Rgb;

// The canvas image, and what a test taps of it.
class Canvas {
 public:
  Canvas(int width, int height, jheadless::DrawingTap* tap) : image(width, height), tap_(tap) {
    if (tap_) tap_->Start(width, height);
  }
  void SetColor(Rgb color) {
    image.SetColor(color);
    if (tap_) tap_->SetColor(color);
  }
  void SetBackground(Rgb color) {
    image.SetBackground(color);
    if (tap_) tap_->SetBackground(color);
  }
  void FillRect(int x, int y, int width, int height) {
    image.FillRect(x, y, width, height);
    if (tap_) tap_->FillRect(x, y, width, height);
  }
  void FillPolygon(int n, const int* xs, const int* ys) {
    image.FillPolygon(n, xs, ys);
    if (tap_) tap_->FillPolygon(n, xs, ys);
  }
  void DrawPolygon(int n, const int* xs, const int* ys) {
    image.DrawPolygon(n, xs, ys);
    if (tap_) tap_->DrawPolygon(n, xs, ys);
  }
  void DrawPixel(int x, int y) {
    image.DrawPixel(x, y);
    if (tap_) tap_->DrawPixel(x, y);
  }
  void DrawLine(int x1, int y1, int x2, int y2) {
    image.DrawLine(x1, y1, x2, y2);
    if (tap_) tap_->DrawLine(x1, y1, x2, y2);
  }

  jraster::CanvasImage image;

 private:
  jheadless::DrawingTap* tap_;
};

struct Size {
  int width = 0, height = 0;
};

struct HeadlessState {
  int nextHandle = 1;
  int canvasHandle = 0;
  std::unique_ptr<Canvas> canvas;
  Size canvasSize;  ///< of the canvas, which never grows or shrinks here
  Size chosenSize;  ///< from SetCanvasSize; 0 x 0: as asked
  jheadless::DrawingTap* tap = nullptr;
};

HeadlessState& State() {
  static HeadlessState state;
  return state;
}

int NewHandle() {
  return State().nextHandle++;
}

Canvas* Find(int handle) {
  HeadlessState& state = State();
  return handle == state.canvasHandle ? state.canvas.get() : nullptr;
}

Size Side(int width, int height) {
  const int most = jraster::CanvasImage::kMaxSide;
  return {std::clamp(width, 1, most), std::clamp(height, 1, most)};
}

}  // namespace

namespace jheadless {

void SetDrawingTap(DrawingTap* tap) {
  State().tap = tap;
}

void SetCanvasSize(int width, int height) {
  State().chosenSize = width == 0 && height == 0 ? Size{} : Side(width, height);
}

void CanvasPicture(Picture& picture) {
  HeadlessState& state = State();
  if (!state.canvas) {
    picture = {};
    return;
  }
  picture.width = state.canvasSize.width;
  picture.height = state.canvasSize.height;
  state.canvas->image.Picture(picture.width, picture.height, picture.rgb);
  for (std::uint32_t& pixel : picture.rgb)
    pixel &= 0xffffffu;
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
  state.canvasSize = state.chosenSize.width == 0 ? Side(width, height) : state.chosenSize;
  state.canvas =
      std::make_unique<Canvas>(state.canvasSize.width, state.canvasSize.height, state.tap);
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
  return Find(obj) ? State().canvasSize.width : 0;
}
int J_getheight(int obj) {
  return Find(obj) ? State().canvasSize.height : 0;
}

void J_settext(int, const char*) {}
void J_setcurpos(int, int) {}
void J_selectall(int) {}
void J_setfocus(int) {}

int J_gettext(int, char* buffer) {
  if (buffer) buffer[0] = '\0';
  return 0;
}

JRASTER_CANVAS_CALLS(Find)

}  // extern "C"
