// Reaching behind the J_ handles, for tests and benchmarks only: the Qt objects, the canvas's
// pixels, and a turn of Qt's event loop. Programs use toolkit/japi.h alone.
#pragma once

#include <QImage>

class QAction;
class QWidget;

#pragma GCC visibility push(default)
namespace jqt::testing {

/// The widget of a handle (frame, menu bar, menu, canvas, dialog, label, field, button).
QWidget* Widget(int handle);
/// The action of a menu item, or of a menu.
QAction* Action(int handle);
/// The canvas's backing image with all drawing so far (undrawn pixels transparent).
QImage CanvasBacking(int canvas);
/// What the canvas shows: the backing image over its background, at the canvas's size.
QImage CanvasPicture(int canvas);
/// Processes pending Qt events without waiting and without taking any fired handle.
void ProcessEvents();
/// The number of fired handles waiting in the queue.
int QueuedEvents();
/// The number of live handles.
int LiveHandles();

}  // namespace jqt::testing
#pragma GCC visibility pop
