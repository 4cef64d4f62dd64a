// The end-to-end harness: a real X server with a window manager, a program started as a user
// would, driven with xdotool and checked by the pixels of screenshots. Every wait is bounded.
#pragma once

#include <sys/types.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;

/// A child process; killed (and reaped) when still running at destruction.
class Process {
 public:
  /// Starts argv with the current environment changed by env (an empty value unsets it);
  /// stdout and stderr go to files of their own; passFd, when given, becomes the child's fd 3.
  Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
          int passFd = -1);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  /// The exit status, or nothing if the process is still running after timeout (or was killed
  /// by a signal: then -signal).
  std::optional<int> Wait(Duration timeout);
  bool Running();
  pid_t pid() const { return pid_; }
  std::string Stdout() const;
  std::string Stderr() const;
  void Kill();

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  std::string outPath_, errPath_;
};

/// How long a wait for what a test needs (a window mapped, a menu open, a dialog gone) may
/// take: generous, so that a machine busy with other work, or a sanitized build, is not taken
/// for a fault. A correct program gets there long before; a broken one fails the test then.
inline constexpr Duration kPatience = std::chrono::seconds(90);

/// Runs a command to its end (at most timeout) and returns its stdout; status in *status.
std::string Run(const std::vector<std::string>& argv, const std::string& display,
                Duration timeout = kPatience, int* status = nullptr);

/// An RGB image read from a screenshot.
struct Image {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;

  struct Pixel {
    std::uint8_t r, g, b;
    bool operator==(const Pixel&) const = default;
  };
  Pixel At(int x, int y) const;
  /// Every colour in the rectangle with its pixel count.
  std::map<std::uint32_t, long> Histogram(int x0, int y0, int x1, int y1) const;
  bool SavePng(const std::string& path) const;
};

/// A picture file (PNG, say) as ImageMagick decodes it; empty when it cannot.
Image ReadImage(const std::string& path);

constexpr std::uint32_t Rgb(int r, int g, int b) {
  return static_cast<std::uint32_t>(r << 16 | g << 8 | b);
}

/// Polls until ready() holds or timeout passes; returns the last ready().
template <class Ready>
bool WaitFor(Ready ready, Duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return ready();
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

/// Xvfb on a free display, with a window manager managing its windows: openbox, or icewm
/// when KAMMEL_E2E_WM says so; both stop at destruction.
class XSession {
 public:
  XSession();
  ~XSession();
  const std::string& display() const { return display_; }
  const std::string& manager() const { return managerName_; }
  bool ok() const { return ok_; }

  /// The id of the visible window titled exactly title, waiting up to timeout.
  std::optional<std::string> FindWindow(const std::string& title,
                                        Duration timeout = kPatience) const;
  /// The visible windows titled exactly title.
  std::vector<std::string> Windows(const std::string& title) const;
  /// The visible windows of a process: its frame, dialogs and open menus.
  std::vector<std::string> WindowsOf(pid_t pid) const;
  /// Every window of a process, shown or not.
  std::vector<std::string> AllWindowsOf(pid_t pid) const;
  bool ManagerRunning() const { return manager_ && manager_->Running(); }
  std::string ManagerSaid() const { return manager_ ? manager_->Stderr() : std::string(); }
  Image Screenshot(const std::string& window) const;
  /// Window geometry on the screen: x, y, width, height.
  std::optional<std::array<int, 4>> Geometry(const std::string& window) const;
  /// Whether the window is mapped and its ancestors too (not iconified, say).
  bool Viewable(const std::string& window) const;
  /// The window with the keyboard, in xdotool's decimal form; empty when none has it.
  std::string ActiveWindow() const;
  /// A property of a window as xprop prints it.
  std::string Property(const std::string& window, const std::string& name) const;
  /// Where on the screen the close button of a window's frame is: at the right end of the
  /// title bar, in the default themes of both window managers.
  std::optional<std::pair<int, int>> CloseButton(const std::string& window) const;

  /// Activates the window, then keys or types; false (and nothing sent) when the window did
  /// not become active.
  bool Key(const std::string& window, const std::string& keys) const;
  bool Type(const std::string& window, const std::string& text) const;
  void Click(int screenX, int screenY) const;
  void Close(const std::string& window) const;    ///< the close box: a WM close request
  void Iconify(const std::string& window) const;  ///< a WM request, as from a task bar
  /// Asks the window manager for a new size of the window's client area.
  void Resize(const std::string& window, int width, int height) const;
  std::string Clipboard() const;
  void SetClipboard(const std::string& text) const;

 private:
  bool ShowsAWindow() const;

  std::string display_, managerName_;
  std::unique_ptr<Process> server_, manager_;
  int displayFd_ = -1;  ///< kept open while the server runs: it may still write to it
  bool ok_ = false;
};

}  // namespace e2e
