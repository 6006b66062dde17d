#include "plot/chart_view.h"

#include <QMouseEvent>
#include <QRubberBand>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "plot/tick_axis.h"

namespace torvex::plot {
namespace {

// A zoom ends where an axis spans a millionth of its whole range or a
// billionth of the size of its numbers (beyond, the labels run out of
// digits), or a hundred times its whole range (two hundred decades at most
// on a logarithmic axis).
constexpr double kDeepestZoom = 1e-6;
constexpr double kDigitsZoom = 1e-9;
constexpr double kWidestZoom = 100.0;
constexpr double kWidestDecades = 200.0;
// A rubber band smaller than this (pixels) is a click, not a zoom.
constexpr int kSmallestBand = 5;

QValueAxis* axisOf(const QChart* chart, Qt::Orientation orientation) {
  if (chart == nullptr) return nullptr;
  const auto axes = chart->axes(orientation);
  return axes.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(axes.front());
}

bool isLog(const QValueAxis* axis) {
  const auto* ticked = qobject_cast<const TickAxis*>(axis);
  return ticked != nullptr && ticked->scale() == AxisScale::Log10;
}

// [low, high] scaled about anchor so that its span stays within the bounds.
void bound(double& low, double& high, double anchor, const AxisRange& home, bool log) {
  const double whole = std::max(home.high - home.low, 1e-300);
  const double magnitude = std::max({std::abs(low), std::abs(high), std::abs(anchor)});
  const double narrowest = std::max(whole * kDeepestZoom, magnitude * kDigitsZoom);
  const double widest = log ? std::min(whole * kWidestZoom, kWidestDecades) : whole * kWidestZoom;
  const double span = high - low;
  if (!(span > 0.0) || !std::isfinite(span)) {
    low = home.low;
    high = home.high;
    return;
  }
  const double factor = span < narrowest ? narrowest / span : span > widest ? widest / span : 1.0;
  if (factor == 1.0) return;
  low = anchor - (anchor - low) * factor;
  high = anchor + (high - anchor) * factor;
}

}  // namespace

ChartView::ChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
  // The rubber band is ours, so that its zoom is bounded like every other.
  setRubberBand(QChartView::NoRubberBand);
  setRenderHint(QPainter::Antialiasing);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);  // the value under the pointer without a button held
  takeHome();
}

void ChartView::takeHome() {
  const QValueAxis* x = axisOf(chart(), Qt::Horizontal);
  const QValueAxis* y = axisOf(chart(), Qt::Vertical);
  if (x != nullptr) homeX_ = {x->min(), x->max(), 0.0};
  if (y != nullptr) homeY_ = {y->min(), y->max(), 0.0};
  zoomed_ = false;
}

void ChartView::replaceChart(QChart* chart) {
  setChart(chart);
  takeHome();
}

void ChartView::setHome(const AxisRange& x, const AxisRange& y) {
  homeX_ = x;
  homeY_ = y;
  if (!zoomed_) resetView();
}

void ChartView::resetView() {
  zoomed_ = false;
  if (QValueAxis* x = axisOf(chart(), Qt::Horizontal)) x->setRange(homeX_.low, homeX_.high);
  if (QValueAxis* y = axisOf(chart(), Qt::Vertical)) y->setRange(homeY_.low, homeY_.high);
  emit rangesShown();
}

std::pair<double, double> ChartView::xValuesShown() const {
  const QValueAxis* x = axisOf(chart(), Qt::Horizontal);
  if (x == nullptr) return {0.0, 0.0};
  const auto* ticks = qobject_cast<const TickAxis*>(x);
  return ticks != nullptr ? std::pair{ticks->valueOf(x->min()), ticks->valueOf(x->max())}
                          : std::pair{x->min(), x->max()};
}

bool ChartView::drawnAt(QPointF pos, QPointF& drawn) const {
  const QValueAxis* x = axisOf(chart(), Qt::Horizontal);
  const QValueAxis* y = axisOf(chart(), Qt::Vertical);
  if (x == nullptr || y == nullptr) return false;
  const QRectF area = chart()->plotArea();
  const QPointF at = chart()->mapFromScene(mapToScene(pos.toPoint()));
  if (!area.contains(at) || area.width() <= 0.0 || area.height() <= 0.0) return false;
  drawn.setX(x->min() + (at.x() - area.left()) / area.width() * (x->max() - x->min()));
  drawn.setY(y->max() - (at.y() - area.top()) / area.height() * (y->max() - y->min()));
  return true;
}

bool ChartView::valueAt(QPointF pos, QPointF& value) const {
  QPointF drawn;
  if (!drawnAt(pos, drawn)) return false;
  const auto* x = qobject_cast<const TickAxis*>(axisOf(chart(), Qt::Horizontal));
  const auto* y = qobject_cast<const TickAxis*>(axisOf(chart(), Qt::Vertical));
  value = QPointF(x != nullptr ? x->valueOf(drawn.x()) : drawn.x(), y != nullptr ? y->valueOf(drawn.y()) : drawn.y());
  return true;
}

void ChartView::showRanges(double x0, double x1, double y0, double y1, QPointF anchor) {
  QValueAxis* x = axisOf(chart(), Qt::Horizontal);
  QValueAxis* y = axisOf(chart(), Qt::Vertical);
  if (x == nullptr || y == nullptr) return;
  bound(x0, x1, anchor.x(), homeX_, isLog(x));
  bound(y0, y1, anchor.y(), homeY_, isLog(y));
  zoomed_ = true;
  x->setRange(x0, x1);
  y->setRange(y0, y1);
  emit rangesShown();
}

void ChartView::zoomAround(QPointF pos, double factor) {
  QPointF anchor;
  if (!(factor > 0.0) || !std::isfinite(factor) || !drawnAt(pos, anchor)) return;
  const QValueAxis* x = axisOf(chart(), Qt::Horizontal);
  const QValueAxis* y = axisOf(chart(), Qt::Vertical);
  // The anchor keeps its place relative to the ends of each axis.
  showRanges(anchor.x() - (anchor.x() - x->min()) / factor, anchor.x() + (x->max() - anchor.x()) / factor,
             anchor.y() - (anchor.y() - y->min()) / factor, anchor.y() + (y->max() - anchor.y()) / factor, anchor);
}

void ChartView::zoomToRect(const QRectF& rect) {
  QPointF a, b;
  const QRectF r = rect.normalized();
  if (!drawnAt(r.topLeft(), a) || !drawnAt(r.bottomRight(), b)) {
    // A band reaching past the plot area: the part of it over the plot.
    const QRectF area = chart()->mapRectToScene(chart()->plotArea());
    const QRectF onPlot = QRectF(mapFromScene(area).boundingRect()).intersected(r);
    if (onPlot.isEmpty() || !drawnAt(onPlot.topLeft(), a) || !drawnAt(onPlot.bottomRight() - QPointF(1, 1), b)) return;
  }
  showRanges(std::min(a.x(), b.x()), std::max(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.y(), b.y()),
             QPointF(0.5 * (a.x() + b.x()), 0.5 * (a.y() + b.y())));
}

void ChartView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps != 0.0) zoomAround(event->position(), std::pow(1.25, steps));
  event->accept();
}

void ChartView::mousePressEvent(QMouseEvent* event) {
  QPointF drawn;
  if (event->button() == Qt::LeftButton && drawnAt(event->position(), drawn)) {
    if (band_ == nullptr) band_ = new QRubberBand(QRubberBand::Rectangle, viewport());
    bandOrigin_ = event->position().toPoint();
    band_->setGeometry(QRect(bandOrigin_, QSize()));
    band_->show();
    event->accept();
    return;
  }
  QChartView::mousePressEvent(event);
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
  if (band_ != nullptr && band_->isVisible())
    band_->setGeometry(QRect(bandOrigin_, event->position().toPoint()).normalized());
  QPointF value;
  const bool valid = valueAt(event->position(), value);
  emit pointerValue(value, valid);
  QChartView::mouseMoveEvent(event);
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && band_ != nullptr && band_->isVisible()) {
    band_->hide();
    const QRect rect = QRect(bandOrigin_, event->position().toPoint()).normalized();
    if (rect.width() >= kSmallestBand && rect.height() >= kSmallestBand) zoomToRect(rect);
    event->accept();
    return;
  }
  // The right button goes back to the whole chart, which is what a reader
  // lost in a zoom wants.
  if (event->button() == Qt::RightButton) {
    resetView();
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
}

}  // namespace torvex::plot
