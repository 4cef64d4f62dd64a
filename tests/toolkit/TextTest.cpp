// Latin-1 texts both ways, the 254-character limit, and the dialog the layer builds.
#include <QAction>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <climits>
#include <cstring>
#include <string>

#include "tests/toolkit/ToolkitFixture.h"

namespace {

std::string Text(int field) {
  char buffer[255];
  const int count = J_gettext(field, buffer);
  EXPECT_EQ(static_cast<std::size_t>(count), std::strlen(buffer));
  return buffer;
}

class TextTest : public ToolkitTest {
 protected:
  /// The dialog of the layer's numeric entry, centred on the frame.
  void OpenDialog(const char* prompt, const char* preset) {
    J_disable(frame);
    dialog = J_dialog(frame, "Integer-Eingabe");
    label = J_label(dialog, prompt);
    field = J_textfield(dialog, 20);
    J_setflowlayout(dialog, 1);
    button = J_button(dialog, " ok ");
    J_pack(dialog);
    J_setsize(field, 80, J_getheight(field));
    J_settext(field, preset);
    J_setcurpos(field, static_cast<int>(std::strlen(preset)));
    J_selectall(field);
    J_show(dialog);
    J_setfocus(field);
    jqt::testing::ProcessEvents();
  }
  int dialog = 0, label = 0, field = 0, button = 0;
};

TEST_F(TextTest, Latin1TextsShowTheirUmlautsAndComeBackUnchanged) {
  EXPECT_EQ(jqt::testing::Action(clear)->text(), QStringLiteral(u" Grafik löschen"));
  OpenDialog("Schichtl\xe4nge", "\xe4\xf6\xfc\xdf \xb0");
  EXPECT_EQ(static_cast<QLabel*>(W(label))->text(), QStringLiteral(u"Schichtlänge"));
  EXPECT_EQ(static_cast<QLineEdit*>(W(field))->text(), QStringLiteral(u"äöüß °"));
  EXPECT_EQ(Text(field), "\xe4\xf6\xfc\xdf \xb0");
  static_cast<QLineEdit*>(W(field))->setText(QStringLiteral(u"a€b"));  // pasted from elsewhere
  EXPECT_EQ(Text(field), "a?b");
}

TEST_F(TextTest, MarkupAndAmpersandsShowAsTyped) {
  OpenDialog("<b>x</b> & y", "");
  EXPECT_EQ(static_cast<QLabel*>(W(label))->textFormat(), Qt::PlainText);
  const int item = J_menuitem(J_menu(J_menubar(frame), "A&B"), "C&D");
  EXPECT_EQ(jqt::testing::Action(item)->iconText(), QString("C&D"));
}

TEST_F(TextTest, LongTextsAreCutAt254Characters) {
  const std::string preset(300, 'x');
  OpenDialog("Breite", preset.c_str());
  EXPECT_EQ(Text(field), std::string(254, 'x'));
  static_cast<QLineEdit*>(W(field))->setText(QString(300, u'y'));
  char buffer[256];
  buffer[255] = '#';  // J_gettext may use 255 bytes, never more
  EXPECT_EQ(J_gettext(field, buffer), 254);
  EXPECT_EQ(buffer[254], '\0');
  EXPECT_EQ(buffer[255], '#');
}

TEST_F(TextTest, TypingReplacesTheSelectedPreset) {
  OpenDialog("Anfangsh\xf6he", " 20");
  QTest::keyClicks(W(field), "35");
  QTest::keyClick(W(field), Qt::Key_Return);
  EXPECT_EQ(Fired(), std::vector<int>{field});
  EXPECT_EQ(Text(field), "35");
}

TEST_F(TextTest, OneColumnDialogStacksPromptFieldAndButton) {
  const std::string prompt(74, 'p');
  OpenDialog(prompt.c_str(), "300");
  EXPECT_LT(W(label)->geometry().bottom(), W(field)->geometry().top());
  EXPECT_LT(W(field)->geometry().bottom(), W(button)->geometry().top());
  EXPECT_EQ(J_getwidth(field), 80);
  EXPECT_GE(J_getwidth(dialog), W(label)->sizeHint().width());
  EXPECT_EQ(static_cast<QPushButton*>(W(button))->text(), QString(" ok "));
}

TEST_F(TextTest, DialogCanBeCentredOnTheFrameBeforeItIsShown) {
  J_disable(frame);
  dialog = J_dialog(frame, "String-Eingabe");
  J_label(dialog, "Prompt");
  field = J_textfield(dialog, 30);
  J_setflowlayout(dialog, 1);
  J_button(dialog, " ok ");
  J_pack(dialog);
  const int other = J_dialog(frame, "");
  const int narrow = J_textfield(other, 20);
  J_pack(other);
  EXPECT_GT(J_getwidth(field), J_getwidth(narrow));
  EXPECT_GT(J_getheight(field), 0);
  int x = -1, y = -1;
  J_getpos(frame, &x, &y);
  x += (J_getwidth(frame) - J_getwidth(dialog)) / 2;
  y += (J_getheight(frame) - J_getheight(dialog)) / 2;
  J_setpos(dialog, x, y);
  J_show(dialog);
  jqt::testing::ProcessEvents();
  int shownX = -1, shownY = -1;
  J_getpos(dialog, &shownX, &shownY);
  EXPECT_EQ(shownX, x);
  EXPECT_EQ(shownY, y);
}

TEST_F(TextTest, HiddenDialogIsReadableUntilTheNextEventTurnThenGone) {
  OpenDialog("Breite", "30");
  J_hide(dialog);
  EXPECT_EQ(Text(field), "30");
  J_enable(frame);
  EXPECT_EQ(J_getaction(), 0);
  EXPECT_EQ(W(dialog), nullptr);
  EXPECT_EQ(W(field), nullptr);
  EXPECT_EQ(Text(field), "");
  J_show(dialog);  // names nothing now
  J_settext(field, "x");
  EXPECT_TRUE(W(frame)->isEnabled());
}

TEST_F(TextTest, DisposedDialogsReleaseTheirHandles) {
  OpenDialog("Breite", "30");
  J_hide(dialog);
  J_getaction();
  const int live = jqt::testing::LiveHandles();
  for (int n = 0; n < 50; ++n) {
    OpenDialog("Breite", "30");
    J_hide(dialog);
    J_getaction();
  }
  EXPECT_EQ(jqt::testing::LiveHandles(), live);
  EXPECT_EQ(W(frame)->findChildren<QDialog*>().size(), 0);
}

TEST_F(TextTest, DialogsHaveNoMinimiseOrMaximiseAndShowTheirWholeTitle) {
  OpenDialog("Breite", "30");
  const Qt::WindowFlags flags = W(dialog)->windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  QFont bold = QApplication::font();
  bold.setBold(true);
  EXPECT_GT(W(dialog)->width(), QFontMetrics(bold).horizontalAdvance("Integer-Eingabe") + 60);
}

TEST_F(TextTest, DialogShownAgainBeforeThatStays) {
  OpenDialog("Breite", "30");
  J_hide(dialog);
  J_show(dialog);
  J_getaction();
  ASSERT_NE(W(dialog), nullptr);
  EXPECT_TRUE(W(dialog)->isVisible());
}

TEST_F(TextTest, WrongHandlesAreIgnored) {
  const int listener = keys, item = quit;
  char buffer[255] = "unchanged";
  for (const int handle : {0, -1, INT_MAX, INT_MIN, listener, item, 999999}) {
    J_settext(handle, "x");
    J_setcurpos(handle, 3);
    J_selectall(handle);
    J_setfocus(handle);
    J_setsize(handle, 10, 10);
    J_setpos(handle, 1, 1);
    J_pack(handle);
    J_setflowlayout(handle, 1);
    J_setborderlayout(handle);
    J_setshortcut(handle, 67);
    J_fillrect(handle, 0, 0, 10, 10);
    EXPECT_EQ(J_gettext(handle, buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(J_getwidth(handle), 0);
    EXPECT_EQ(J_label(handle, "x"), 0);
    EXPECT_EQ(J_mouselistener(handle, 0), 0);
    EXPECT_EQ(J_getkeycode(handle), 0);
  }
  EXPECT_EQ(J_mouselistener(canvas, 3), 0);  // no such kind
  J_getpos(0, nullptr, nullptr);
  EXPECT_EQ(J_gettext(field, nullptr), 0);
}

TEST(ToolkitConnectionTest, RestartsCleanlyAndOldHandlesNameNothing) {
  EXPECT_EQ(J_frame("before start"), 0);
  EXPECT_EQ(J_nextaction(), 0);  // no connection: nothing to wait for
  int oldFrame = 0;
  for (int round = 0; round < 3; ++round) {
    ASSERT_NE(J_start(), 0);
    EXPECT_NE(J_start(), 0);  // already connected
    EXPECT_EQ(J_getwidth(oldFrame), 0);
    const int frame = J_frame("round");
    EXPECT_GT(frame, oldFrame);
    J_canvas(frame, 50, 50);
    J_show(frame);
    J_pack(frame);
    EXPECT_EQ(J_getaction(), 0);
    oldFrame = frame;
    J_quit();
    J_quit();
  }
}

}  // namespace
