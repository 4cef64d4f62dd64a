#include "toolkit/qt/Canvas.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <vector>

#include "toolkit/qt/QtBackend.h"
#include "toolkit/qt/WindowManager.h"
#include "toolkit/raster/CanvasCalls.h"

namespace jqt {
namespace {

int Side(int requested) {
  return std::clamp(requested, 1, CanvasWidget::kMaxSide);
}

}  // namespace

CanvasWidget::CanvasWidget(int width, int height)
    : requested_(Side(width), Side(height)), image_(requested_.width(), requested_.height()) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMinimumSize(1, 1);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CanvasWidget::~CanvasWidget() {
  if (last == this) last = nullptr;
}

void CanvasWidget::SetRequestedSize(int width, int height) {
  requested_ = QSize(Side(width), Side(height));
  const QSize fit = size().expandedTo(requested_);
  image_.Fit(fit.width(), fit.height());
  updateGeometry();
}

void CanvasWidget::SetBackground(QRgb color) {
  image_.SetBackground(color);
  SetUndrawnColour(*window(), image_.Background());
  update();
}

void CanvasWidget::Present() {
  touched_ = false;
  update();
}

QImage CanvasWidget::Backing() const {
  return QImage(reinterpret_cast<const uchar*>(image_.Pixels()), image_.Width(), image_.Height(),
                image_.Width() * 4, QImage::Format_ARGB32_Premultiplied);
}

QImage CanvasWidget::Picture() const {
  std::vector<jraster::Rgb> pixels;
  image_.Picture(width(), height(), pixels);
  QImage picture(width(), height(), QImage::Format_RGB32);
  for (int y = 0; y < height(); ++y)
    std::copy_n(pixels.data() + static_cast<std::size_t>(y) * width(), width(),
                reinterpret_cast<QRgb*>(picture.scanLine(y)));
  return picture;
}

void CanvasWidget::paintEvent(QPaintEvent* event) {
  const QImage image = Backing();
  QPainter painter(this);
  const QRect area = event->rect();
  // Once the whole image is filled (every redraw clears it first), it is copied as it is; the
  // background shows only through pixels never drawn, and beyond the image.
  if (image_.Opaque() && image.rect().contains(area)) {
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(area.topLeft(), image, area);
    return;
  }
  painter.fillRect(area, QColor::fromRgba(image_.Background()));
  painter.drawImage(area.topLeft(), image, area);
}

// Keeps what the canvas shows, and at least the size it asked for.
void CanvasWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QSize fit = size().expandedTo(requested_);
  image_.Fit(fit.width(), fit.height());
}

// What a growing window uncovers shows before the canvas can draw there: the server fills it,
// in the canvas's background rather than in whatever the window manager left there.
void CanvasWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  SetUndrawnColour(*window(), image_.Background());
}

void CanvasWidget::Touched() {
  if (touched_) return;
  touched_ = true;
  State().dirtyCanvases.emplace_back(this);
}

}  // namespace jqt

namespace {

jqt::CanvasWidget* Canvas(int handle) {
  using jqt::CanvasWidget;
  if (handle == CanvasWidget::lastHandle && CanvasWidget::last) return CanvasWidget::last;
  jqt::Entry* entry = jqt::State().registry.Find(handle, jqt::Kind::Canvas);
  if (!entry) return nullptr;
  CanvasWidget::lastHandle = handle;  // handles are never reused, so this cannot name another
  CanvasWidget::last = static_cast<CanvasWidget*>(entry->object.data());
  return CanvasWidget::last;
}

}  // namespace

extern "C" {

JRASTER_CANVAS_CALLS(Canvas)

}  // extern "C"
