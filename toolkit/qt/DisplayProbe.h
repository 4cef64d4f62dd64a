// Which Qt platform to start on, found before Qt is asked: Qt aborts on a display it cannot
// reach, and the program must learn of it as a plain failure instead.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace jqt {

/// What the choice looks at; the system one reads the environment, sockets and plugin folders.
struct DisplayEnvironment {
  std::function<std::optional<std::string>(const std::string& name)> variable;
  std::function<bool(const std::string& display)> xServerAnswers;
  std::function<bool(const std::string& socketPath)> waylandAnswers;
  std::function<bool(const std::string& platform)> pluginInstalled;
};

DisplayEnvironment SystemDisplayEnvironment();

/// The platform argument for Qt ("xcb", "offscreen:fontengine=freetype", ...), or empty when
/// no platform can be started. A QT_QPA_PLATFORM list is tried in its order; without one,
/// X11 and Wayland are tried, Wayland first in a Wayland session.
std::string ChoosePlatform(const DisplayEnvironment& environment);

}  // namespace jqt
