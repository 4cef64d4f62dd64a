#include "layer/Dialog.h"

#include <gtest/gtest.h>

#include <vector>

#include "layer/Window.h"
#include "tests/support/FakeToolkit.h"

namespace {

using namespace layer;

constexpr int TestFrame = 5;
// The fake hands out the next handles: dialog 21, label 22, field 23, button 24.
constexpr int Dialog = 21, Field = 23, Button = 24;

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    GraphicsWindow = {};
    GraphicsWindow.Frame = TestFrame;
    fake::Record().lastHandle = Dialog - 1;
    InputKind = 's';
  }
};

TEST_F(DialogTest, IntegerDialogCallsTheToolkitInOrder) {
  auto& script = fake::Script();
  script.positions[TestFrame] = {100, 50};
  script.widths[TestFrame] = 200;
  script.heights[TestFrame] = 650;
  script.widths[Dialog] = 241;  // wider than the frame: the half rounds toward zero
  script.heights[Dialog] = 81;
  script.heights[Field] = 24;
  script.actions = {Dialog, TestFrame, 9, Field};  // close box, frame, a menu item, Enter
  script.typed = {"42"};

  InputKind = 'i';
  std::string text = "300";
  ReadText("L\xe4nge", text);

  const std::vector<std::string> expected = {
      "J_disable(5)",
      "J_dialog(5, \"Integer-Eingabe\")",
      "J_label(21, \"L\xe4nge\")",
      "J_textfield(21, 20)",
      "J_setflowlayout(21, 1)",
      "J_button(21, \" ok \")",
      "J_pack(21)",
      "J_getheight(23)",
      "J_setsize(23, 80, 24)",
      "J_getpos(5)",
      "J_getwidth(5)",
      "J_getwidth(21)",
      "J_getheight(5)",
      "J_getheight(21)",
      "J_setpos(21, 80, 334)",  // 100 + (200 - 241) / 2, 50 + (650 - 81) / 2
      "J_settext(23, \"300\")",
      "J_setcurpos(23, 3)",
      "J_selectall(23)",
      "J_show(21)",
      "J_setfocus(23)",
      "J_nextaction()",
      "J_nextaction()",
      "J_nextaction()",
      "J_nextaction()",
      "J_gettext(23)",
      "J_hide(21)",
      "J_enable(5)",
  };
  EXPECT_EQ(fake::Record().calls, expected);
  EXPECT_EQ(text, "42");
  EXPECT_EQ(InputKind, 's');
}

TEST_F(DialogTest, EachKindHasItsLook) {
  const struct {
    char kind;
    const char* title;
    const char* field;
    const char* resize;  // nullptr: the packed width stays
  } cases[] = {
      {'s', "String-Eingabe", "J_textfield(21, 30)", nullptr},
      {'c', "Char-Eingabe", "J_textfield(21, 20)", "J_setsize(23, 30, 0)"},
      {'i', "Integer-Eingabe", "J_textfield(21, 20)", "J_setsize(23, 80, 0)"},
      {'r', "Real-Eingabe", "J_textfield(21, 20)", "J_setsize(23, 80, 0)"},
      {'x', "String-Eingabe", "J_textfield(21, 30)", nullptr},  // unknown kind
      {'\0', "String-Eingabe", "J_textfield(21, 30)", nullptr},
  };
  for (const auto& c : cases) {
    SetUp();
    fake::Script().actions = {Button};
    InputKind = c.kind;
    std::string text = "t";
    ReadText("p", text);
    SCOPED_TRACE(std::string("kind ") + c.kind);
    EXPECT_EQ(fake::CallsStartingWith("J_dialog")[0],
              std::string("J_dialog(5, \"") + c.title + "\")");
    EXPECT_EQ(fake::CallsStartingWith("J_textfield")[0], c.field);
    const auto resizes = fake::CallsStartingWith("J_setsize");
    EXPECT_EQ(resizes, c.resize ? std::vector<std::string>{c.resize} : std::vector<std::string>{});
    EXPECT_EQ(text, "t") << "nothing typed: the preset comes back";
    EXPECT_EQ(InputKind, 's');
  }
}

TEST_F(DialogTest, TextsAreCutToWhatTheFieldExchanges) {
  std::string text(300, 'p');
  fake::Script().actions = {Button};
  fake::Script().typed = {std::string(300, 't')};
  ReadText("p", text);
  EXPECT_EQ(fake::Record().fieldText[Field], std::string(MaxDialogText, 'p'));
  EXPECT_EQ(fake::CallsStartingWith("J_setcurpos")[0], "J_setcurpos(23, 254)");
  EXPECT_EQ(text, std::string(MaxDialogText, 't'));
}

}  // namespace
