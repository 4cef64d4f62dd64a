#include "layer/Window.h"

#include <gtest/gtest.h>
#include <unistd.h>

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

TEST_F(WindowTest, OpenProgramWindowBuildsTheWindowInOrder) {
  GraphicsWindow.PollEvents = true;
  layer::Palette[15] = {};
  layer::OpenProgramWindow();

  const std::vector<std::string> expected = {
      "J_start()",
      "J_frame(\"layer_Window_test\")",
      "J_menubar(1)",
      "J_menu(2, \"Datei\")",
      "J_menu(2, \"Grafik\")",
      "J_menu(2, \"Run\")",
      "J_menuitem(3, \"Quit\")",
      "J_setshortcut(6, 67)",
      "J_menuitem(4, \" Grafik l\xf6schen\")",
      "J_menuitem(4, \" Grafik speichern\")",
      "J_menuitem(5, \"Eingabe\")",
      "J_menuitem(5, \"Start\")",
      "J_menuitem(5, \"Stop \")",
      "J_keylistener(1)",
      "J_show(1)",
      "J_setborderlayout(1)",
      "J_canvas(1, 800, 600)",
      "J_mouselistener(13, 4)",
      "J_mouselistener(13, 0)",
      "J_mouselistener(13, 1)",
      "J_mouselistener(13, 2)",
      "J_show(1)",
      "J_pack(1)",
      "J_setfontname(13, 1)",
  };
  EXPECT_EQ(fake::Record().calls, expected);

  const auto& w = GraphicsWindow;
  EXPECT_FALSE(w.PollEvents);
  EXPECT_EQ(w.Frame, 1);
  EXPECT_EQ(w.MenuBar, 2);
  EXPECT_EQ((std::vector{w.MenuDatei, w.MenuGrafik, w.MenuRun}), (std::vector{3, 4, 5}));
  EXPECT_EQ(
      (std::vector{w.ItemQuit, w.ItemClear, w.ItemSave, w.ItemInput, w.ItemStart, w.ItemStop}),
      (std::vector{6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(w.KeyListener, 12);
  EXPECT_EQ(w.Canvas, 13);
  EXPECT_EQ((std::vector{w.MouseKind4, w.MouseKind0, w.MouseKind1, w.MouseKind2}),
            (std::vector{14, 15, 16, 17}));
  EXPECT_EQ(layer::Palette[15].G, 255) << "the palette is filled during start-up";

  layer::CloseProgramWindow();
  EXPECT_EQ(fake::Record().calls.back(), "J_quit()");
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
