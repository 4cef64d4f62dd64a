#include "toolkit/qt/ToolkitTesting.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include "toolkit/qt/Canvas.h"
#include "toolkit/qt/QtBackend.h"

namespace jqt::testing {
namespace {

CanvasWidget* FindCanvas(int handle) {
  const Entry* entry = State().registry.Find(handle, Kind::Canvas);
  return entry ? static_cast<CanvasWidget*>(entry->object.data()) : nullptr;
}

}  // namespace

QWidget* Widget(int handle) {
  const Entry* entry = State().registry.Find(handle);
  return entry ? WidgetOf(*entry) : nullptr;
}

QAction* Action(int handle) {
  const Entry* entry = State().registry.Find(handle);
  if (!entry) return nullptr;
  if (auto* menu = qobject_cast<QMenu*>(entry->object.data())) return menu->menuAction();
  return qobject_cast<QAction*>(entry->object.data());
}

QImage CanvasBacking(int canvas) {
  CanvasWidget* widget = FindCanvas(canvas);
  return widget ? widget->Backing().copy() : QImage();
}

QImage CanvasPicture(int canvas) {
  CanvasWidget* widget = FindCanvas(canvas);
  return widget ? widget->Picture() : QImage();
}

void ProcessEvents() {
  if (!State().app) return;
  UpdateScreen();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

int LiveHandles() {
  return static_cast<int>(State().registry.Size());
}

int QueuedEvents() {
  return static_cast<int>(State().events.size());
}

}  // namespace jqt::testing
