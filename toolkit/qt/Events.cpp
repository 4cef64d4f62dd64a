#include "toolkit/qt/Events.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QWidget>

#include "toolkit/qt/QtBackend.h"
#include "toolkit/qt/Windows.h"

namespace jqt {
namespace {

struct KeyName {
  int qtKey;
  int code;
};

constexpr KeyName kNamedKeys[] = {
    {Qt::Key_Left, 37},   {Qt::Key_Up, 38},       {Qt::Key_Right, 39},  {Qt::Key_Down, 40},
    {Qt::Key_Home, 36},   {Qt::Key_End, 35},      {Qt::Key_PageUp, 33}, {Qt::Key_PageDown, 34},
    {Qt::Key_Insert, 45}, {Qt::Key_Delete, 46},   {Qt::Key_Return, 10}, {Qt::Key_Enter, 10},
    {Qt::Key_Escape, 27}, {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9},     {Qt::Key_Backtab, 9},
    {Qt::Key_Space, 32},
};

bool IsEnter(int qtKey) {
  return qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter;
}

// The window whose key listeners hear a key that reached this entry.
Entry* KeyWindow(Entry& entry) {
  if (IsWindow(entry)) return &entry;
  Entry* owner = State().registry.Find(entry.owner);
  return owner && IsWindow(*owner) ? owner : nullptr;
}

}  // namespace

int KeyCode(int qtKey) {
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return 112 + (qtKey - Qt::Key_F1);
  for (const KeyName& named : kNamedKeys) {
    if (named.qtKey == qtKey) return named.code;
  }
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
    return qtKey;
  }
  if (qtKey > Qt::Key_Space && qtKey <= 0xff) return 256 + qtKey;
  return 512 + (qtKey & 0xffff);
}

int KeyChar(const QKeyEvent& key) {
  if (IsEnter(key.key())) return 10;
  if (key.key() == Qt::Key_Escape) return 27;
  const QString text = key.text();
  if (text.isEmpty()) return 0;
  const char16_t character = text.front().unicode();
  return character <= 0xff ? character : 0;
}

void EventTranslator::Watch(const Entry& entry) {
  const int handle = entry.handle;
  if (auto* action = qobject_cast<QAction*>(entry.object.data())) {
    connect(action, &QAction::triggered, this, [handle] { Post(handle); });
  } else if (auto* button = qobject_cast<QPushButton*>(entry.object.data())) {
    connect(button, &QPushButton::clicked, this, [handle] { Post(handle); });
  } else if (entry.object) {
    entry.object->installEventFilter(this);
  }
}

void EventTranslator::TrackMoves(const Entry& canvas) {
  if (QWidget* widget = WidgetOf(canvas)) widget->setMouseTracking(true);
}

bool EventTranslator::eventFilter(QObject* watched, QEvent* event) {
  Entry* entry = State().registry.FindObject(watched);
  if (!entry) return false;
  switch (event->type()) {
    case QEvent::Close:
      return OnClose(*entry, event);
    case QEvent::WindowStateChange:
      OnWindowState(*entry);
      return false;
    case QEvent::KeyPress:
      return OnKey(*entry, *static_cast<QKeyEvent*>(event));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:  // what the second press of a double click comes as
      OnMouse(*entry, 0);
      return false;
    case QEvent::MouseButtonRelease:
      OnMouse(*entry, 1);
      return false;
    case QEvent::MouseMove:
      OnMouse(*entry, static_cast<QMouseEvent*>(event)->buttons() ? 2 : 4);
      return false;
    default:
      return false;
  }
}

// The close box only reports; the program decides whether the window goes.
bool EventTranslator::OnClose(Entry& entry, QEvent* event) {
  if (!IsWindow(entry)) return false;
  event->ignore();
  Post(entry.handle);
  return true;
}

// Later: the state change is still on its way through Qt.
void EventTranslator::OnWindowState(const Entry& entry) {
  const QWidget* window = WidgetOf(entry);
  if (IsWindow(entry) && window && window->isMinimized()) {
    QMetaObject::invokeMethod(this, &BringBackModalDialog, Qt::QueuedConnection);
  }
}

bool EventTranslator::OnKey(Entry& entry, const QKeyEvent& key) {
  Entry* window = KeyWindow(entry);
  if (window && window->kind == Kind::Dialog && key.key() == Qt::Key_Escape) {
    Post(window->handle);  // like the close box: reported, never obeyed
    return true;
  }
  if (entry.kind == Kind::TextField && IsEnter(key.key())) {
    Post(entry.handle);
    return true;
  }
  if (!window || window->listeners.empty()) return false;
  for (const int handle : window->listeners) {
    Entry* listener = State().registry.Find(handle, Kind::KeyListener);
    if (!listener || !listener->enabled) continue;
    listener->keyCode = KeyCode(key.key());
    listener->keyChar = KeyChar(key);
    Post(handle);
  }
  return true;
}

void EventTranslator::OnMouse(Entry& canvas, int kind) {
  if (canvas.kind != Kind::Canvas) return;
  for (const int handle : canvas.listeners) {
    const Entry* listener = State().registry.Find(handle, Kind::MouseListener);
    if (!listener || !listener->enabled || listener->detail != kind) continue;
    if (kind == 2 || kind == 4) {
      PostCoalesced(handle);
    } else {
      Post(handle);
    }
  }
}

}  // namespace jqt
