// Pixels read back from the canvas have exactly the colours drawn, where they were drawn.
#include <QPixmap>
#include <climits>

#include "tests/toolkit/ToolkitFixture.h"

namespace {

constexpr QRgb kRed = 0xffff0000u, kBlue = 0xff0000ffu, kBlack = 0xff000000u;

class CanvasTest : public ToolkitTest {
 protected:
  QImage Picture() { return jqt::testing::CanvasPicture(canvas); }
  /// The number of pixels of a colour within a rectangle of the picture.
  int Count(QRgb colour, QRect area) {
    const QImage picture = Picture();
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x)
        count += picture.pixel(x, y) == colour;
    }
    return count;
  }
};

TEST_F(CanvasTest, PackedFrameGivesTheCanvasItsRequestedSizeAndItGrowsWithTheFrame) {
  EXPECT_EQ(J_getwidth(canvas), 800);
  EXPECT_EQ(J_getheight(canvas), 600);
  J_setsize(frame, J_getwidth(frame) + 200, J_getheight(frame) + 100);
  jqt::testing::ProcessEvents();
  EXPECT_EQ(J_getwidth(canvas), 1000);
  EXPECT_EQ(J_getheight(canvas), 700);
  EXPECT_EQ(Picture().size(), QSize(1000, 700));
}

// So that the window manager places the whole window, not the empty frame shown first.
TEST(ToolkitFrameTest, FrameFirstAppearsAtItsPackedSize) {
  struct ShowWatch : QObject {
    QSize shownAt;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Show && shownAt.isEmpty()) {
        shownAt = static_cast<QWidget*>(watched)->size();
      }
      return false;
    }
  } watch;
  ASSERT_NE(J_start(), 0);
  const int frame = J_frame("kammel3");
  jqt::testing::Widget(frame)->installEventFilter(&watch);
  J_show(frame);
  J_setborderlayout(frame);
  const int canvas = J_canvas(frame, 800, 600);
  J_show(frame);
  J_pack(frame);
  J_getaction();
  EXPECT_TRUE(jqt::testing::Widget(frame)->isVisible());
  EXPECT_EQ(watch.shownAt, jqt::testing::Widget(frame)->size());
  EXPECT_EQ(J_getwidth(canvas), 800);
  J_quit();
}

TEST_F(CanvasTest, FillRectCoversExactlyWidthTimesHeight) {
  J_setcolor(canvas, 255, 0, 0);
  J_fillrect(canvas, 10, 20, 5, 3);
  EXPECT_EQ(Count(kRed, {0, 0, 40, 40}), 15);
  EXPECT_EQ(Picture().pixel(10, 20), kRed);
  EXPECT_EQ(Picture().pixel(14, 22), kRed);
  for (const auto& [w, h] : {std::pair{0, 5}, {5, 0}, {-5, 5}, {5, -5}}) {
    J_setcolor(canvas, 0, 0, 255);
    J_fillrect(canvas, 50, 50, w, h);
  }
  EXPECT_EQ(Count(kBlue, {40, 40, 20, 20}), 0);
}

TEST_F(CanvasTest, WholeCanvasFillOneBeyondEachEdgeIsClipped) {
  J_setcolor(canvas, 0, 0, 255);
  J_fillrect(canvas, 0, 0, 801, 601);
  EXPECT_EQ(Count(kBlue, {0, 0, 800, 600}), 800 * 600);
}

TEST_F(CanvasTest, LinesIncludeBothEndsInEitherDirection) {
  J_setcolor(canvas, 255, 0, 0);
  J_drawline(canvas, 10, 10, 20, 10);
  J_drawline(canvas, 40, 30, 30, 20);  // drawn backwards, diagonal
  J_drawline(canvas, 50, 50, 50, 50);  // a single point
  const QImage picture = Picture();
  for (const QPoint p : {QPoint(10, 10), QPoint(20, 10), QPoint(30, 20), QPoint(35, 25),
                         QPoint(40, 30), QPoint(50, 50)}) {
    EXPECT_EQ(picture.pixel(p), kRed) << p.x() << "," << p.y();
  }
  EXPECT_EQ(Count(kRed, {0, 0, 60, 60}), 11 + 11 + 1);
}

TEST_F(CanvasTest, PixelsLandExactlyAndOutsideOnesAreDropped) {
  J_setcolor(canvas, 255, 0, 0);
  J_drawpixel(canvas, 0, 0);
  J_drawpixel(canvas, 799, 599);
  for (const auto& [x, y] : {std::pair{-1, 0}, {0, -1}, {INT_MAX, 0}, {0, INT_MIN}}) {
    J_drawpixel(canvas, x, y);
  }
  EXPECT_EQ(Count(kRed, {0, 0, 800, 600}), 2);
  EXPECT_EQ(Picture().pixel(799, 599), kRed);
}

TEST_F(CanvasTest, PolygonFillCoversTheInteriorAndTheOutlineTheBorder) {
  const int xs[] = {20, 30, 30, 20}, ys[] = {20, 20, 30, 30};
  J_setcolor(canvas, 255, 0, 0);
  J_fillpolygon(canvas, 4, xs, ys);
  EXPECT_EQ(Count(kRed, {0, 0, 50, 50}), 10 * 10);
  J_setcolor(canvas, 0, 0, 255);
  J_drawpolygon(canvas, 4, xs, ys);
  EXPECT_EQ(Count(kBlue, {0, 0, 50, 50}), 4 * 10);  // the closed outline, 11 pixels a side
  EXPECT_EQ(Count(kRed, {0, 0, 50, 50}), 9 * 9);
  EXPECT_EQ(Picture().pixel(30, 30), kBlue);
  EXPECT_EQ(Picture().pixel(25, 25), kRed);
}

TEST_F(CanvasTest, DegeneratePolygonsAreSafe) {
  const int xs[] = {5, INT_MAX, INT_MIN}, ys[] = {5, INT_MIN, INT_MAX};
  J_setcolor(canvas, 255, 0, 0);
  J_drawpolygon(canvas, 1, xs, ys);
  EXPECT_EQ(Picture().pixel(5, 5), kRed);
  J_fillpolygon(canvas, 2, xs, ys);
  J_fillpolygon(canvas, 3, xs, ys);
  J_drawpolygon(canvas, 3, xs, ys);
  J_fillpolygon(canvas, -1, xs, ys);
  J_fillpolygon(canvas, 3, nullptr, ys);
  J_drawline(canvas, INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  J_fillrect(canvas, INT_MAX, INT_MAX, INT_MAX, INT_MAX);
  J_fillrect(canvas, INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_EQ(Picture().size(), QSize(800, 600));
}

TEST_F(CanvasTest, NamedBackgroundShowsWhereNothingWasDrawn) {
  const std::pair<int, QRgb> colours[] = {{0, qRgb(0, 0, 0)},
                                          {6, qRgb(160, 120, 0)},
                                          {14, qRgb(252, 252, 72)},
                                          {15, qRgb(255, 255, 255)}};
  J_setcolor(canvas, 255, 0, 0);
  J_drawpixel(canvas, 1, 1);
  for (const auto& [number, rgb] : colours) {
    J_setnamedcolorbg(canvas, number);
    EXPECT_EQ(Picture().pixel(0, 0), rgb) << number;
    EXPECT_EQ(Picture().pixel(1, 1), kRed) << number;
  }
  J_setnamedcolorbg(canvas, 16);  // no such colour: nothing changes
  J_setnamedcolorbg(canvas, -1);
  EXPECT_EQ(Picture().pixel(0, 0), qRgb(255, 255, 255));
  J_setnamedcolor(canvas, 12);
  J_drawpixel(canvas, 2, 2);
  EXPECT_EQ(Picture().pixel(2, 2), qRgb(252, 40, 40));
}

TEST_F(CanvasTest, DrawingSurvivesResizingAndNewAreaShowsTheBackground) {
  J_setcolor(canvas, 255, 0, 0);
  J_drawpixel(canvas, 799, 599);
  J_setnamedcolorbg(canvas, 1);
  J_setsize(frame, 500, 400);
  jqt::testing::ProcessEvents();
  J_setsize(frame, J_getwidth(frame) + 400, J_getheight(frame) + 300);
  jqt::testing::ProcessEvents();
  const QImage picture = Picture();
  EXPECT_EQ(picture.pixel(799, 599), kRed);
  EXPECT_EQ(picture.pixel(picture.width() - 1, picture.height() - 1), qRgb(0, 0, 160));
}

TEST_F(CanvasTest, BackingShrinksAgainAfterAHugeWindowKeepingWhatIsShown) {
  J_setcolor(canvas, 255, 0, 0);
  J_drawpixel(canvas, 10, 10);
  const QSize frameSize(J_getwidth(frame), J_getheight(frame));
  J_setsize(frame, 6000, 5000);
  jqt::testing::ProcessEvents();
  EXPECT_GE(jqt::testing::CanvasBacking(canvas).width(), 5000);
  J_setsize(frame, frameSize.width(), frameSize.height());
  jqt::testing::ProcessEvents();
  EXPECT_EQ(jqt::testing::CanvasBacking(canvas).size(), QSize(800, 600));
  EXPECT_EQ(Picture().pixel(10, 10), kRed);
}

TEST_F(CanvasTest, ScreenShowsTheLatestPictureOnceEventsAreProcessed) {
  J_setcolor(canvas, 0, 0, 255);
  J_fillrect(canvas, 0, 0, 100, 100);
  J_getaction();
  EXPECT_EQ(W(canvas)->grab().toImage().pixel(50, 50), kBlue);
  J_setcolor(canvas, 255, 0, 0);
  J_drawpixel(canvas, 50, 50);
  J_getaction();
  const QImage shown = W(canvas)->grab().toImage();
  EXPECT_EQ(shown.pixel(50, 50), kRed);
  EXPECT_EQ(shown.pixel(200, 200), kBlack);
}

TEST_F(CanvasTest, ColourComponentsOutsideTheRangeAreClamped) {
  J_setcolor(canvas, 300, -5, 128);
  J_drawpixel(canvas, 3, 3);
  EXPECT_EQ(Picture().pixel(3, 3), qRgb(255, 0, 128));
}

}  // namespace
