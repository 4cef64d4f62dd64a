// What an X11 window manager is told beyond what Qt tells it. Elsewhere (the offscreen
// platform, Wayland) every call is a no-op.
#pragma once

class QWidget;

namespace jqt {

/// Keeps the window manager from offering to iconify a dialog about to be shown, where its
/// Motif hints do not.
void OfferNoIconify(QWidget& dialog);

}  // namespace jqt
