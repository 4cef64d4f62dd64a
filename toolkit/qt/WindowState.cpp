// Showing, enabling, sizing and placing objects, and the texts of fields.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <algorithm>
#include <cstring>

#include "toolkit/qt/Canvas.h"
#include "toolkit/qt/QtBackend.h"
#include "toolkit/qt/WindowManager.h"
#include "toolkit/qt/Windows.h"

namespace jqt {
namespace {

constexpr int kMaxSize = 16384;

// The action standing for a menu or an item, which have no widget to show or enable.
QAction* ActionOf(const Entry& entry) {
  if (auto* menu = qobject_cast<QMenu*>(entry.object.data())) return menu->menuAction();
  return qobject_cast<QAction*>(entry.object.data());
}

bool IsMenuPart(const Entry& entry) {
  return entry.kind == Kind::Menu || entry.kind == Kind::MenuItem;
}

// A dialog keeps the size it is shown at, so no window manager offers to resize or maximise
// it, and offers no way to iconify it.
void PrepareDialog(QWidget& dialog) {
  dialog.setFixedSize(dialog.size());
  OfferNoIconify(dialog);
}

void Restore(QWidget* window) {
  if (window && window->isMinimized()) {
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  }
}

void SetVisible(int handle, bool visible) {
  Entry* entry = State().registry.Find(handle);
  if (!entry) return;
  if (IsMenuPart(*entry)) {
    if (QAction* action = ActionOf(*entry)) action->setVisible(visible);
    return;
  }
  QWidget* widget = WidgetOf(*entry);
  if (!widget) return;
  ForgetPlans(*widget);
  if (entry->kind == Kind::Frame && visible) {
    ShowSoon(*widget);
    return;
  }
  if (entry->kind == Kind::Dialog && visible) PrepareDialog(*widget);
  widget->setVisible(visible);
  if (entry->kind == Kind::Dialog && !visible) DisposeSoon(*widget);
  if (visible && widget->isWindow()) {
    widget->raise();
    widget->activateWindow();
  }
}

// Qt disables a frame's dialogs with it; a dialog stays as the program last set it.
void KeepDialogsEnabled(QWidget& frame) {
  for (QDialog* dialog : frame.findChildren<QDialog*>(Qt::FindDirectChildrenOnly)) {
    const Entry* entry = State().registry.FindObject(dialog);
    if (entry && entry->enabled) dialog->setEnabled(true);
  }
}

void SetEnabled(int handle, bool enabled) {
  Entry* entry = State().registry.Find(handle);
  if (!entry) return;
  entry->enabled = enabled;
  if (IsMenuPart(*entry)) {
    if (QAction* action = ActionOf(*entry)) action->setEnabled(enabled);
  } else if (QWidget* widget = WidgetOf(*entry)) {
    widget->setEnabled(enabled);
    if (entry->kind == Kind::Frame) KeepDialogsEnabled(*widget);
  }
}

void Pack(QWidget& widget) {
  QLayout* layout = widget.layout();
  if (layout) layout->activate();
  widget.resize(widget.sizeHint()
                    .expandedTo(widget.minimumSizeHint())
                    .expandedTo(widget.minimumSize())
                    .boundedTo({kMaxSize, kMaxSize}));
  // A hidden window lays out only when shown; its children's sizes are asked for before that.
  if (layout && !widget.isVisible()) layout->setGeometry(widget.rect());
}

QWidget* FindWidget(int handle) {
  const Entry* entry = State().registry.Find(handle);
  return entry ? WidgetOf(*entry) : nullptr;
}

QLineEdit* FindField(int handle) {
  const Entry* entry = State().registry.Find(handle, Kind::TextField);
  return entry ? static_cast<QLineEdit*>(entry->object.data()) : nullptr;
}

int ShortcutKey(int letter) {
  if (letter >= 'a' && letter <= 'z') letter -= 'a' - 'A';
  const bool usable = (letter >= 'A' && letter <= 'Z') || (letter >= '0' && letter <= '9');
  return usable ? letter : 0;
}

}  // namespace

// Iconified, the dialog would leave the program waiting for an answer nobody can give, and
// with no task bar nobody could bring it back.
void BringBackModalDialog() {
  QWidget* dialog = QApplication::activeModalWidget();
  if (!dialog) return;
  Restore(dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr);
  Restore(dialog);
  dialog->raise();
  dialog->activateWindow();
}

}  // namespace jqt

using jqt::Entry;
using jqt::Kind;
using jqt::State;

extern "C" {

void J_show(int obj) {
  jqt::SetVisible(obj, true);
}
void J_hide(int obj) {
  jqt::SetVisible(obj, false);
}
void J_enable(int obj) {
  jqt::SetEnabled(obj, true);
}
void J_disable(int obj) {
  jqt::SetEnabled(obj, false);
}

void J_pack(int obj) {
  if (QWidget* widget = jqt::FindWidget(obj)) jqt::Pack(*widget);
}

void J_setborderlayout(int obj) {
  if (Entry* window = jqt::FindWindow(obj)) {
    window->arrangement = jqt::Arrangement::Border;
    jqt::Relayout(*window);
  }
}

void J_setflowlayout(int obj, int orientation) {
  Entry* window = jqt::FindWindow(obj);
  if (!window || (orientation != 0 && orientation != 1)) return;
  window->arrangement = orientation == 1 ? jqt::Arrangement::Column : jqt::Arrangement::Row;
  jqt::Relayout(*window);
}

void J_setshortcut(int item, int letter) {
  Entry* entry = State().registry.Find(item, Kind::MenuItem);
  const int key = jqt::ShortcutKey(letter);
  if (entry && key) {
    static_cast<QAction*>(entry->object.data())->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(key)));
  }
}

void J_setfontname(int canvas, int font) {
  if (Entry* entry = State().registry.Find(canvas, Kind::Canvas)) entry->detail = font;
}

void J_setsize(int obj, int width, int height) {
  Entry* entry = State().registry.Find(obj);
  QWidget* widget = entry ? jqt::WidgetOf(*entry) : nullptr;
  if (!widget) return;
  width = std::clamp(width, 0, jqt::kMaxSize);
  height = std::clamp(height, 0, jqt::kMaxSize);
  if (entry->kind == Kind::Canvas) {
    static_cast<jqt::CanvasWidget*>(widget)->SetRequestedSize(width, height);
  } else if (widget->isWindow() && widget->minimumSize() == widget->maximumSize()) {
    widget->setFixedSize(std::max(width, 1), std::max(height, 1));  // a dialog on the screen
  } else if (widget->isWindow()) {
    widget->resize(std::max(width, 1), std::max(height, 1));
  } else {
    widget->setFixedSize(width, height);  // in a layout, only a fixed size sticks
  }
}

void J_setpos(int obj, int x, int y) {
  if (QWidget* widget = jqt::FindWidget(obj)) widget->move(x, y);
}

void J_getpos(int obj, int* x, int* y) {
  const QWidget* widget = jqt::FindWidget(obj);
  const QPoint position = widget ? widget->pos() : QPoint();
  if (x) *x = position.x();
  if (y) *y = position.y();
}

int J_getwidth(int obj) {
  const QWidget* widget = jqt::FindWidget(obj);
  return widget ? widget->width() : 0;
}

int J_getheight(int obj) {
  const QWidget* widget = jqt::FindWidget(obj);
  return widget ? widget->height() : 0;
}

void J_settext(int obj, const char* text) {
  Entry* entry = State().registry.Find(obj);
  if (!entry) return;
  QObject* object = entry->object.data();
  if (auto* field = qobject_cast<QLineEdit*>(object)) {
    field->setText(jqt::FromLatin1(text));  // cut at the field's 254 characters
  } else if (auto* label = qobject_cast<QLabel*>(object)) {
    label->setText(jqt::FromLatin1(text));
  } else if (auto* button = qobject_cast<QPushButton*>(object)) {
    button->setText(jqt::MenuText(text));
  } else if (auto* menu = qobject_cast<QMenu*>(object)) {
    menu->setTitle(jqt::MenuText(text));
  } else if (auto* action = qobject_cast<QAction*>(object)) {
    action->setText(jqt::MenuText(text));
  } else if (IsWindow(*entry)) {
    jqt::WidgetOf(*entry)->setWindowTitle(jqt::FromLatin1(text));
  }
}

void J_setcurpos(int field, int position) {
  if (QLineEdit* edit = jqt::FindField(field)) {
    edit->setCursorPosition(std::clamp(position, 0, static_cast<int>(edit->text().size())));
  }
}

void J_selectall(int field) {
  if (QLineEdit* edit = jqt::FindField(field)) edit->selectAll();
}

void J_setfocus(int obj) {
  QWidget* widget = jqt::FindWidget(obj);
  if (!widget) return;
  widget->activateWindow();
  widget->setFocus(Qt::OtherFocusReason);
}

int J_gettext(int field, char* buffer) {
  if (!buffer) return 0;
  buffer[0] = '\0';
  const QLineEdit* edit = jqt::FindField(field);
  if (!edit) return 0;
  const QByteArray bytes = edit->text().toLatin1();  // '?' for what Latin-1 lacks
  const auto limit = std::min<qsizetype>(bytes.size(), jqt::kMaxFieldText);
  const auto count = static_cast<int>(strnlen(bytes.constData(), static_cast<std::size_t>(limit)));
  std::memcpy(buffer, bytes.constData(), static_cast<std::size_t>(count));
  buffer[count] = '\0';
  return count;
}

}  // extern "C"
