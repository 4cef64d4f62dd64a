// A connection with the program window the layer builds: frame, menus, key listener, an
// 800 x 600 canvas and its four mouse listeners, on Qt's offscreen platform.
#pragma once

#include <gtest/gtest.h>

#include <QtTest/qtestmouse.h>
#include <QApplication>
#include <QWidget>
#include <vector>

#include "toolkit/japi.h"
#include "toolkit/qt/ToolkitTesting.h"

class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // QTest keeps its mouse state across cases: a press left held, or one close enough in its
    // clock, would make this case's first click a double click.
    QTestPrivate::qtestMouseButtons = {};
    QTest::lastMouseTimestamp += 10 * QTest::mouseDoubleClickInterval;
    ASSERT_NE(J_start(), 0);
    frame = J_frame("kammel3");
    const int bar = J_menubar(frame);
    const int datei = J_menu(bar, "Datei");
    const int grafik = J_menu(bar, "Grafik");
    const int run = J_menu(bar, "Run");
    quit = J_menuitem(datei, "Quit");
    clear = J_menuitem(grafik, " Grafik l\xf6schen");
    start = J_menuitem(run, "Start");
    stop = J_menuitem(run, "Stop ");
    keys = J_keylistener(frame);
    J_show(frame);
    J_setborderlayout(frame);
    canvas = J_canvas(frame, 800, 600);
    for (const int kind : {4, 0, 1, 2})
      mouse.push_back(J_mouselistener(canvas, kind));
    J_show(frame);
    J_pack(frame);
    jqt::testing::ProcessEvents();
  }
  void TearDown() override { J_quit(); }

  /// Every handle fired so far, oldest first.
  static std::vector<int> Fired() {
    std::vector<int> fired;
    for (int event = J_getaction(); event != 0; event = J_getaction())
      fired.push_back(event);
    return fired;
  }
  static QWidget* W(int handle) { return jqt::testing::Widget(handle); }

  int frame = 0, quit = 0, clear = 0, start = 0, stop = 0, keys = 0, canvas = 0;
  std::vector<int> mouse;  ///< listeners of kinds 4, 0, 1, 2
};
