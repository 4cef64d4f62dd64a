// Helpers shared by the window-making and window-state calls.
#pragma once

#include <QString>

class QWidget;

namespace jqt {

struct Entry;

/// Characters a text field holds and J_gettext hands out at most.
inline constexpr int kMaxFieldText = 254;

/// The live frame or dialog of a handle, or null.
Entry* FindWindow(int handle);
/// The widget a window lays its children out in: a frame's central widget, a dialog itself.
QWidget* ContainerOf(const Entry& window);
/// Lays a window's children out again after its arrangement changed.
void Relayout(Entry& window);
/// Latin-1 text for a menu, item or button, its '&' shown rather than taken as a mnemonic.
QString MenuText(const char* text);
/// Restores the open modal dialog and its frame when either was iconified, and activates it.
void BringBackModalDialog();

}  // namespace jqt
