#include "toolkit/WindowManager.h"

#include <QGuiApplication>
#include <QWidget>
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
