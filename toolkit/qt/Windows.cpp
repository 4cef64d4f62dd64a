// Making windows, menus, dialog widgets and listeners, and laying windows out.
#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <algorithm>

#include "toolkit/qt/Canvas.h"
#include "toolkit/qt/Events.h"
#include "toolkit/qt/QtBackend.h"
#include "toolkit/qt/Windows.h"

namespace jqt {
namespace {

// A line edit as wide as the number of characters asked for.
class FieldWidget : public QLineEdit {
 public:
  explicit FieldWidget(int columns) : columns_(std::clamp(columns, 1, 500)) {
    setMaxLength(kMaxFieldText);
  }
  QSize sizeHint() const override {
    const QSize base = QLineEdit::sizeHint();  // Qt sizes it for 17 characters
    const int advance = fontMetrics().horizontalAdvance(QLatin1Char('x'));
    return {base.width() + (columns_ - 17) * advance, base.height()};
  }

 private:
  int columns_;
};

void Place(QBoxLayout& layout, Arrangement arrangement, QWidget* widget) {
  switch (arrangement) {
    case Arrangement::Border:
      layout.addWidget(widget);
      break;
    case Arrangement::Column:
      layout.addWidget(widget, 0, Qt::AlignLeft);
      break;
    case Arrangement::Row:
      layout.addWidget(widget, 0, Qt::AlignVCenter);
      break;
  }
}

// Wide enough for a window manager to show the whole title beside its buttons: titles are
// usually bold, and the buttons and icon take about 100 pixels.
int TitleWidth(const QString& title) {
  QFont font = QApplication::font();
  font.setBold(true);
  return QFontMetrics(font).horizontalAdvance(title) + 110;
}

// Registers a new object and lets the translator watch it; 0 (and no object) when full.
template <class Object>
int Register(Kind kind, Object* object, int owner) {
  const int handle = State().registry.Add(kind, object, owner);
  if (handle == 0) {
    delete object;
    return 0;
  }
  State().translator->Watch(*State().registry.Find(handle));
  return handle;
}

template <class Widget>
int AddChild(Entry& window, Kind kind, Widget* widget) {
  QWidget* box = ContainerOf(window);
  widget->setParent(box);
  const int handle = Register(kind, widget, window.handle);
  if (handle == 0) return 0;
  window.children.push_back(handle);
  if (auto* layout = qobject_cast<QBoxLayout*>(box->layout())) {
    Place(*layout, window.arrangement, widget);
  } else {
    Relayout(window);
  }
  if (box->isVisible()) widget->show();  // as children present when a window opens are
  return handle;
}

}  // namespace

Entry* FindWindow(int handle) {
  Entry* entry = State().registry.Find(handle);
  return entry && IsWindow(*entry) ? entry : nullptr;
}

QString FromLatin1(const char* text) {
  return text ? QString::fromLatin1(text) : QString();
}

QString MenuText(const char* text) {
  return FromLatin1(text).replace(u'&', QStringLiteral("&&"));
}

QWidget* ContainerOf(const Entry& window) {
  if (auto* frame = qobject_cast<QMainWindow*>(window.object.data())) return frame->centralWidget();
  return WidgetOf(window);
}

void Relayout(Entry& window) {
  QWidget* box = ContainerOf(window);
  if (!box) return;
  delete box->layout();
  QBoxLayout* layout = window.arrangement == Arrangement::Row
                           ? static_cast<QBoxLayout*>(new QHBoxLayout(box))
                           : new QVBoxLayout(box);
  if (window.arrangement == Arrangement::Border) {
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
  }
  for (const int child : window.children) {
    const Entry* entry = State().registry.Find(child);
    if (QWidget* widget = entry ? WidgetOf(*entry) : nullptr) {
      Place(*layout, window.arrangement, widget);
    }
  }
}

}  // namespace jqt

using jqt::Entry;
using jqt::Kind;
using jqt::State;

extern "C" {

int J_frame(const char* title) {
  if (!State().app) return 0;
  auto* frame = new QMainWindow;
  frame->setWindowTitle(jqt::FromLatin1(title));
  frame->setCentralWidget(new QWidget);
  const int handle = jqt::Register(Kind::Frame, frame, 0);
  if (Entry* entry = State().registry.Find(handle)) {
    entry->arrangement = jqt::Arrangement::Border;
    jqt::Relayout(*entry);
  }
  return handle;
}

int J_menubar(int frame) {
  Entry* entry = State().registry.Find(frame, Kind::Frame);
  if (!entry) return 0;
  if (!State().registry.Find(entry->menuBar)) {
    QMenuBar* bar = static_cast<QMainWindow*>(entry->object.data())->menuBar();
    entry->menuBar = State().registry.Add(Kind::MenuBar, bar, frame);
  }
  return entry->menuBar;
}

int J_menu(int menubar, const char* label) {
  Entry* entry = State().registry.Find(menubar);
  QMenu* menu = nullptr;
  if (auto* bar = entry ? qobject_cast<QMenuBar*>(entry->object.data()) : nullptr) {
    menu = bar->addMenu(jqt::MenuText(label));
  } else if (auto* parent = entry ? qobject_cast<QMenu*>(entry->object.data()) : nullptr) {
    menu = parent->addMenu(jqt::MenuText(label));
  }
  return menu ? State().registry.Add(Kind::Menu, menu, menubar) : 0;
}

int J_menuitem(int menu, const char* label) {
  Entry* entry = State().registry.Find(menu, Kind::Menu);
  if (!entry) return 0;
  QAction* item = static_cast<QMenu*>(entry->object.data())->addAction(jqt::MenuText(label));
  return jqt::Register(Kind::MenuItem, item, menu);
}

int J_canvas(int frame, int width, int height) {
  Entry* window = jqt::FindWindow(frame);
  return window ? jqt::AddChild(*window, Kind::Canvas, new jqt::CanvasWidget(width, height)) : 0;
}

int J_dialog(int frame, const char* title) {
  Entry* owner = State().registry.Find(frame, Kind::Frame);
  if (!owner) return 0;
  auto* dialog = new QDialog(jqt::WidgetOf(*owner));
  // A dialog cannot be minimised or maximised: that would hide the program behind its frame.
  dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint);
  // Modal for Qt and the window manager alike, so that a click on the frame leaves the keyboard
  // with the dialog. The frame reports nothing meanwhile: the program would drop it anyway.
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->setWindowTitle(jqt::FromLatin1(title));
  dialog->setMinimumWidth(jqt::TitleWidth(dialog->windowTitle()));
  const int handle = jqt::Register(Kind::Dialog, dialog, frame);
  if (Entry* entry = State().registry.Find(handle)) jqt::Relayout(*entry);
  return handle;
}

int J_label(int dialog, const char* text) {
  Entry* window = jqt::FindWindow(dialog);
  if (!window) return 0;
  auto* label = new QLabel(jqt::FromLatin1(text));
  label->setTextFormat(Qt::PlainText);  // a prompt is never markup
  return jqt::AddChild(*window, Kind::Label, label);
}

int J_textfield(int dialog, int columns) {
  Entry* window = jqt::FindWindow(dialog);
  return window ? jqt::AddChild(*window, Kind::TextField, new jqt::FieldWidget(columns)) : 0;
}

int J_button(int dialog, const char* label) {
  Entry* window = jqt::FindWindow(dialog);
  return window ? jqt::AddChild(*window, Kind::Button, new QPushButton(jqt::MenuText(label))) : 0;
}

int J_keylistener(int frame) {
  Entry* window = jqt::FindWindow(frame);
  if (!window) return 0;
  const int handle = State().registry.Add(Kind::KeyListener, nullptr, frame);
  if (handle) window->listeners.push_back(handle);
  return handle;
}

int J_mouselistener(int canvas, int kind) {
  Entry* entry = State().registry.Find(canvas, Kind::Canvas);
  if (!entry || (kind != 0 && kind != 1 && kind != 2 && kind != 4)) return 0;
  const int handle = State().registry.Add(Kind::MouseListener, nullptr, canvas);
  if (!handle) return 0;
  State().registry.Find(handle)->detail = kind;
  entry->listeners.push_back(handle);
  if (kind == 4) State().translator->TrackMoves(*entry);
  return handle;
}

int J_getkeycode(int listener) {
  const Entry* entry = State().registry.Find(listener, Kind::KeyListener);
  return entry ? entry->keyCode : 0;
}

int J_getkeychar(int listener) {
  const Entry* entry = State().registry.Find(listener, Kind::KeyListener);
  return entry ? entry->keyChar : 0;
}

}  // extern "C"
