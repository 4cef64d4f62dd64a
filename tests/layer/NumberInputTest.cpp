#include "layer/NumberInput.h"

#include <gtest/gtest.h>

#include <vector>

#include "layer/Dialog.h"
#include "layer/Window.h"
#include "tests/support/FakeToolkit.h"

namespace {

using namespace layer;

constexpr int TestFrame = 5;

class NumberInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    GraphicsWindow = {};
    GraphicsWindow.Frame = TestFrame;
    fake::Record().lastHandle = 20;  // dialogs 21, 25, ...; their fields 23, 27, ...
    fake::Script().heights[23] = fake::Script().heights[27] = 22;
    InputKind = 's';
  }
};

TEST_F(NumberInputTest, RejectedIntegerComesBackPreselected) {
  fake::Script().actions = {23, 28};  // Enter in the first dialog, " ok " in the second
  fake::Script().typed = {"12 ", "12"};
  std::string text = "300";
  std::int32_t value = -1;
  ReadInteger("Laenge", text, value);

  EXPECT_EQ(value, 12);
  EXPECT_EQ(text, "12");
  EXPECT_EQ(fake::CallsStartingWith("J_dialog"),
            (std::vector<std::string>{"J_dialog(5, \"Integer-Eingabe\")",
                                      "J_dialog(5, \"Integer-Eingabe\")"}));
  EXPECT_EQ(fake::CallsStartingWith("J_setsize"),
            (std::vector<std::string>{"J_setsize(23, 80, 22)", "J_setsize(27, 80, 22)"}));
  EXPECT_EQ(fake::CallsStartingWith("J_settext"),
            (std::vector<std::string>{"J_settext(23, \"300\")", "J_settext(27, \"12 \")"}));
  EXPECT_EQ(InputKind, 's');
}

TEST_F(NumberInputTest, RealAcceptsADecimalCommaButKeepsIt) {
  fake::Script().actions = {23};
  fake::Script().typed = {"2,5"};
  std::string text = "2.00";
  double value = 0;
  ReadReal("Faktor b", text, value);

  EXPECT_EQ(value, 2.5);
  EXPECT_EQ(text, "2,5");
  EXPECT_EQ(fake::CallsStartingWith("J_dialog"),
            (std::vector<std::string>{"J_dialog(5, \"Real-Eingabe\")"}));
  EXPECT_EQ(fake::CallsStartingWith("J_setsize"),
            (std::vector<std::string>{"J_setsize(23, 80, 22)"}));
  EXPECT_EQ(InputKind, 's');
}

TEST_F(NumberInputTest, RealWithTwoCommasIsAskedAgain) {
  fake::Script().actions = {23, 27};
  fake::Script().typed = {"2,5,1", "0,75"};
  std::string text = "2.00";
  double value = 0;
  ReadReal("Faktor b", text, value);

  EXPECT_EQ(value, 0.75);
  EXPECT_EQ(text, "0,75");
  EXPECT_EQ(fake::CallsStartingWith("J_settext"),
            (std::vector<std::string>{"J_settext(23, \"2.00\")", "J_settext(27, \"2,5,1\")"}));
  EXPECT_EQ(fake::CallsStartingWith("J_dialog(5, \"Real-Eingabe\")").size(), 2u);
}

TEST_F(NumberInputTest, PlainTextDialogFollowsAsString) {
  fake::Script().actions = {23, 27};
  fake::Script().typed = {"7", "frei"};
  std::string number = "1", other = "";
  std::int32_t value = 0;
  ReadInteger("n", number, value);
  ReadText("s", other);
  EXPECT_EQ(fake::CallsStartingWith("J_dialog")[1], "J_dialog(5, \"String-Eingabe\")");
  EXPECT_EQ(other, "frei");
}

}  // namespace
