// One of our programs on the harness's X server, driven through its menus and dialogs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/Harness.h"

namespace e2e {

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

class ProgramDriver {
 public:
  /// Starts the executable on the session's display and waits for its window, titled title.
  ProgramDriver(const XSession& session, const std::string& executable, const std::string& title);

  bool ok() const { return window_.has_value(); }
  const std::string& window() const { return *window_; }
  Process& process() { return *process_; }

  /// Clicks menu number menu (0 Datei, 1 Grafik, 2 Run) and chooses its item number item.
  void ChooseMenu(int menu, int item);
  /// Clicks a menu's title; whether its menu opened within timeout (not while the program is
  /// busy: it fetches no event then).
  bool OpenMenu(int menu, Duration timeout);
  /// Answers the next dialog titled title: types text (if any) over the preset, then Enter.
  /// False when no such dialog came, or it did not go away.
  bool AnswerDialog(const std::string& title, const std::string& text = "");
  /// The text in the field of the dialog titled title, read through the clipboard.
  std::string DialogText(const std::string& title);
  /// Width of the newest visible dialog titled title, or 0.
  int DialogWidth(const std::string& title);

  /// The window's picture, and the canvas inside it (the client area below the menu bar).
  Image Shot() const;
  Rect Canvas() const;
  /// Number of words of text found in the menu bar.
  int MenuTitleCount() const;
  void ClickCanvas(int x, int y) const;
  void Key(const std::string& keys) const;
  void Close() const;

 private:
  std::vector<std::pair<int, int>> MenuTitles(const Image& shot) const;

  const XSession& session_;
  std::unique_ptr<Process> process_;
  std::optional<std::string> window_;
  std::vector<std::pair<int, int>> menuTitles_;  ///< found once: the menu bar never changes
};

/// Where the tests find the programs: the bin/ folder of the build they belong to.
std::string ProgramPath(const std::string& name);

/// Saves a picture as <name>.png in the folder KAMMEL_E2E_SHOTS names, when it names one: the
/// README's pictures come from here.
void KeepShot(const Image& shot, const std::string& name);

}  // namespace e2e
