#include "layer/Window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "layer/Palette.h"
#include "tests/support/FakeToolkit.h"

namespace {

using layer::GraphicsWindow;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    GraphicsWindow = {};
  }
};

// What a handle names, as the toolkit made it; an empty object for a handle it never made.
fake::ToolkitObject Made(std::int32_t handle) {
  const auto& objects = fake::Record().objects;
  const auto found = objects.find(handle);
  return found == objects.end() ? fake::ToolkitObject{} : found->second;
}

// The labels of what was made in parent, in the order the user sees them.
std::vector<std::string> LabelsIn(std::int32_t parent) {
  std::vector<std::string> labels;
  for (const auto& [handle, object] : fake::Record().objects) {
    if (object.parent == parent) labels.push_back(object.label);
  }
  return labels;
}

// The programs act on GraphicsWindow's handles: each must name the object its field says, or
// a menu choice or click does something else.
TEST_F(WindowTest, EachHandleNamesTheObjectItsFieldSays) {
  layer::OpenProgramWindow();
  const auto& w = GraphicsWindow;

  EXPECT_EQ(Made(w.Frame).maker, "J_frame");
  EXPECT_EQ(Made(w.Frame).label, "layer_Window_test");
  EXPECT_EQ(Made(w.MenuBar).maker, "J_menubar");
  EXPECT_EQ(Made(w.MenuBar).parent, w.Frame);
  EXPECT_EQ(LabelsIn(w.MenuBar), (std::vector<std::string>{"Datei", "Grafik", "Run"}));
  EXPECT_EQ(LabelsIn(w.MenuDatei), (std::vector<std::string>{"Quit"}));
  EXPECT_EQ(LabelsIn(w.MenuGrafik),
            (std::vector<std::string>{" Grafik l\xf6schen", " Grafik speichern"}));
  EXPECT_EQ(LabelsIn(w.MenuRun), (std::vector<std::string>{"Eingabe", "Start", "Stop "}));

  const struct {
    const char* field;
    std::int32_t handle, parent;
    const char* label;
    int shortcut;  // Ctrl + this letter
  } items[] = {
      {"MenuDatei", w.MenuDatei, w.MenuBar, "Datei", 0},
      {"MenuGrafik", w.MenuGrafik, w.MenuBar, "Grafik", 0},
      {"MenuRun", w.MenuRun, w.MenuBar, "Run", 0},
      {"ItemQuit", w.ItemQuit, w.MenuDatei, "Quit", 'C'},
      {"ItemClear", w.ItemClear, w.MenuGrafik, " Grafik l\xf6schen", 0},
      {"ItemSave", w.ItemSave, w.MenuGrafik, " Grafik speichern", 0},
      {"ItemInput", w.ItemInput, w.MenuRun, "Eingabe", 0},
      {"ItemStart", w.ItemStart, w.MenuRun, "Start", 0},
      {"ItemStop", w.ItemStop, w.MenuRun, "Stop ", 0},  // the 3D programs give it S themselves
  };
  for (const auto& item : items) {
    EXPECT_EQ(Made(item.handle).parent, item.parent) << item.field;
    EXPECT_EQ(Made(item.handle).label, item.label) << item.field;
    EXPECT_EQ(Made(item.handle).shortcut, item.shortcut) << item.field;
  }

  EXPECT_EQ(Made(w.KeyListener).maker, "J_keylistener");
  EXPECT_EQ(Made(w.KeyListener).parent, w.Frame);
  EXPECT_EQ(Made(w.Canvas).maker, "J_canvas");
  EXPECT_EQ(Made(w.Canvas).parent, w.Frame);
  EXPECT_EQ(Made(w.Canvas).numbers, (std::vector{800, 600}));
  const std::pair<std::int32_t, int> mice[] = {
      {w.MouseKind4, 4}, {w.MouseKind0, 0}, {w.MouseKind1, 1}, {w.MouseKind2, 2}};
  for (const auto& [handle, kind] : mice) {
    EXPECT_EQ(Made(handle).maker, "J_mouselistener") << kind;
    EXPECT_EQ(Made(handle).parent, w.Canvas) << kind;
    EXPECT_EQ(Made(handle).numbers, std::vector{kind}) << kind;
  }
}

// The program's code starts on a window that is up, with its canvas inside and the palette
// ready, whatever the record held before.
TEST_F(WindowTest, OpenProgramWindowLeavesTheWindowReadyToDrawIn) {
  GraphicsWindow.PollEvents = true;
  layer::Palette[layer::White] = {};
  layer::OpenProgramWindow();
  const auto& w = GraphicsWindow;
  EXPECT_FALSE(w.PollEvents);

  // Where the last such call stands, counted from 1; 0 when there was none.
  const auto& calls = fake::Record().calls;
  const auto last = [&](const std::string& call) {
    return std::find(calls.rbegin(), calls.rend(), call).base() - calls.begin();
  };
  const std::string frame = std::to_string(w.Frame), canvas = std::to_string(w.Canvas);
  const auto canvasMade = last("J_canvas(" + frame + ", 800, 600)");
  ASSERT_GT(canvasMade, 0);
  EXPECT_GT(last("J_show(" + frame + ")"), canvasMade);
  EXPECT_GT(last("J_pack(" + frame + ")"), canvasMade)
      << "packed before its canvas, the window has no room for it";
  EXPECT_EQ(fake::CallsStartingWith("J_setfontname("),
            std::vector<std::string>{"J_setfontname(" + canvas + ", 1)"});
  EXPECT_EQ(layer::Palette[layer::White].G, 255) << "the palette is filled during start-up";

  layer::CloseProgramWindow();
  EXPECT_EQ(calls.back(), "J_quit()");
}

TEST_F(WindowTest, FailedConnectionPrintsOneLineAndExitsWithFailure) {
  fake::Script().startResult = 0;
  // stdout goes to stderr in the child, so that the death test can match it.
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        layer::OpenProgramWindow();
      },
      ::testing::ExitedWithCode(1), "^cannot connect to server\n$");
}

TEST_F(WindowTest, WaitEventPollsOnlyWhenAsked) {
  GraphicsWindow.PollEvents = true;
  EXPECT_EQ(layer::WaitEvent(), 0) << "nothing pending";
  fake::Script().actions = {9};
  EXPECT_EQ(layer::WaitEvent(), 9);
  EXPECT_EQ(fake::Record().calls, (std::vector<std::string>{"J_getaction()", "J_getaction()"}));

  fake::Reset();
  GraphicsWindow.PollEvents = false;
  fake::Script().actions = {10};
  EXPECT_EQ(layer::WaitEvent(), 10);
  EXPECT_EQ(fake::Record().calls, (std::vector<std::string>{"J_nextaction()"}));
}

TEST(ProgramTitleTest, FromExecutablePath) {
  const struct {
    const char* path;
    const char* title;
  } cases[] = {
      {"C:\\sim\\kammel3.exe", "kammel3"},
      {"C:\\sim\\k.exe", "k"},
      {"C:\\sim\\a.ex", ""},  // four characters or fewer
      {"C:\\sim\\", ""},
      {"/home/u/odd\\kammel3.exe", "kammel3"},  // a backslash rules even in a Linux path
      {"build/bin/kammel3", "kammel3"},
      {"/usr/bin/kammel3.exe", "kammel3"},
      {"/opt/kammel-1.0/kammel3map", "kammel3map"},
      {"/opt/bin/kammel.3", "kammel.3"},  // not a four-character extension
      {"/opt/bin/.exe", ".exe"},          // a hidden file keeps its name
      {"/opt/bin/abcd", "abcd"},
      {"kammel", "kammel"},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(layer::ProgramTitle(c.path), c.title) << c.path;
}

TEST(ProgramTitleTest, OfTheRunningExecutable) {
  EXPECT_EQ(layer::ProgramTitle(), "layer_Window_test");
}

}  // namespace
