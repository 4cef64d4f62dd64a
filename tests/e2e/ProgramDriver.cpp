#include "tests/e2e/ProgramDriver.h"

#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>

namespace e2e {
namespace {

constexpr int kCanvasWidth = 800, kCanvasHeight = 600;

bool Dark(Image::Pixel p) {
  return p.r + p.g + p.b < 3 * 110;
}

}  // namespace

std::string ProgramPath(const std::string& name) {
  return std::string(KAMMEL_BIN_DIR) + "/" + name;
}

void KeepShot(const Image& shot, const std::string& name) {
  if (const char* folder = std::getenv("KAMMEL_E2E_SHOTS"))
    shot.SavePng(std::string(folder) + "/" + name + ".png");
}

ProgramDriver::ProgramDriver(const XSession& session, const std::string& executable,
                             const std::string& title)
    : session_(session) {
  process_ = std::make_unique<Process>(
      std::vector<std::string>{executable},
      std::map<std::string, std::string>{
          {"DISPLAY", session.display()}, {"QT_QPA_PLATFORM", ""}, {"WAYLAND_DISPLAY", ""}});
  // Generous: a loaded machine, or a build under the sanitizers, starts Qt slowly.
  window_ = session.FindWindow(title, kPatience);
  if (window_) {
    // The window is up once its menu bar shows its titles.
    WaitFor([&] { return (menuTitles_ = MenuTitles(Shot())).size() >= 3; }, kPatience);
  }
}

Image ProgramDriver::Shot() const {
  return session_.Screenshot(*window_);
}

Rect ProgramDriver::Canvas() const {
  const auto geometry = session_.Geometry(*window_);
  if (!geometry) return {};
  // The canvas is the centre of the frame, below the menu bar, at the size it asked for.
  return {0, (*geometry)[3] - kCanvasHeight, kCanvasWidth, kCanvasHeight};
}

std::vector<std::pair<int, int>> ProgramDriver::MenuTitles(const Image& shot) const {
  // Runs of columns that hold dark (text) pixels in the band above the canvas, joined across
  // the small gaps between letters.
  const int bandBottom = std::max(0, shot.height - kCanvasHeight);
  std::vector<std::pair<int, int>> words;
  int lastDark = -100;
  for (int x = 0; x < shot.width; ++x) {
    bool dark = false;
    for (int y = 0; y < bandBottom && !dark; ++y)
      dark = Dark(shot.At(x, y));
    if (!dark) continue;
    if (x - lastDark > 8) words.push_back({x, x});
    words.back().second = x;
    lastDark = x;
  }
  return words;
}

int ProgramDriver::MenuTitleCount() const {
  return static_cast<int>(MenuTitles(Shot()).size());
}

bool ProgramDriver::OpenMenu(int menu, Duration timeout) {
  const auto& titles = menuTitles_;
  const auto geometry = session_.Geometry(*window_);
  if (menu >= static_cast<int>(titles.size()) || !geometry) return false;
  const int bandMiddle = std::max(0, (*geometry)[3] - kCanvasHeight) / 2;
  const int titleMiddle = (titles[menu].first + titles[menu].second) / 2;
  const std::vector<std::string> before = session_.WindowsOf(process_->pid());
  session_.Click((*geometry)[0] + titleMiddle, (*geometry)[1] + bandMiddle);
  // The open menu is a window of its own: one the program did not show before the click (a
  // dialog still going away meanwhile does not hide it, as a count of windows would).
  return WaitFor(
      [&] {
        for (const std::string& window : session_.WindowsOf(process_->pid())) {
          if (std::find(before.begin(), before.end(), window) == before.end()) return true;
        }
        return false;
      },
      timeout);
}

void ProgramDriver::ChooseMenu(int menu, int item) {
  // A program busy with a batch takes the click only when the batch is over.
  if (!OpenMenu(menu, kPatience)) {
    ADD_FAILURE() << "menu " << menu << " did not open";
    return;
  }
  // The open menu takes the keyboard: Down to the item, Enter.
  std::vector<std::string> keys = {"xdotool", "key"};
  keys.insert(keys.end(), static_cast<std::size_t>(item) + 1, "Down");
  keys.push_back("Return");
  Run(keys, session_.display());
}

bool ProgramDriver::AnswerDialog(const std::string& title, const std::string& text) {
  const auto dialog = session_.FindWindow(title);
  if (!dialog) return false;
  // What is typed before the field has the focus is lost: the text is read back, and typed
  // again over all of it until it stands there.
  for (int attempt = 0; !text.empty() && attempt < 4; ++attempt) {
    if (attempt > 0 && !session_.Key(*dialog, "ctrl+a")) return false;
    if (!session_.Type(*dialog, text)) return false;
    if (DialogText(title) == text) break;
  }
  if (!session_.Key(*dialog, "Return")) return false;
  return WaitFor(
      [&] {
        const auto open = session_.Windows(title);
        return std::find(open.begin(), open.end(), *dialog) == open.end();
      },
      kPatience);
}

std::string ProgramDriver::DialogText(const std::string& title) {
  const auto dialog = session_.FindWindow(title);
  if (!dialog) return {};
  // Copying is seen by the clipboard leaving a text that no dialog holds. Keys sent while a
  // slow program has yet to give its new dialog's field the focus go nowhere: try again.
  const std::string none = "\x01 nothing copied";
  session_.SetClipboard(none);
  std::string text = none;
  for (int attempt = 0; attempt < 6 && text == none; ++attempt) {
    if (!session_.Key(*dialog, "ctrl+a") || !session_.Key(*dialog, "ctrl+c")) return {};
    WaitFor([&] { return (text = session_.Clipboard()) != none; }, 15s);
  }
  return text == none ? std::string() : text;
}

int ProgramDriver::DialogWidth(const std::string& title) {
  const auto dialog = session_.FindWindow(title);
  if (!dialog) return 0;
  const auto geometry = session_.Geometry(*dialog);
  return geometry ? (*geometry)[2] : 0;
}

void ProgramDriver::ClickCanvas(int x, int y) const {
  const auto geometry = session_.Geometry(*window_);
  const Rect canvas = Canvas();
  if (geometry) session_.Click((*geometry)[0] + canvas.x + x, (*geometry)[1] + canvas.y + y);
}

void ProgramDriver::Key(const std::string& keys) const {
  if (!session_.Key(*window_, keys)) ADD_FAILURE() << "the window did not become active";
}

void ProgramDriver::Close() const {
  session_.Close(*window_);
}

}  // namespace e2e
