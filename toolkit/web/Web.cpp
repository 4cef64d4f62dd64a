// The J_ toolkit in a web page, for WebAssembly: the objects are the page's elements, built and
// run by toolkit/web/japi-web.js; the canvas draws into our rasteriser's buffer here and the page
// shows it. J_nextaction waits for the page's next event and J_getaction lets the page take its
// input and paint before it looks: both suspend the program under Asyncify, so the programs' own
// blocking loops run unchanged on the browser's one thread.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "toolkit/japi.h"
#include "toolkit/raster/CanvasCalls.h"
#include "toolkit/raster/CanvasImage.h"

// The page's side: each names one call of the JapiWeb object the page script defines.
EM_JS(void, japi_web_create, (int handle, int kind, int parent, const char* text, int number),
      { JapiWeb.create(handle, kind, parent, JapiWeb.latin1(HEAPU8, text), number); });
EM_JS(void, japi_web_call, (int op, int handle, int a, int b), { JapiWeb.call(op, handle, a, b); });
EM_JS(int, japi_web_query, (int op, int handle), { return JapiWeb.query(op, handle); });
EM_JS(void, japi_web_settext, (int handle, const char* text),
      { JapiWeb.setText(handle, JapiWeb.latin1(HEAPU8, text)); });
EM_JS(int, japi_web_gettext, (int handle, char* buffer),
      { return JapiWeb.getText(handle, HEAPU8, buffer); });
EM_JS(void, japi_web_present, (int handle, const void* rgba, int width, int height),
      { JapiWeb.present(handle, HEAPU8, rgba, width, height); });
EM_ASYNC_JS(int, japi_web_next, (), { return await JapiWeb.next(); });
EM_ASYNC_JS(int, japi_web_poll, (), { return await JapiWeb.poll(); });

namespace {

// Kinds as the page script numbers them.
enum Kind {
  Frame = 1,
  MenuBar,
  Menu,
  MenuItem,
  CanvasKind,
  Dialog,
  Label,
  TextField,
  Button,
  KeyListener,
  MouseListener
};

// Calls without a result, as the page script numbers them.
enum Op {
  Show = 1,
  Hide,
  Pack,
  Enable,
  Disable,
  BorderLayout,
  FlowLayout,
  Shortcut,
  Size,
  Position,
  CursorPosition,
  SelectAll,
  Focus,
  Dispose,
  Quit
};

// Queries, as the page script numbers them.
enum Query { Width = 1, Height, X, Y, KeyCode, KeyChar };

// A canvas: the rasteriser's buffer, and the picture the page is shown of it.
class WebCanvas {
 public:
  WebCanvas(int handle, int width, int height)
      : image(std::clamp(width, 1, kMaxSide), std::clamp(height, 1, kMaxSide)),
        handle_(handle),
        width_(image.Width()),
        height_(image.Height()) {}

  static constexpr int kMaxSide = jraster::CanvasImage::kMaxSide;

  void SetColor(jraster::Rgb color) { image.SetColor(color); }
  void SetBackground(jraster::Rgb color) {
    image.SetBackground(color);
    touched_ = true;
  }
  void FillRect(int x, int y, int w, int h) { touched_ |= image.FillRect(x, y, w, h); }
  void FillPolygon(int n, const int* xs, const int* ys) {
    touched_ |= image.FillPolygon(n, xs, ys);
  }
  void DrawPolygon(int n, const int* xs, const int* ys) {
    touched_ |= image.DrawPolygon(n, xs, ys);
  }
  void DrawPixel(int x, int y) { touched_ |= image.DrawPixel(x, y); }
  void DrawLine(int x1, int y1, int x2, int y2) { touched_ |= image.DrawLine(x1, y1, x2, y2); }

  int Width() const { return width_; }
  int Height() const { return height_; }

  // The picture over the background, in the page's byte order (R, G, B, A), once per change.
  // The canvas never grows here, so its image is exactly its size: one pass over it.
  void Present() {
    if (!touched_) return;
    touched_ = false;
    const std::size_t count = static_cast<std::size_t>(width_) * height_;
    picture_.resize(count);
    const jraster::Rgb* pixels = image.Pixels();
    const jraster::Rgb background = image.Background();
    for (std::size_t n = 0; n < count; ++n) {
      const jraster::Rgb pixel = pixels[n] >> 24 ? pixels[n] : background;
      const jraster::Rgb rb = pixel & 0x00ff00ffu;
      picture_[n] = 0xff000000u | (pixel & 0x0000ff00u) | (rb >> 16) | ((rb & 0xffu) << 16);
    }
    japi_web_present(handle_, picture_.data(), width_, height_);
  }

  jraster::CanvasImage image;

 private:
  int handle_, width_, height_;
  std::vector<jraster::Rgb> picture_;
  bool touched_ = true;
};

struct Object {
  int kind, parent;
};

struct WebState {
  int nextHandle = 1;
  std::map<int, Object> objects;  ///< every live handle
  std::map<int, std::unique_ptr<WebCanvas>> canvases;
  std::vector<int> hiddenDialogs;  ///< to dispose of at the next wait
  double presented = 0;            ///< when the canvases were last shown, in milliseconds
};

constexpr double kFrameMilliseconds = 15;

WebState& State() {
  static WebState state;
  return state;
}

int Create(Kind kind, int parent, const char* text = nullptr, int number = 0) {
  WebState& state = State();
  const int handle = state.nextHandle++;
  state.objects[handle] = {kind, parent};
  japi_web_create(handle, kind, parent, text ? text : "", number);
  return handle;
}

bool Is(int handle, Kind kind) {
  const auto found = State().objects.find(handle);
  return found != State().objects.end() && found->second.kind == kind;
}

bool Live(int handle) {
  return State().objects.count(handle) != 0;
}

void Call(Op op, int handle, int a = 0, int b = 0) {
  if (Live(handle)) japi_web_call(op, handle, a, b);
}

WebCanvas* Find(int handle) {
  const auto found = State().canvases.find(handle);
  return found == State().canvases.end() ? nullptr : found->second.get();
}

// A hidden dialog goes with its labels, fields and buttons; the page drops any event of theirs
// still queued.
void DisposeOf(int dialog) {
  auto& objects = State().objects;
  for (auto it = objects.begin(); it != objects.end();)
    it = it->second.parent == dialog ? objects.erase(it) : std::next(it);
  objects.erase(dialog);
  japi_web_call(Dispose, dialog, 0, 0);
}

// The page shows what was drawn before the program waits; while it only polls (a running
// kammel), at most once a display frame: more would never be seen, and cost a pass each.
void BeforeWaiting(bool polling) {
  WebState& state = State();
  for (const int dialog : state.hiddenDialogs)
    if (Is(dialog, Dialog)) DisposeOf(dialog);
  state.hiddenDialogs.clear();
  const double now = emscripten_get_now();
  if (polling && now - state.presented < kFrameMilliseconds) return;
  state.presented = now;
  for (auto& [handle, canvas] : state.canvases)
    canvas->Present();
}

}  // namespace

extern "C" {

int J_start(void) {
  return 1;
}
void J_quit(void) {
  BeforeWaiting(false);
  japi_web_call(Quit, 0, 0, 0);
  State().canvases.clear();
  State().objects.clear();
}

int J_frame(const char* title) {
  return Create(Frame, 0, title);
}
int J_menubar(int frame) {
  return Is(frame, Frame) ? Create(MenuBar, frame) : 0;
}
int J_menu(int menubar, const char* label) {
  return Is(menubar, MenuBar) ? Create(Menu, menubar, label) : 0;
}
int J_menuitem(int menu, const char* label) {
  return Is(menu, Menu) ? Create(MenuItem, menu, label) : 0;
}
int J_canvas(int frame, int width, int height) {
  if (!Is(frame, Frame)) return 0;
  const int w = std::clamp(width, 1, WebCanvas::kMaxSide);
  const int h = std::clamp(height, 1, WebCanvas::kMaxSide);
  const int handle = Create(CanvasKind, frame, nullptr, w * 65536 + h);
  State().canvases[handle] = std::make_unique<WebCanvas>(handle, w, h);
  return handle;
}
int J_dialog(int frame, const char* title) {
  return Is(frame, Frame) ? Create(Dialog, frame, title) : 0;
}
int J_label(int dialog, const char* text) {
  return Is(dialog, Dialog) ? Create(Label, dialog, text) : 0;
}
int J_textfield(int dialog, int columns) {
  return Is(dialog, Dialog) ? Create(TextField, dialog, nullptr, std::clamp(columns, 1, 1000)) : 0;
}
int J_button(int dialog, const char* label) {
  return Is(dialog, Dialog) ? Create(Button, dialog, label) : 0;
}
int J_keylistener(int frame) {
  return Is(frame, Frame) ? Create(KeyListener, frame) : 0;
}
int J_mouselistener(int canvas, int kind) {
  if (!Is(canvas, CanvasKind) || (kind != 0 && kind != 1 && kind != 2 && kind != 4)) return 0;
  return Create(MouseListener, canvas, nullptr, kind);
}

int J_nextaction(void) {
  BeforeWaiting(false);
  return japi_web_next();
}
int J_getaction(void) {
  BeforeWaiting(true);
  return japi_web_poll();
}
int J_getkeycode(int listener) {
  return Is(listener, KeyListener) ? japi_web_query(KeyCode, listener) : 0;
}
int J_getkeychar(int listener) {
  return Is(listener, KeyListener) ? japi_web_query(KeyChar, listener) : 0;
}

void J_show(int obj) {
  Call(Show, obj);
}
void J_hide(int obj) {
  Call(Hide, obj);
  if (Is(obj, Dialog)) State().hiddenDialogs.push_back(obj);
}
void J_pack(int obj) {
  Call(Pack, obj);
}
void J_enable(int obj) {
  Call(Enable, obj);
}
void J_disable(int obj) {
  Call(Disable, obj);
}
void J_setborderlayout(int obj) {
  Call(BorderLayout, obj);
}
void J_setflowlayout(int obj, int orientation) {
  Call(FlowLayout, obj, orientation);
}
void J_setshortcut(int item, int letter) {
  if (Is(item, MenuItem)) Call(Shortcut, item, letter);
}
void J_setfontname(int, int) {}
void J_setsize(int obj, int width, int height) {
  Call(Size, obj, width, height);
}
void J_setpos(int obj, int x, int y) {
  Call(Position, obj, x, y);
}
void J_getpos(int obj, int* x, int* y) {
  const bool live = Live(obj);
  if (x) *x = live ? japi_web_query(X, obj) : 0;
  if (y) *y = live ? japi_web_query(Y, obj) : 0;
}
int J_getwidth(int obj) {
  if (WebCanvas* canvas = Find(obj)) return canvas->Width();
  return Live(obj) ? japi_web_query(Width, obj) : 0;
}
int J_getheight(int obj) {
  if (WebCanvas* canvas = Find(obj)) return canvas->Height();
  return Live(obj) ? japi_web_query(Height, obj) : 0;
}

void J_settext(int field, const char* text) {
  if (Live(field)) japi_web_settext(field, text ? text : "");
}
void J_setcurpos(int field, int position) {
  if (Is(field, TextField)) Call(CursorPosition, field, position);
}
void J_selectall(int field) {
  if (Is(field, TextField)) Call(SelectAll, field);
}
void J_setfocus(int field) {
  Call(Focus, field);
}
int J_gettext(int field, char* buffer) {
  if (!buffer) return 0;
  if (!Is(field, TextField)) {
    buffer[0] = '\0';
    return 0;
  }
  return japi_web_gettext(field, buffer);
}

JRASTER_CANVAS_CALLS(Find)

}  // extern "C"
