// Qt input on real widgets comes back as the handles the program waits for.
#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWindow>

#include "tests/toolkit/ToolkitFixture.h"

namespace {

using Handles = std::vector<int>;

void Key(QWidget* target, int key, const QString& text = {},
         Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(target, &press);
}

// As the window manager does it: through the window, not the widget.
void CloseBox(QWidget* window) {
  QCloseEvent close;
  QApplication::sendEvent(window->windowHandle(), &close);
}

TEST_F(ToolkitTest, MenuItemsFireTheirHandlesInOrder) {
  jqt::testing::Action(start)->trigger();
  jqt::testing::Action(clear)->trigger();
  EXPECT_EQ(J_nextaction(), start);
  EXPECT_EQ(J_nextaction(), clear);
  EXPECT_EQ(J_getaction(), 0);
}

TEST_F(ToolkitTest, CtrlLetterFiresTheItemWhereverTheFocusIs) {
  J_setshortcut(quit, 67);
  J_setshortcut(stop, 83);
  W(frame)->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(W(frame)));
  for (QWidget* target : {W(canvas), W(frame)}) {
    QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_S, Qt::ControlModifier);
    Handles fired = Fired();
    std::erase(fired, keys);  // the Ctrl key itself is a key press
    EXPECT_EQ(fired, (Handles{quit, stop})) << target->metaObject()->className();
  }
}

TEST_F(ToolkitTest, FrameCloseBoxFiresTheFrameAndLeavesItUp) {
  CloseBox(W(frame));
  EXPECT_EQ(Fired(), Handles{frame});
  EXPECT_TRUE(W(frame)->isVisible());
}

class DialogTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    J_disable(frame);
    dialog = J_dialog(frame, "Integer-Eingabe");
    J_label(dialog, "Schichtl\xe4nge");
    field = J_textfield(dialog, 20);
    J_setflowlayout(dialog, 1);
    button = J_button(dialog, " ok ");
    J_pack(dialog);
    J_show(dialog);
    J_setfocus(field);
    jqt::testing::ProcessEvents();
  }
  int dialog = 0, field = 0, button = 0;
};

TEST_F(DialogTest, CloseBoxAndEscapeFireTheDialogAndLeaveItUp) {
  const std::vector<std::pair<const char*, std::function<void()>>> ways = {
      {"close box", [&] { CloseBox(W(dialog)); }},
      {"Escape in the field", [&] { QTest::keyClick(W(field), Qt::Key_Escape); }},
      {"Escape on the button", [&] { QTest::keyClick(W(button), Qt::Key_Escape); }},
  };
  for (const auto& [way, act] : ways) {
    act();
    EXPECT_EQ(Fired(), Handles{dialog}) << way;
    EXPECT_TRUE(W(dialog)->isVisible()) << way;
  }
}

TEST_F(DialogTest, EnterFiresTheFieldAloneAndTheButtonFiresItself) {
  for (const int enter : {Qt::Key_Return, Qt::Key_Enter}) {
    QTest::keyClick(W(field), Qt::Key(enter));
    EXPECT_EQ(Fired(), Handles{field});
  }
  QTest::mouseClick(W(button), Qt::LeftButton);
  EXPECT_EQ(Fired(), Handles{button});
}

TEST_F(DialogTest, DialogStaysUsableWhileItsFrameIsDisabled) {
  EXPECT_FALSE(W(frame)->isEnabled());
  EXPECT_TRUE(W(dialog)->isEnabled());
  J_disable(frame);  // disabling again must not take the dialog along
  EXPECT_TRUE(W(dialog)->isEnabled());
  J_hide(dialog);
  J_enable(frame);
  EXPECT_TRUE(W(frame)->isEnabled());
  EXPECT_FALSE(W(dialog)->isVisible());
}

// A window manager may iconify the dialog, or its frame and the dialog with it; the program,
// waiting for an answer, would be lost to its user.
TEST_F(DialogTest, AnIconifiedDialogOrFrameComesBackWhileTheDialogIsOpen) {
  for (const int window : {frame, dialog}) {
    W(window)->setWindowState(Qt::WindowMinimized);
    jqt::testing::ProcessEvents();
    EXPECT_FALSE(W(frame)->isMinimized()) << (window == frame ? "frame" : "dialog");
    EXPECT_FALSE(W(dialog)->isMinimized()) << (window == frame ? "frame" : "dialog");
    EXPECT_TRUE(W(dialog)->isVisible());
  }
  EXPECT_EQ(Fired(), Handles{});
  J_hide(dialog);
  J_enable(frame);
  W(frame)->setWindowState(Qt::WindowMinimized);
  jqt::testing::ProcessEvents();
  EXPECT_TRUE(W(frame)->isMinimized()) << "with no dialog open, the user's choice stands";
}

TEST_F(DialogTest, AShownDialogKeepsItsSizeUntilTheProgramSetsAnother) {
  const QSize shown = W(dialog)->size();
  W(dialog)->resize(shown * 2);
  EXPECT_EQ(W(dialog)->size(), shown);
  J_setsize(dialog, shown.width() + 40, shown.height() + 10);
  EXPECT_EQ(J_getwidth(dialog), shown.width() + 40);
  EXPECT_EQ(J_getheight(dialog), shown.height() + 10);
  EXPECT_EQ(W(dialog)->minimumSize(), W(dialog)->maximumSize());
}

TEST_F(ToolkitTest, CanvasMouseEventsFireTheListenerOfTheirKind) {
  const int move = mouse[0], press = mouse[1], release = mouse[2], drag = mouse[3];
  struct Case {
    QEvent::Type type;
    Qt::MouseButton button;
    Qt::MouseButtons held;
    int expected;
  };
  const Case cases[] = {
      {QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, press},
      {QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, press},
      {QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, release},
      {QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, drag},
      {QEvent::MouseMove, Qt::NoButton, Qt::NoButton, move},
  };
  for (const Case& c : cases) {
    const QPointF at(100, 50);
    QMouseEvent event(c.type, at, W(canvas)->mapToGlobal(at), c.button, c.held, Qt::NoModifier);
    QApplication::sendEvent(W(canvas), &event);
    EXPECT_EQ(Fired(), Handles{c.expected}) << c.type;
  }
}

// Through the window, as the display server delivers them.
TEST_F(ToolkitTest, BurstOfMovesCountsOnceAndADoubleClickIsTwoClicks) {
  QWindow* window = W(frame)->windowHandle();
  const QPoint at = W(canvas)->mapTo(W(frame), QPoint(10, 10));
  for (int i = 0; i < 4; ++i)
    QTest::mouseMove(window, at + QPoint(i, 0));
  EXPECT_EQ(Fired(), Handles{mouse[0]});
  QTest::mouseMove(window, at);
  Fired();
  QTest::mouseDClick(window, Qt::LeftButton, {}, at);
  EXPECT_EQ(Fired(), (Handles{mouse[1], mouse[2], mouse[1], mouse[2]}));
}

TEST_F(ToolkitTest, KeysGiveTheirCodesAndLatin1Characters) {
  struct Case {
    int key;
    QString text;
    int code, character;
  };
  const Case cases[] = {
      {Qt::Key_F1, {}, 112, 0},
      {Qt::Key_F12, {}, 123, 0},
      {Qt::Key_Left, {}, 37, 0},
      {Qt::Key_Up, {}, 38, 0},
      {Qt::Key_Right, {}, 39, 0},
      {Qt::Key_Down, {}, 40, 0},
      {Qt::Key_Home, {}, 36, 0},
      {Qt::Key_End, {}, 35, 0},
      {Qt::Key_PageUp, {}, 33, 0},
      {Qt::Key_PageDown, {}, 34, 0},
      {Qt::Key_Insert, {}, 45, 0},
      {Qt::Key_Delete, QStringLiteral("\x7f"), 46, 127},
      {Qt::Key_Return, QStringLiteral("\r"), 10, 10},
      {Qt::Key_Enter, QStringLiteral("\r"), 10, 10},
      {Qt::Key_Escape, QStringLiteral("\x1b"), 27, 27},
      // Characters whose codes would read as table keys must not.
      {Qt::Key_P, QStringLiteral("p"), 'P', 'p'},
      {Qt::Key_BraceLeft, QStringLiteral("{"), 256 + '{', '{'},
      {Qt::Key_Exclam, QStringLiteral("!"), 256 + '!', '!'},
      {Qt::Key_Period, QStringLiteral("."), 256 + '.', '.'},
      {Qt::Key_Adiaeresis, QStringLiteral("\u00e4"), 256 + 0xc4, 0xe4},
      {0x20ac, QStringLiteral("\u20ac"), 512 + 0x20ac, 0},  // the euro sign
      {Qt::Key_Shift, {}, 512 + (Qt::Key_Shift & 0xffff), 0},
  };
  for (const Case& c : cases) {
    Key(W(canvas), c.key, c.text);
    EXPECT_EQ(Fired(), Handles{keys}) << c.code;
    EXPECT_EQ(J_getkeycode(keys), c.code) << c.code;
    EXPECT_EQ(J_getkeychar(keys), c.character) << c.code;
  }
}

TEST_F(ToolkitTest, KeysReachingTheFrameItselfFireItsListener) {
  Key(W(frame), Qt::Key_F5);
  EXPECT_EQ(Fired(), Handles{keys});
  EXPECT_EQ(J_getkeycode(keys), 116);
}

TEST_F(ToolkitTest, DisabledListenersStaySilent) {
  J_disable(keys);
  J_disable(mouse[1]);
  Key(W(canvas), Qt::Key_F1);
  QTest::mousePress(W(canvas), Qt::LeftButton);
  EXPECT_EQ(Fired(), Handles{});
}

TEST_F(ToolkitTest, GetactionReturnsZeroAtOnceWhenIdle) {
  Fired();
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < 100; ++i)
    ASSERT_EQ(J_getaction(), 0);
  EXPECT_LT(timer.elapsed(), 2000);
}

}  // namespace
