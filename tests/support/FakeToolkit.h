// A recording stand-in for the J_ toolkit, linked in its place: no Qt, no display.
// Every call is logged as text; results come from a script the test sets up.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fake {

struct ToolkitScript {
  int startResult = 1;  ///< what J_start returns
  /// Results of J_nextaction and J_getaction, taken from the front. When empty, J_getaction
  /// returns 0, and J_nextaction asks nextAction (aborting when that is unset too).
  std::deque<int> actions;
  std::function<int()> nextAction;
  /// Texts J_gettext hands out, one per call; when empty it hands out the field's current text.
  std::deque<std::string> typed;
  std::map<int, int> widths, heights;  ///< J_getwidth / J_getheight per handle (default 0)
  std::map<int, std::pair<int, int>> positions;  ///< J_getpos per handle (default 0, 0)
  int keyCode = 0, keyChar = 0;                  ///< J_getkeycode / J_getkeychar
};

/// An object the toolkit made, as made: what a window looks like, whatever order it was built in.
struct ToolkitObject {
  std::string maker;         ///< the call that made it, e.g. "J_menuitem"
  int parent = 0;            ///< the frame, menu bar, menu, canvas or dialog it belongs to
  std::string label;         ///< title, label or text; empty where there is none
  std::vector<int> numbers;  ///< canvas width and height, listener kind, field columns
  int shortcut = 0;          ///< the letter of J_setshortcut, 0 when none
};

struct ToolkitRecord {
  std::vector<std::string> calls;        ///< e.g. J_setcolor(17, 160, 120, 0) or J_frame("kammel3")
  std::map<int, std::string> fieldText;  ///< last J_settext per field
  std::map<int, ToolkitObject> objects;  ///< every object made, by handle
  int lastHandle = 0;                    ///< handles are 1, 2, 3, ... in creation order
};

/// The script and the record of the one fake toolkit; Reset clears both.
ToolkitScript& Script();
ToolkitRecord& Record();
void Reset();

/// The recorded calls whose text starts with prefix (all of them for an empty prefix).
std::vector<std::string> CallsStartingWith(const std::string& prefix);

}  // namespace fake
