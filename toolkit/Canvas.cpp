#include "toolkit/Canvas.h"

#include <QPaintEvent>
#include <algorithm>

#include "toolkit/QtBackend.h"

namespace jqt {

const QRgb kNamedColours[16] = {
    qRgb(0, 0, 0),       qRgb(0, 0, 160),   qRgb(0, 160, 0),    qRgb(0, 160, 160),
    qRgb(160, 28, 28),   qRgb(160, 0, 160), qRgb(160, 120, 0),  qRgb(196, 196, 196),
    qRgb(104, 104, 104), qRgb(0, 0, 252),   qRgb(36, 252, 36),  qRgb(0, 252, 252),
    qRgb(252, 40, 40),   qRgb(176, 0, 252), qRgb(252, 252, 72), qRgb(255, 255, 255),
};

namespace {

// More vertices than this are taken for a caller's mistake and draw nothing.
constexpr int kMaxVertices = 1 << 20;

int Side(int requested) {
  return std::clamp(requested, 1, CanvasWidget::kMaxSide);
}

}  // namespace

CanvasWidget::CanvasWidget(int width, int height)
    : requested_(Side(width), Side(height)), background_(kNamedColours[0]) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMinimumSize(1, 1);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  GrowTo(requested_);
}

CanvasWidget::~CanvasWidget() {
  EndPainter();
}

void CanvasWidget::SetRequestedSize(int width, int height) {
  requested_ = QSize(Side(width), Side(height));
  GrowTo(requested_);
  updateGeometry();
}

void CanvasWidget::SetBackground(QRgb color) {
  background_ = color | 0xff000000u;
  update();
}

void CanvasWidget::FillRect(int x, int y, int width, int height) {
  if (width <= 0 || height <= 0) return;
  const qint64 left = std::max<qint64>(x, 0), top = std::max<qint64>(y, 0);
  const qint64 right = std::min<qint64>(qint64{x} + width, width_);
  const qint64 bottom = std::min<qint64>(qint64{y} + height, height_);
  if (left >= right || top >= bottom || !Open()) return;
  painter_.fillRect(QRect(int(left), int(top), int(right - left), int(bottom - top)),
                    QColor::fromRgba(color_));
  Touched();
}

void CanvasWidget::FillPolygon(int n, const int* xs, const int* ys) {
  if (n < 3 || !LoadPoints(n, xs, ys)) return;
  if (QPainter* painter = PainterFor(PainterMode::Fill)) {
    painter->drawPolygon(points_.data(), n, Qt::OddEvenFill);
  }
}

void CanvasWidget::DrawPolygon(int n, const int* xs, const int* ys) {
  if (n < 1 || !LoadPoints(n, xs, ys)) return;
  QPainter* painter = PainterFor(PainterMode::Stroke);
  if (!painter) return;
  if (n == 1) {
    painter->drawLine(points_[0], points_[0]);
  } else {
    painter->drawPolygon(points_.data(), n);
  }
}

void CanvasWidget::DrawPixel(int x, int y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || !Open()) return;
  reinterpret_cast<QRgb*>(bits_ + y * stride_)[x] = color_;
  Touched();
}

void CanvasWidget::DrawLine(int x1, int y1, int x2, int y2) {
  if (QPainter* painter = PainterFor(PainterMode::Stroke)) painter->drawLine(x1, y1, x2, y2);
}

void CanvasWidget::Present() {
  EndPainter();
  touched_ = false;
  update();
}

const QImage& CanvasWidget::Backing() {
  EndPainter();
  return image_;
}

QImage CanvasWidget::Picture() {
  EndPainter();
  QImage picture(size(), QImage::Format_RGB32);
  picture.fill(background_);
  QPainter painter(&picture);
  painter.drawImage(0, 0, image_);
  return picture;
}

void CanvasWidget::paintEvent(QPaintEvent* event) {
  EndPainter();
  QPainter painter(this);
  const QRect area = event->rect();
  painter.fillRect(area, QColor::fromRgba(background_));
  painter.drawImage(area.topLeft(), image_, area);
}

void CanvasWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  GrowTo(size());
}

// The painter stays open across drawing calls: opening it costs more than most polygons.
bool CanvasWidget::Open() {
  if (bits_) return true;
  if (image_.isNull() || !painter_.begin(&image_)) return false;
  bits_ = image_.bits();
  stride_ = image_.bytesPerLine();
  mode_ = PainterMode::None;
  return true;
}

QPainter* CanvasWidget::PainterFor(PainterMode mode) {
  if (!Open()) return nullptr;
  if (mode != mode_ || color_ != modeColor_) {
    if (mode == PainterMode::Fill) {
      if (fillRgb_ != color_) fillBrush_ = QBrush(QColor::fromRgba(fillRgb_ = color_));
      painter_.setPen(noPen_);
      painter_.setBrush(fillBrush_);
    } else {
      if (strokeRgb_ != color_) strokePen_ = QPen(QColor::fromRgba(strokeRgb_ = color_), 0);
      painter_.setPen(strokePen_);
      painter_.setBrush(noBrush_);
    }
    mode_ = mode;
    modeColor_ = color_;
  }
  Touched();
  return &painter_;
}

void CanvasWidget::EndPainter() {
  if (painter_.isActive()) painter_.end();
  bits_ = nullptr;
}

void CanvasWidget::Touched() {
  if (touched_) return;
  touched_ = true;
  State().dirtyCanvases.emplace_back(this);
}

// Grows with the canvas, and shrinks again once it holds far more than the canvas shows; what
// was drawn in the part that stays is kept.
void CanvasWidget::GrowTo(QSize size) {
  const QSize shown = size.expandedTo(requested_).boundedTo({kMaxSide, kMaxSide});
  QSize target = shown.expandedTo({width_, height_});
  const qint64 kept = qint64{width_} * height_;
  if (kept > 2 * qint64{shown.width()} * shown.height()) target = shown;
  if (target == QSize(width_, height_)) return;
  EndPainter();
  QImage fitted(target, QImage::Format_ARGB32_Premultiplied);
  if (fitted.isNull()) return;
  fitted.fill(Qt::transparent);
  if (!image_.isNull()) {
    QPainter copy(&fitted);
    copy.setCompositionMode(QPainter::CompositionMode_Source);
    copy.drawImage(0, 0, image_);
  }
  image_ = std::move(fitted);
  width_ = target.width();
  height_ = target.height();
}

bool CanvasWidget::LoadPoints(int n, const int* xs, const int* ys) {
  if (!xs || !ys || n > kMaxVertices) return false;
  points_.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    points_[static_cast<std::size_t>(i)] = QPoint(xs[i], ys[i]);
  return true;
}

}  // namespace jqt

namespace {

jqt::CanvasWidget* Canvas(int handle) {
  jqt::Backend& state = jqt::State();
  if (handle == state.lastCanvasHandle && state.lastCanvas) return state.lastCanvas.data();
  jqt::Entry* entry = state.registry.Find(handle, jqt::Kind::Canvas);
  if (!entry) return nullptr;
  state.lastCanvasHandle = handle;  // handles are never reused, so this cannot name another
  state.lastCanvas = static_cast<jqt::CanvasWidget*>(entry->object.data());
  return state.lastCanvas.data();
}

}  // namespace

extern "C" {

void J_setcolor(int canvas, int r, int g, int b) {
  if (auto* target = Canvas(canvas)) {
    target->SetColor(qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255)));
  }
}

void J_setnamedcolor(int canvas, int colour) {
  auto* target = Canvas(canvas);
  if (target && colour >= 0 && colour < 16) target->SetColor(jqt::kNamedColours[colour]);
}

void J_setnamedcolorbg(int canvas, int colour) {
  auto* target = Canvas(canvas);
  if (target && colour >= 0 && colour < 16) target->SetBackground(jqt::kNamedColours[colour]);
}

void J_fillrect(int canvas, int x, int y, int width, int height) {
  if (auto* target = Canvas(canvas)) target->FillRect(x, y, width, height);
}

void J_fillpolygon(int canvas, int n, const int* xs, const int* ys) {
  if (auto* target = Canvas(canvas)) target->FillPolygon(n, xs, ys);
}

void J_drawpolygon(int canvas, int n, const int* xs, const int* ys) {
  if (auto* target = Canvas(canvas)) target->DrawPolygon(n, xs, ys);
}

void J_drawpixel(int canvas, int x, int y) {
  if (auto* target = Canvas(canvas)) target->DrawPixel(x, y);
}

void J_drawline(int canvas, int x1, int y1, int x2, int y2) {
  if (auto* target = Canvas(canvas)) target->DrawLine(x1, y1, x2, y2);
}

}  // extern "C"
