#include "tests/support/FakeToolkit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "toolkit/japi.h"

namespace fake {
namespace {

ToolkitScript script;
ToolkitRecord record;

void Log(const std::string& call) {
  record.calls.push_back(call);
}

std::string Quoted(const char* text) {
  return std::string("\"") + (text ? text : "") + "\"";
}

template <class... Ints>
std::string Args(Ints... values) {
  std::ostringstream out;
  const char* separator = "";
  ((out << separator << values, separator = ", "), ...);
  return out.str();
}

std::string Points(int n, const int* values) {
  std::ostringstream out;
  out << '[';
  for (int i = 0; i < n; ++i)
    out << (i ? " " : "") << values[i];
  out << ']';
  return out.str();
}

int NewHandle(const std::string& call, int parent, std::string label = {},
              std::vector<int> numbers = {}) {
  Log(call);
  record.objects[++record.lastHandle] = ToolkitObject{call.substr(0, call.find('(')), parent,
                                                      std::move(label), std::move(numbers), 0};
  return record.lastHandle;
}

std::string Text(const char* text) {
  return text ? text : "";
}

int Lookup(const std::map<int, int>& table, int handle) {
  const auto found = table.find(handle);
  return found == table.end() ? 0 : found->second;
}

}  // namespace

ToolkitScript& Script() {
  return script;
}
ToolkitRecord& Record() {
  return record;
}

void Reset() {
  script = ToolkitScript{};
  record = ToolkitRecord{};
}

std::vector<std::string> CallsStartingWith(const std::string& prefix) {
  std::vector<std::string> found;
  std::copy_if(record.calls.begin(), record.calls.end(), std::back_inserter(found),
               [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
  return found;
}

}  // namespace fake

using fake::Args;
using fake::Log;
using fake::NewHandle;
using fake::Quoted;
using fake::Text;

extern "C" {

int J_start(void) {
  Log("J_start()");
  return fake::script.startResult;
}
void J_quit(void) {
  Log("J_quit()");
}

int J_frame(const char* title) {
  return NewHandle("J_frame(" + Quoted(title) + ")", 0, Text(title));
}
int J_menubar(int frame) {
  return NewHandle("J_menubar(" + Args(frame) + ")", frame);
}
int J_menu(int menubar, const char* label) {
  return NewHandle("J_menu(" + Args(menubar) + ", " + Quoted(label) + ")", menubar, Text(label));
}
int J_menuitem(int menu, const char* label) {
  return NewHandle("J_menuitem(" + Args(menu) + ", " + Quoted(label) + ")", menu, Text(label));
}
int J_canvas(int frame, int width, int height) {
  return NewHandle("J_canvas(" + Args(frame, width, height) + ")", frame, {}, {width, height});
}
int J_dialog(int frame, const char* title) {
  return NewHandle("J_dialog(" + Args(frame) + ", " + Quoted(title) + ")", frame, Text(title));
}
int J_label(int dialog, const char* text) {
  return NewHandle("J_label(" + Args(dialog) + ", " + Quoted(text) + ")", dialog, Text(text));
}
int J_textfield(int dialog, int columns) {
  return NewHandle("J_textfield(" + Args(dialog, columns) + ")", dialog, {}, {columns});
}
int J_button(int dialog, const char* label) {
  return NewHandle("J_button(" + Args(dialog) + ", " + Quoted(label) + ")", dialog, Text(label));
}
int J_keylistener(int frame) {
  return NewHandle("J_keylistener(" + Args(frame) + ")", frame);
}
int J_mouselistener(int canvas, int kind) {
  return NewHandle("J_mouselistener(" + Args(canvas, kind) + ")", canvas, {}, {kind});
}

int J_nextaction(void) {
  Log("J_nextaction()");
  auto& actions = fake::script.actions;
  if (!actions.empty()) {
    const int event = actions.front();
    actions.pop_front();
    return event;
  }
  if (fake::script.nextAction) return fake::script.nextAction();
  std::fputs("fake toolkit: J_nextaction with no event scripted\n", stderr);
  std::abort();
}
int J_getaction(void) {
  Log("J_getaction()");
  auto& actions = fake::script.actions;
  if (actions.empty()) return 0;
  const int event = actions.front();
  actions.pop_front();
  return event;
}
int J_getkeycode(int listener) {
  Log("J_getkeycode(" + Args(listener) + ")");
  return fake::script.keyCode;
}
int J_getkeychar(int listener) {
  Log("J_getkeychar(" + Args(listener) + ")");
  return fake::script.keyChar;
}

void J_show(int obj) {
  Log("J_show(" + Args(obj) + ")");
}
void J_hide(int obj) {
  Log("J_hide(" + Args(obj) + ")");
}
void J_pack(int obj) {
  Log("J_pack(" + Args(obj) + ")");
}
void J_enable(int obj) {
  Log("J_enable(" + Args(obj) + ")");
}
void J_disable(int obj) {
  Log("J_disable(" + Args(obj) + ")");
}
void J_setborderlayout(int obj) {
  Log("J_setborderlayout(" + Args(obj) + ")");
}
void J_setflowlayout(int obj, int orientation) {
  Log("J_setflowlayout(" + Args(obj, orientation) + ")");
}
void J_setshortcut(int item, int letter) {
  Log("J_setshortcut(" + Args(item, letter) + ")");
  const auto made = fake::record.objects.find(item);
  if (made != fake::record.objects.end()) made->second.shortcut = letter;
}
void J_setfontname(int canvas, int font) {
  Log("J_setfontname(" + Args(canvas, font) + ")");
}
void J_setsize(int obj, int width, int height) {
  Log("J_setsize(" + Args(obj, width, height) + ")");
}
void J_setpos(int obj, int x, int y) {
  Log("J_setpos(" + Args(obj, x, y) + ")");
}
void J_getpos(int obj, int* x, int* y) {
  Log("J_getpos(" + Args(obj) + ")");
  const auto found = fake::script.positions.find(obj);
  *x = found == fake::script.positions.end() ? 0 : found->second.first;
  *y = found == fake::script.positions.end() ? 0 : found->second.second;
}
int J_getwidth(int obj) {
  Log("J_getwidth(" + Args(obj) + ")");
  return fake::Lookup(fake::script.widths, obj);
}
int J_getheight(int obj) {
  Log("J_getheight(" + Args(obj) + ")");
  return fake::Lookup(fake::script.heights, obj);
}

void J_settext(int field, const char* text) {
  Log("J_settext(" + Args(field) + ", " + Quoted(text) + ")");
  fake::record.fieldText[field] = text ? text : "";
}
void J_setcurpos(int field, int position) {
  Log("J_setcurpos(" + Args(field, position) + ")");
}
void J_selectall(int field) {
  Log("J_selectall(" + Args(field) + ")");
}
void J_setfocus(int field) {
  Log("J_setfocus(" + Args(field) + ")");
}
int J_gettext(int field, char* buffer) {
  Log("J_gettext(" + Args(field) + ")");
  std::string text = fake::record.fieldText[field];
  if (!fake::script.typed.empty()) {
    text = fake::script.typed.front();
    fake::script.typed.pop_front();
  }
  const std::size_t n = std::min<std::size_t>(text.size(), 254);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

void J_setcolor(int canvas, int r, int g, int b) {
  Log("J_setcolor(" + Args(canvas, r, g, b) + ")");
}
void J_setnamedcolor(int canvas, int colour) {
  Log("J_setnamedcolor(" + Args(canvas, colour) + ")");
}
void J_setnamedcolorbg(int canvas, int colour) {
  Log("J_setnamedcolorbg(" + Args(canvas, colour) + ")");
}
void J_fillrect(int canvas, int x, int y, int width, int height) {
  Log("J_fillrect(" + Args(canvas, x, y, width, height) + ")");
}
void J_fillpolygon(int canvas, int n, const int* xs, const int* ys) {
  Log("J_fillpolygon(" + Args(canvas, n) + ", " + fake::Points(n, xs) + ", " + fake::Points(n, ys) +
      ")");
}
void J_drawpolygon(int canvas, int n, const int* xs, const int* ys) {
  Log("J_drawpolygon(" + Args(canvas, n) + ", " + fake::Points(n, xs) + ", " + fake::Points(n, ys) +
      ")");
}
void J_drawpixel(int canvas, int x, int y) {
  Log("J_drawpixel(" + Args(canvas, x, y) + ")");
}
void J_drawline(int canvas, int x1, int y1, int x2, int y2) {
  Log("J_drawline(" + Args(canvas, x1, y1, x2, y2) + ")");
}

}  // extern "C"
