// The Qt 6 Widgets backend of the J_ toolkit.
//
// Supports:
//  [x] Connection: X11, Wayland (when Qt's plugin is installed) or the platform QT_QPA_PLATFORM
//      names (offscreen, minimal); J_start returns 0, silently, when none can be reached.
//  [x] Frames with a menu bar, menus and items; Ctrl+letter shortcuts on items; a frame
//      appears at the next event turn, at its packed size.
//  [x] Dialogs with labels, text fields and buttons; a row or a one-column layout; a hidden
//      dialog is disposed of at the next event turn. Dialogs are application-modal, keep the
//      size they are shown at, offer no minimise or maximise, and come back when iconified.
//  [x] A canvas kept in a backing image, drawn pixel-exact without antialiasing, growing with
//      its frame; 16 named colours. What a resize uncovers shows the canvas's background
//      until the canvas draws there (X11).
//  [x] Key listeners on windows; mouse listeners (press, release, drag, move) on canvases.
//  [x] Latin-1 texts both ways; field texts cut at 254 characters.
//  [x] Wrong handles are ignored (0 as result).
//  [ ] Fonts and text drawing (J_setfontname only records the choice), images, timers.
//  [ ] Calls from any thread other than the one that called J_start.
#pragma once

#include <QPointer>
#include <QtGlobal>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/qt/Registry.h"

// Only the J_ functions leave the library.
#pragma GCC visibility push(default)
#include "toolkit/japi.h"
#pragma GCC visibility pop

class QApplication;
class QWidget;

namespace jqt {

class CanvasWidget;
class EventTranslator;

/// All state of the backend for one connection and across connections.
struct Backend {
  std::unique_ptr<QApplication> app;
  /// QApplication keeps references to these for its whole life.
  int argc = 0;
  std::vector<std::string> argStorage;
  std::vector<char*> argv;
  QtMessageHandler previousHandler = nullptr;

  std::deque<int> events;  ///< fired handles, oldest first
  Registry registry;
  std::unique_ptr<EventTranslator> translator;
  std::vector<QPointer<CanvasWidget>> dirtyCanvases;  ///< drawn on since the last repaint
  std::vector<QPointer<QWidget>> framesToShow;
  std::vector<QPointer<QWidget>> dialogsToDispose;
};

/// The one backend state.
Backend& State();

/// Queues a fired handle.
void Post(int handle);
/// Queues a handle unless it is already the newest event: bursts of moves count once.
void PostCoalesced(int handle);
/// Shows a frame at the next turn of the event loop, when it has its packed size, so that the
/// window manager places it whole rather than placing the empty frame first.
void ShowSoon(QWidget& frame);
/// Deletes a hidden dialog at the next turn of the event loop: every dialog the program asks
/// with is a new one, and each kept would cost a window's memory.
void DisposeSoon(QWidget& dialog);
/// Drops what ShowSoon or DisposeSoon planned for a window.
void ForgetPlans(const QWidget& window);
/// Hands what was drawn, the frames to be shown and the dialogs to go to the screen.
void UpdateScreen();

/// Latin-1 bytes to text; a null pointer is the empty text.
QString FromLatin1(const char* text);

}  // namespace jqt
