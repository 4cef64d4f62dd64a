#include "tests/e2e/Harness.h"

#include "tests/support/ReadLine.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace e2e {
namespace {

std::string TempPath(const std::string& stem) {
  static int counter = 0;
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/kammel-e2e-" + std::to_string(getpid()) + "-" +
         std::to_string(counter++) + "-" + stem;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

[[noreturn]] void ExecChild(const std::vector<std::string>& argv,
                            const std::map<std::string, std::string>& env, const std::string& out,
                            const std::string& err, int passFd) {
  setpgid(0, 0);
  // No session bus: without one, Qt's bus thread tries to start one through X and may still
  // be reading when the program exits, which LeakSanitizer reports as libdbus's leak.
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kammel-e2e-bus", 1);
  for (const auto& [name, value] : env) {
    if (value.empty()) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int nullFd = open("/dev/null", O_RDONLY);
  dup2(outFd, 1);
  dup2(errFd, 2);
  dup2(nullFd, 0);
  if (passFd == 3) fcntl(3, F_SETFD, 0);  // keep it open across exec
  if (passFd >= 0 && passFd != 3) dup2(passFd, 3);
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

}  // namespace

Process::Process(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& env, int passFd)
    : outPath_(TempPath("out")), errPath_(TempPath("err")) {
  pid_ = fork();
  if (pid_ == 0) ExecChild(argv, env, outPath_, errPath_, passFd);
}

Process::~Process() {
  Kill();
  std::remove(outPath_.c_str());
  std::remove(errPath_.c_str());
}

std::optional<int> Process::Wait(Duration timeout) {
  if (status_ || pid_ <= 0) return status_;
  // Polled finely: most children are short xdotool calls, and tests make hundreds of them.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (auto pause = 1ms;; pause = std::min<Duration>(2 * pause, 20ms)) {
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(pause);
  }
}

bool Process::Running() {
  return !Wait(0ms).has_value();
}

void Process::Kill() {
  if (pid_ <= 0 || status_) return;
  kill(-pid_, SIGTERM);
  if (!Wait(2s)) {
    kill(-pid_, SIGKILL);
    Wait(5s);
  }
}

std::string Process::Stdout() const {
  return ReadFile(outPath_);
}
std::string Process::Stderr() const {
  return ReadFile(errPath_);
}

std::string Run(const std::vector<std::string>& argv, const std::string& display, Duration timeout,
                int* status) {
  Process process(argv, {{"DISPLAY", display}});
  const std::optional<int> result = process.Wait(timeout);
  if (status) *status = result.value_or(-1);
  return process.Stdout();
}

Image::Pixel Image::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return {0, 0, 0};
  const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
  return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

std::map<std::uint32_t, long> Image::Histogram(int x0, int y0, int x1, int y1) const {
  std::map<std::uint32_t, long> counts;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const Pixel p = At(x, y);
      ++counts[Rgb(p.r, p.g, p.b)];
    }
  }
  return counts;
}

bool Image::SavePng(const std::string& path) const {
  const std::string ppm = TempPath("shot.ppm");
  {
    std::ofstream out(ppm, std::ios::binary);
    out << "P6\n" << width << ' ' << height << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
  }
  int status = -1;
  Run({"convert", ppm, path}, "", kPatience, &status);
  std::remove(ppm.c_str());
  return status == 0;
}

namespace {

// A binary PPM (P6, maxval 255) as import writes it.
Image ParsePpm(const std::string& data) {
  Image image;
  std::istringstream in(data);
  std::string magic;
  int maxval = 0;
  in >> magic >> image.width >> image.height >> maxval;
  in.get();
  if (magic != "P6" || maxval != 255 || image.width <= 0 || image.height <= 0) return {};
  image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
  in.read(reinterpret_cast<char*>(image.rgb.data()),
          static_cast<std::streamsize>(image.rgb.size()));
  if (!in) return {};
  return image;
}

}  // namespace

// The server picks a free display itself and names it on a pipe: no race with other sessions.
Image ReadImage(const std::string& path) {
  return ParsePpm(Run({"convert", path, "-depth", "8", "ppm:-"}, "", kPatience));
}

namespace {

// How to start the window manager a session is asked for; nothing for one we do not know.
std::vector<std::string> ManagerCommand(const std::string& name) {
  if (name == "openbox") return {"openbox", "--sm-disable"};
  if (name == "icewm") return {"icewm"};
  return {};
}

}  // namespace

XSession::XSession() {
  const char* wanted = std::getenv("KAMMEL_E2E_WM");
  managerName_ = wanted && *wanted ? wanted : "openbox";
  const std::vector<std::string> manager = ManagerCommand(managerName_);
  if (manager.empty()) return;
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return;
  server_ = std::make_unique<Process>(
      std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1600x1200x24",
                               "-nolisten", "tcp", "-noreset"},
      std::map<std::string, std::string>{}, ready[1]);
  close(ready[1]);
  displayFd_ = ready[0];
  const std::string number = testing_support::ReadLine(displayFd_, 60s);
  if (number.empty() || !server_->Running()) return;
  display_ = ":" + number;
  manager_ =
      std::make_unique<Process>(manager, std::map<std::string, std::string>{{"DISPLAY", display_}});
  ok_ = WaitFor(
            [&] {
              return Run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, display_)
                         .find("window id") != std::string::npos;
            },
            kPatience) &&
        ShowsAWindow();
}

// Openbox names itself on the root before it takes windows: one mapped in between is never
// shown. The session is ready once a window of its own shows, mapped anew until one does; each
// wait longer than the last, for a busy machine.
bool XSession::ShowsAWindow() const {
  const std::string name = "kammel-e2e-probe";
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  for (Duration wait = 1s; std::chrono::steady_clock::now() < deadline;
       wait = std::min<Duration>(2 * wait, 30s)) {
    Process probe({"xev", "-name", name, "-geometry", "10x10"}, {{"DISPLAY", display_}});
    if (WaitFor([&] { return !Windows(name).empty(); }, wait)) return true;
  }
  return false;
}

XSession::~XSession() {
  manager_.reset();
  server_.reset();
  if (displayFd_ >= 0) close(displayFd_);
}

namespace {

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream lines(text);
  for (std::string word; lines >> word;)
    words.push_back(word);
  return words;
}

}  // namespace

std::vector<std::string> XSession::Windows(const std::string& title) const {
  return Words(Run({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, display_));
}

std::vector<std::string> XSession::WindowsOf(pid_t pid) const {
  return Words(Run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)}, display_));
}

std::vector<std::string> XSession::AllWindowsOf(pid_t pid) const {
  return Words(Run({"xdotool", "search", "--pid", std::to_string(pid)}, display_));
}

std::optional<std::string> XSession::FindWindow(const std::string& title, Duration timeout) const {
  std::vector<std::string> ids;
  WaitFor([&] { return !(ids = Windows(title)).empty(); }, timeout);
  if (ids.empty()) return std::nullopt;
  return ids.back();
}

Image XSession::Screenshot(const std::string& window) const {
  return ParsePpm(Run({"import", "-window", window, "-depth", "8", "ppm:-"}, display_, kPatience));
}

std::optional<std::array<int, 4>> XSession::Geometry(const std::string& window) const {
  // xwininfo, not xdotool: under a reparenting window manager only it gives the client area's
  // true place on the screen.
  std::istringstream lines(Run({"xwininfo", "-id", window}, display_));
  std::map<std::string, int> values;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::size_t start = line.find_first_not_of(' ');
    values[line.substr(start, colon - start)] = std::atoi(&line[colon + 1]);
  }
  const char* names[] = {"Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"};
  std::array<int, 4> geometry{};
  for (int n = 0; n < 4; ++n) {
    if (!values.contains(names[n])) return std::nullopt;
    geometry[n] = values[names[n]];
  }
  return geometry;
}

bool XSession::Viewable(const std::string& window) const {
  return Run({"xwininfo", "-id", window}, display_).find("Map State: IsViewable") !=
         std::string::npos;
}

std::string XSession::ActiveWindow() const {
  const std::vector<std::string> words = Words(Run({"xdotool", "getactivewindow"}, display_));
  return words.empty() ? std::string() : words.front();
}

std::string XSession::Property(const std::string& window, const std::string& name) const {
  return Run({"xprop", "-id", window, name}, display_);
}

std::optional<std::pair<int, int>> XSession::CloseButton(const std::string& window) const {
  // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
  std::string extents = Property(window, "_NET_FRAME_EXTENTS");
  const std::size_t equals = extents.find('=');
  if (equals == std::string::npos) return std::nullopt;
  std::replace(extents.begin(), extents.end(), ',', ' ');
  std::istringstream numbers(extents.substr(equals + 1));
  int left = 0, right = 0, top = 0;
  const auto client = Geometry(window);
  if (!(numbers >> left >> right >> top) || !client) return std::nullopt;
  // The border is as wide on every side; the title bar takes the rest of the top, and the
  // button is about as wide as the title bar is high.
  const int title = top - left;
  const int x = (*client)[0] + (*client)[2] + right - left - title / 2;
  return std::pair{x, (*client)[1] - top + left + title / 2};
}

namespace {

bool Activate(const std::string& display, const std::string& window) {
  const auto active = [&] { return Run({"xdotool", "getactivewindow"}, display) == window + "\n"; };
  if (active()) return true;
  Run({"xdotool", "windowactivate", window}, display);
  return WaitFor(active, kPatience);
}

}  // namespace

bool XSession::Key(const std::string& window, const std::string& keys) const {
  if (!Activate(display_, window)) return false;
  Run({"xdotool", "key", "--clearmodifiers", keys}, display_);
  return true;
}

bool XSession::Type(const std::string& window, const std::string& text) const {
  if (!Activate(display_, window)) return false;
  Run({"xdotool", "type", "--delay", "30", text}, display_);
  return true;
}

void XSession::Click(int screenX, int screenY) const {
  Run({"xdotool", "mousemove", std::to_string(screenX), std::to_string(screenY), "click", "1"},
      display_);
}

void XSession::Close(const std::string& window) const {
  Run({"wmctrl", "-i", "-c", window}, display_);
}

void XSession::Iconify(const std::string& window) const {
  Run({"xdotool", "windowminimize", window}, display_);
}

void XSession::Resize(const std::string& window, int width, int height) const {
  Run({"xdotool", "windowsize", window, std::to_string(width), std::to_string(height)}, display_);
}

void XSession::SetClipboard(const std::string& text) const {
  const std::string path = TempPath("clip");
  std::ofstream(path, std::ios::binary) << text;
  // xclip stays behind as the selection's owner until another program takes it over.
  Run({"xclip", "-selection", "clipboard", "-i", path}, display_);
  std::remove(path.c_str());
}

std::string XSession::Clipboard() const {
  return Run({"xclip", "-o", "-selection", "clipboard"}, display_);
}

}  // namespace e2e
