#include "layer/Dialog.h"

#include <algorithm>
#include <cstring>

#include "layer/Window.h"
#include "toolkit/japi.h"

namespace layer {

constinit char InputKind = 's';

namespace {

struct DialogLook {
  char kind;
  const char* title;
  int columns;
  int fieldWidth;  ///< pixels after packing; 0 keeps the packed width
};

constexpr DialogLook Looks[] = {
    {'s', "String-Eingabe", 30, 0},
    {'c', "Char-Eingabe", 20, 30},
    {'i', "Integer-Eingabe", 20, 80},
    {'r', "Real-Eingabe", 20, 80},
};

// An unknown kind gets the plain string dialog.
const DialogLook& LookOf(char kind) {
  for (const auto& look : Looks) {
    if (look.kind == kind) return look;
  }
  return Looks[0];
}

struct DialogHandles {
  int dialog, field, button;
};

DialogHandles BuildDialog(const DialogLook& look, const std::string& prompt) {
  DialogHandles h{};
  h.dialog = J_dialog(GraphicsWindow.Frame, look.title);
  J_label(h.dialog, prompt.c_str());
  h.field = J_textfield(h.dialog, look.columns);
  J_setflowlayout(h.dialog, 1);
  h.button = J_button(h.dialog, " ok ");
  J_pack(h.dialog);
  if (look.fieldWidth > 0) J_setsize(h.field, look.fieldWidth, J_getheight(h.field));
  return h;
}

void CentreOnFrame(int dialog) {
  const int frame = GraphicsWindow.Frame;
  int x = 0, y = 0;
  J_getpos(frame, &x, &y);
  // Separate statements: the toolkit is asked in a fixed order.
  const int frameWidth = J_getwidth(frame);
  x += (frameWidth - J_getwidth(dialog)) / 2;
  const int frameHeight = J_getheight(frame);
  y += (frameHeight - J_getheight(dialog)) / 2;
  J_setpos(dialog, x, y);
}

void WaitForOk(const DialogHandles& h) {
  for (;;) {
    const int event = J_nextaction();
    // Only " ok " or Enter end the dialog: there is nothing to cancel to.
    if (event == h.button || event == h.field) return;
  }
}

}  // namespace

void ReadText(std::string_view prompt, std::string& text) {
  const DialogLook& look = LookOf(InputKind);
  J_disable(GraphicsWindow.Frame);
  const DialogHandles h = BuildDialog(look, std::string(prompt));
  CentreOnFrame(h.dialog);

  // The toolkit takes a NUL-terminated text of at most MaxDialogText characters.
  const std::string preset(text.substr(0, std::min(MaxDialogText, text.find('\0'))));
  J_settext(h.field, preset.c_str());
  J_setcurpos(h.field, static_cast<int>(preset.size()));
  J_selectall(h.field);
  J_show(h.dialog);
  J_setfocus(h.field);
  WaitForOk(h);

  char buffer[MaxDialogText + 1] = {};
  J_gettext(h.field, buffer);
  text.assign(buffer, strnlen(buffer, MaxDialogText));  // never past the buffer
  J_hide(h.dialog);
  J_enable(GraphicsWindow.Frame);
  InputKind = 's';
}

}  // namespace layer
