// What the window manager makes of the program window and its dialogs: the keyboard stays
// with a dialog, nothing hides one for good, and a resize shows no stray colour. The session
// runs openbox, or icewm when KAMMEL_E2E_WM says so; ctest runs both.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/ProgramTest.h"

namespace {

using namespace std::chrono_literals;
using e2e::Rgb;
using e2e::WaitFor;
using testing::HasSubstr;
using testing::Not;

constexpr int kRun = 2, kEingabe = 0;
constexpr const char* kInteger = "Integer-Eingabe";
constexpr const char* kReal = "Real-Eingabe";
constexpr auto npos = std::string::npos;

// Holds the program still, as a long batch does: it handles no event until let go.
class Paused {
 public:
  explicit Paused(pid_t pid) : pid_(pid) { kill(pid_, SIGSTOP); }
  ~Paused() { kill(pid_, SIGCONT); }
  Paused(const Paused&) = delete;
  Paused& operator=(const Paused&) = delete;

 private:
  pid_t pid_;
};

class WindowManager : public e2e::ProgramTest {
 protected:
  void SetUp() override { StartProgram("kammel3"); }

  // Eingabe's first dialog, the length; empty when none came.
  std::string OpenFirstDialog() {
    program_->ChooseMenu(kRun, kEingabe);
    return session_->FindWindow(kInteger).value_or("");
  }

  // Whether, within 10 s, the window has the keyboard and keeps it for half a second: a
  // window manager may pass it around for a moment after a click.
  bool HoldsKeyboard(const std::string& window) const {
    auto since = std::chrono::steady_clock::now();
    return WaitFor(
        [&] {
          if (session_->ActiveWindow() != window) since = std::chrono::steady_clock::now();
          return std::chrono::steady_clock::now() - since >= 500ms;
        },
        e2e::kPatience);
  }

  // The window a dialog is transient for, in xdotool's decimal form.
  std::string TransientFor(const std::string& dialog) const {
    const std::string text = session_->Property(dialog, "WM_TRANSIENT_FOR");
    const std::size_t hex = text.find("0x");
    return hex == npos ? std::string() : std::to_string(std::stoul(text.substr(hex), nullptr, 16));
  }
};

TEST_F(WindowManager, AClickOnTheMainWindowsCloseButtonLeavesTheKeyboardWithTheDialog) {
  const auto closeButton = session_->CloseButton(program_->window());
  ASSERT_TRUE(closeButton.has_value());
  const std::string length = OpenFirstDialog();
  ASSERT_FALSE(length.empty());
  ASSERT_TRUE(HoldsKeyboard(length));

  session_->Click(closeButton->first, closeButton->second);
  EXPECT_TRUE(HoldsKeyboard(length)) << "the main window took the keyboard";
  // Typed wherever the keyboard is, as a user would type: no window is activated for it.
  e2e::Run({"xdotool", "type", "--delay", "30", "200"}, session_->display());
  e2e::Run({"xdotool", "key", "Return"}, session_->display());
  const auto nextDialogOnly = [&] {
    const std::vector<std::string> open = session_->Windows(kInteger);
    return !open.empty() && std::find(open.begin(), open.end(), length) == open.end();
  };
  EXPECT_TRUE(WaitFor(nextDialogOnly, e2e::kPatience))
      << "the length dialog did not take the typed value";

  for (const char* title : {kInteger, kInteger, kReal, kReal, kInteger})
    ASSERT_TRUE(program_->AnswerDialog(title)) << title;
  // The same click, with no dialog open, ends the program: it was on the close button.
  session_->Click(closeButton->first, closeButton->second);
  ExpectEndsWithStatus(0);
}

TEST_F(WindowManager, OffersNoWayToLoseADialogAndBringsBackOneIconifiedWithItsWindow) {
  const std::string dialog = OpenFirstDialog();
  ASSERT_FALSE(dialog.empty());
  std::string actions;
  ASSERT_TRUE(WaitFor(
      [&] {
        actions = session_->Property(dialog, "_NET_WM_ALLOWED_ACTIONS");
        return actions.find("_NET_WM_ACTION_") != npos;
      },
      e2e::kPatience));
  for (const char* action :
       {"_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"})
    EXPECT_THAT(actions, Not(HasSubstr(action)));
  EXPECT_THAT(session_->Property(dialog, "_NET_WM_STATE"), HasSubstr("_NET_WM_STATE_MODAL"));
  EXPECT_EQ(TransientFor(dialog), program_->window());

  // Iconified, as by its own minimise button, the main window takes the dialog along. Paused,
  // the program cannot bring them back before the test sees them gone.
  {
    Paused paused(program_->process().pid());
    session_->Iconify(program_->window());
    ASSERT_TRUE(WaitFor([&] { return !session_->Viewable(program_->window()); }, e2e::kPatience));
  }
  EXPECT_TRUE(
      WaitFor([&] { return session_->Viewable(program_->window()) && session_->Viewable(dialog); },
              e2e::kPatience));
  EXPECT_TRUE(HoldsKeyboard(dialog));
  EXPECT_TRUE(program_->AnswerDialog(kInteger, "200"));
  EXPECT_TRUE(session_->FindWindow(kInteger).has_value()) << "the next dialog";
}

TEST_F(WindowManager, WhatAResizeUncoversShowsTheCanvasColourUntilTheProgramDraws) {
  const auto before = session_->Geometry(program_->window());
  ASSERT_TRUE(before.has_value());
  const int menuBar = (*before)[3] - 600;
  const int width = (*before)[2] + 300, height = (*before)[3] + 250;
  {
    Paused paused(program_->process().pid());  // busy, as in a batch: it draws nothing
    session_->Resize(program_->window(), width, height);
    ASSERT_TRUE(WaitFor(
        [&] {
          const auto now = session_->Geometry(program_->window());
          return now && (*now)[2] == width && (*now)[3] == height;
        },
        e2e::kPatience));
    const auto colours = program_->Shot().Histogram(0, menuBar, width, height);
    EXPECT_EQ(colours,
              (std::map<std::uint32_t, long>{{Rgb(0, 0, 0), long{width} * (height - menuBar)}}));
  }
  program_->Key("ctrl+c");
  ExpectEndsWithStatus(0);
}

}  // namespace
