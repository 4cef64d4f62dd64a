// What an X11 window manager and server are told beyond what Qt tells them. Elsewhere (the
// offscreen platform, Wayland) every call is a no-op.
#pragma once

#include <QRgb>

class QWidget;

namespace jqt {

/// Has the server fill what a window has not drawn yet, such as the strip a resize uncovers
/// before the program repaints, in this colour at once.
void SetUndrawnColour(QWidget& window, QRgb colour);

/// Keeps the window manager from offering to iconify a dialog about to be shown, where its
/// Motif hints do not.
void OfferNoIconify(QWidget& dialog);

}  // namespace jqt
