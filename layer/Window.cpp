#include "layer/Window.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "layer/Palette.h"
#include "toolkit/japi.h"

namespace layer {

// Constant-initialised: the start-up writes it before any dynamic initialiser may have run.
constinit GraphicsWindowRecord GraphicsWindow{};

namespace {

constexpr std::size_t ExtensionLength = 4;  // a point and three letters, ".exe"

void BuildMenus() {
  auto& w = GraphicsWindow;
  w.MenuBar = J_menubar(w.Frame);
  w.MenuDatei = J_menu(w.MenuBar, "Datei");
  w.MenuGrafik = J_menu(w.MenuBar, "Grafik");
  w.MenuRun = J_menu(w.MenuBar, "Run");
  w.ItemQuit = J_menuitem(w.MenuDatei, "Quit");
  J_setshortcut(w.ItemQuit, 67);
  w.ItemClear = J_menuitem(w.MenuGrafik, " Grafik l\xf6schen");
  w.ItemSave = J_menuitem(w.MenuGrafik, " Grafik speichern");
  w.ItemInput = J_menuitem(w.MenuRun, "Eingabe");
  w.ItemStart = J_menuitem(w.MenuRun, "Start");
  w.ItemStop = J_menuitem(w.MenuRun, "Stop ");
}

void BuildCanvas() {
  auto& w = GraphicsWindow;
  w.Canvas = J_canvas(w.Frame, CanvasWidth, CanvasHeight);
  w.MouseKind4 = J_mouselistener(w.Canvas, 4);
  w.MouseKind0 = J_mouselistener(w.Canvas, 0);
  w.MouseKind1 = J_mouselistener(w.Canvas, 1);
  w.MouseKind2 = J_mouselistener(w.Canvas, 2);
}

}  // namespace

void OpenProgramWindow() {
  auto& w = GraphicsWindow;
  w.PollEvents = false;
  if (J_start() == 0) {
    // Without a display nothing can work; say so and fail, so scripts see the error.
    std::fputs("cannot connect to server\n", stdout);
    std::fflush(stdout);
    std::exit(1);
  }
  w.Frame = J_frame(ProgramTitle().c_str());
  BuildMenus();
  w.KeyListener = J_keylistener(w.Frame);
  J_show(w.Frame);
  J_setborderlayout(w.Frame);
  BuildCanvas();
  J_show(w.Frame);
  J_pack(w.Frame);
  InitPalette();
  J_setfontname(w.Canvas, 1);
}

std::string ProgramTitle(std::string_view executablePath) {
  const auto backslash = executablePath.rfind('\\');
  if (backslash != std::string_view::npos) {
    const auto name = executablePath.substr(backslash + 1);
    if (name.size() <= ExtensionLength) return {};
    return std::string(name.substr(0, name.size() - ExtensionLength));
  }
  const auto slash = executablePath.rfind('/');
  auto name = slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
  // A leading point marks a hidden file, not an extension.
  if (name.size() > ExtensionLength && name[name.size() - ExtensionLength] == '.') {
    name.remove_suffix(ExtensionLength);
  }
  return std::string(name);
}

std::string ProgramTitle() {
  std::vector<char> path(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < path.size()) {
      return ProgramTitle(std::string_view(path.data(), static_cast<std::size_t>(length)));
    }
    path.resize(path.size() * 2);  // possibly truncated: try again with more room
  }
}

std::int32_t WaitEvent() {
  return GraphicsWindow.PollEvents ? J_getaction() : J_nextaction();
}

void CloseProgramWindow() {
  J_quit();
}

}  // namespace layer
