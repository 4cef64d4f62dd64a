#include "toolkit/qt/DisplayProbe.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLibraryInfo>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace jqt {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(separator, start), text.size());
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// libxcb is what Qt's X11 plugin uses; loading it here keeps it out of the build.
bool XServerAnswers(const std::string& display) {
  void* xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
  if (!xcb) return false;
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
  const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
  bool answers = false;
  if (connect && hasError && disconnect) {
    void* connection = connect(display.c_str(), nullptr);
    answers = connection && hasError(connection) == 0;
    if (connection) disconnect(connection);
  }
  dlclose(xcb);
  return answers;
}

bool SocketAnswers(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool answers =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return answers;
}

std::optional<std::string> Variable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value ? std::optional<std::string>(value) : std::nullopt;
}

std::string PluginFile(const std::string& platform) {
  if (platform == "wayland") return "libqwayland-generic.so";
  return "libq" + platform + ".so";
}

bool PluginInstalled(const std::string& platform) {
  std::vector<std::string> folders;
  if (const auto path = Variable("QT_QPA_PLATFORM_PLUGIN_PATH")) folders.push_back(*path);
  if (const auto paths = Variable("QT_PLUGIN_PATH")) {
    for (const std::string& path : Split(*paths, ':'))
      folders.push_back(path + "/platforms");
  }
  folders.push_back(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms");
  std::error_code error;
  for (const std::string& folder : folders) {
    if (std::filesystem::exists(folder + "/" + PluginFile(platform), error)) return true;
  }
  return false;
}

std::string WaylandSocket(const DisplayEnvironment& environment) {
  const std::string name = environment.variable("WAYLAND_DISPLAY").value_or("wayland-0");
  if (!name.empty() && name.front() == '/') return name;
  const auto runtime = environment.variable("XDG_RUNTIME_DIR");
  return runtime && !runtime->empty() ? *runtime + "/" + name : std::string();
}

// Only platforms whose reachability can be told beforehand are started.
bool Usable(const std::string& platform, const DisplayEnvironment& environment) {
  if (platform == "offscreen" || platform == "minimal") {
    return environment.pluginInstalled(platform);
  }
  if (platform == "xcb") {
    const std::string display = environment.variable("DISPLAY").value_or("");
    return !display.empty() && environment.pluginInstalled(platform) &&
           environment.xServerAnswers(display);
  }
  if (platform == "wayland" || platform == "wayland-egl") {
    const std::string socket = WaylandSocket(environment);
    return !socket.empty() && environment.pluginInstalled(platform) &&
           environment.waylandAnswers(socket);
  }
  return false;
}

}  // namespace

DisplayEnvironment SystemDisplayEnvironment() {
  return {Variable, XServerAnswers, SocketAnswers, PluginInstalled};
}

std::string ChoosePlatform(const DisplayEnvironment& environment) {
  std::vector<std::string> candidates;
  const std::string requested = environment.variable("QT_QPA_PLATFORM").value_or("");
  if (!requested.empty()) {
    candidates = Split(requested, ';');
  } else {
    const bool waylandSession = environment.variable("XDG_SESSION_TYPE") == "wayland";
    const bool waylandNamed = environment.variable("WAYLAND_DISPLAY").has_value();
    if (waylandSession) candidates.push_back("wayland");
    candidates.push_back("xcb");
    if (!waylandSession && waylandNamed) candidates.push_back("wayland");
  }
  for (const std::string& candidate : candidates) {
    if (Usable(candidate.substr(0, candidate.find(':')), environment)) return candidate;
  }
  return {};
}

}  // namespace jqt
