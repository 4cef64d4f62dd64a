// Started by the start test under a chosen environment: 10 when connected and the window came
// up at its size, 20 when J_start failed, 11 when the window came up wrong. Prints nothing.
#include "toolkit/japi.h"

int main() {
  if (!J_start()) return 20;
  const int frame = J_frame("probe");
  J_setborderlayout(frame);
  const int canvas = J_canvas(frame, 800, 600);
  J_show(frame);
  J_pack(frame);
  J_setcolor(canvas, 255, 0, 0);
  J_fillrect(canvas, 0, 0, 10, 10);
  J_getaction();
  const bool sized = J_getwidth(canvas) == 800 && J_getheight(canvas) == 600;
  J_quit();
  return sized ? 10 : 11;
}
