#include "toolkit/qt/WindowManager.h"

#include <QGuiApplication>
#include <QWidget>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <xcb/xcb.h>

namespace jqt {
namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> Take(T* reply) {
  return Reply<T>(reply, &std::free);
}

// Qt's own connection, when the program runs on an X server.
xcb_connection_t* Connection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, std::string_view name) {
  const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.data());
  const auto reply = Take(xcb_intern_atom_reply(c, cookie, nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

Reply<xcb_get_property_reply_t> Property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name,
                                         xcb_atom_t type) {
  const auto cookie = xcb_get_property(c, 0, window, name, type, 0, 256);
  return Take(xcb_get_property_reply(c, cookie, nullptr));
}

const xcb_visualtype_t* VisualOf(xcb_connection_t* c, xcb_window_t window) {
  const auto attributes =
      Take(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
  if (!attributes) return nullptr;
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (; screens.rem; xcb_screen_next(&screens)) {
    auto depths = xcb_screen_allowed_depths_iterator(screens.data);
    for (; depths.rem; xcb_depth_next(&depths)) {
      auto visuals = xcb_depth_visuals_iterator(depths.data);
      for (; visuals.rem; xcb_visualtype_next(&visuals)) {
        if (visuals.data->visual_id == attributes->visual) return visuals.data;
      }
    }
  }
  return nullptr;
}

// A channel of 0..255 scaled into the bits its mask gives it.
uint32_t Channel(int value, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  return static_cast<uint32_t>(value) * (mask >> shift) / 255 << shift;
}

// The name the running window manager gives itself, empty when none says.
std::string ManagerName(xcb_connection_t* c, xcb_window_t window) {
  const auto tree = Take(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
  if (!tree) return {};
  const auto check = Property(c, tree->root, Atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
  if (!check || check->format != 32 || xcb_get_property_value_length(check.get()) < 4) return {};
  xcb_window_t manager = XCB_WINDOW_NONE;
  std::memcpy(&manager, xcb_get_property_value(check.get()), sizeof manager);
  const auto name = Property(c, manager, Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING"));
  if (!name || name->format != 8) return {};
  return {static_cast<const char*>(xcb_get_property_value(name.get())),
          static_cast<std::size_t>(xcb_get_property_value_length(name.get()))};
}

}  // namespace

void SetUndrawnColour(QWidget& window, QRgb colour) {
  xcb_connection_t* c = Connection();
  const auto id = static_cast<xcb_window_t>(window.internalWinId());
  if (!c || !id) return;
  const xcb_visualtype_t* visual = VisualOf(c, id);
  if (!visual || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR) return;
  const uint32_t pixel = Channel(qRed(colour), visual->red_mask) |
                         Channel(qGreen(colour), visual->green_mask) |
                         Channel(qBlue(colour), visual->blue_mask);
  xcb_change_window_attributes(c, id, XCB_CW_BACK_PIXEL, &pixel);
  xcb_flush(c);
}

// Openbox offers to iconify any dialog, Motif hints or not, and iconifies its window along
// with it; a toolbar it never iconifies on its own. It takes the first type it knows, so the
// dialog type stays behind it. Other managers heed the hints and keep seeing a dialog.
void OfferNoIconify(QWidget& dialog) {
  xcb_connection_t* c = Connection();
  if (!c) return;
  const auto id = static_cast<xcb_window_t>(dialog.winId());
  if (ManagerName(c, id) != "Openbox") return;
  const xcb_atom_t types[] = {Atom(c, "_NET_WM_WINDOW_TYPE_TOOLBAR"),
                              Atom(c, "_NET_WM_WINDOW_TYPE_DIALOG")};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, Atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM,
                      32, 2, types);
  xcb_flush(c);
}

}  // namespace jqt
