/* The J_ toolkit: the window objects, drawing and events the layer builds on.
 *
 * Every object is named by a 32-bit handle (> 0); every event is the handle of the object
 * that fired it. Strings are NUL-terminated Latin-1. Call only from the program's thread.
 * Two implementations share this header: the Qt 6 one in toolkit/ and the recording fake
 * the layer's tests link in its place. */
#ifndef KAMMEL_TOOLKIT_JAPI_H
#define KAMMEL_TOOLKIT_JAPI_H

#ifdef __cplusplus
extern "C" {
#endif

/* Connection: J_start is non-zero once the display server is reached, 0 when none can be. */
int J_start(void);
void J_quit(void);

/* Objects, each returning a new handle. */
int J_frame(const char* title);
int J_menubar(int frame);
int J_menu(int menubar, const char* label);
int J_menuitem(int menu, const char* label);
int J_canvas(int frame, int width, int height);
int J_dialog(int frame, const char* title);
int J_label(int dialog, const char* text);
int J_textfield(int dialog, int columns);
int J_button(int dialog, const char* label);

/* Listeners, each returning the handle its events carry (0 for a kind not listed). Mouse
 * kinds on a canvas: 0 button press, 1 release, 2 drag, 4 move; a burst of moves or drags
 * fires once. */
int J_keylistener(int frame);
int J_mouselistener(int canvas, int kind);

/* Events: J_nextaction waits for one; J_getaction returns a pending one or 0 at once. A close
 * box, or Escape in a dialog, fires the window's handle and leaves the window up. */
int J_nextaction(void);
int J_getaction(void);
/* The last key event of a key listener: its code (F1..F12 = 112..123, cursor and paging keys
 * 33..40, insert 45, delete 46, others outside these) and its Latin-1 character (0 if none).
 * Other codes: Enter 10, Escape 27, Backspace 8, Tab 9, Space 32, letters 65..90 (whatever the
 * case), digits 48..57, other Latin-1 keys 256 + their character, any other key >= 512. */
int J_getkeycode(int listener);
int J_getkeychar(int listener);

/* Layout and state. A frame shown appears at the next J_nextaction or J_getaction, at its
 * packed size. A dialog hidden is disposed of at the next J_nextaction or J_getaction, with its
 * labels, fields and buttons: their handles name nothing afterwards. */
void J_show(int obj);
void J_hide(int obj);
void J_pack(int obj);
void J_enable(int obj);
void J_disable(int obj);
void J_setborderlayout(int obj);
void J_setflowlayout(int obj, int orientation); /* 1: one column, top to bottom */
void J_setshortcut(int item, int letter);       /* Ctrl + letter, e.g. 67 for Ctrl+C */
void J_setfontname(int canvas, int font);
void J_setsize(int obj, int width, int height);
void J_setpos(int obj, int x, int y);
void J_getpos(int obj, int* x, int* y);
int J_getwidth(int obj);
int J_getheight(int obj);

/* Text fields. J_gettext copies at most 254 characters and a NUL into the caller's buffer of
 * 255 bytes and returns the number of characters copied. */
void J_settext(int field, const char* text);
void J_setcurpos(int field, int position);
void J_selectall(int field);
void J_setfocus(int field);
int J_gettext(int field, char* buffer);

/* Drawing on a canvas, in its pixels (origin top-left, y down), without antialiasing.
 * J_setnamedcolor and J_setnamedcolorbg take a number of the 16-entry named colour table;
 * other numbers are ignored. The table, R G B:
 *    0 black          0   0   0      8 dark gray      104 104 104
 *    1 blue           0   0 160      9 light blue       0   0 252
 *    2 green          0 160   0     10 light green     36 252  36
 *    3 cyan           0 160 160     11 light cyan       0 252 252
 *    4 red          160  28  28     12 light red      252  40  40
 *    5 magenta      160   0 160     13 light magenta  176   0 252
 *    6 brown        160 120   0     14 yellow         252 252  72
 *    7 light gray   196 196 196     15 white          255 255 255
 * A canvas starts with background 0 and drawing colour black; J_setcolor clamps to 0..255.
 * J_fillrect fills width x height pixels; J_drawline includes both end points; J_fillpolygon
 * fills the pixels whose centres lie inside, J_drawpolygon draws the closed outline. */
void J_setcolor(int canvas, int r, int g, int b);
void J_setnamedcolor(int canvas, int colour);
void J_setnamedcolorbg(int canvas, int colour);
void J_fillrect(int canvas, int x, int y, int width, int height);
void J_fillpolygon(int canvas, int n, const int* xs, const int* ys);
void J_drawpolygon(int canvas, int n, const int* xs, const int* ys);
void J_drawpixel(int canvas, int x, int y);
void J_drawline(int canvas, int x1, int y1, int x2, int y2);

#ifdef __cplusplus
}
#endif

#endif
