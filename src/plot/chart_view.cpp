#include "plot/chart_view.h"

#include <QMouseEvent>
#include <QValueAxis>
#include <QWheelEvent>
#include <cmath>

namespace torvex::plot {

ChartView::ChartView(QWidget* parent) : QChartView(parent) {
  setRubberBand(QChartView::RectangleRubberBand);
  setRenderHint(QPainter::Antialiasing);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);  // the value under the pointer without a button held
}

void ChartView::resetView() {
  if (chart() != nullptr) chart()->zoomReset();
}

void ChartView::zoomAround(QPointF pos, double factor) {
  QChart* c = chart();
  if (c == nullptr || !(factor > 0.0)) return;
  const QRectF area = c->plotArea();
  const QPointF anchor = c->mapFromScene(mapToScene(pos.toPoint()));
  if (!area.contains(anchor)) return;
  // The new plot rectangle, in the chart's coordinates, keeps the anchor at
  // the same place relative to its corners.
  const double w = area.width() / factor, h = area.height() / factor;
  const double fx = (anchor.x() - area.left()) / area.width();
  const double fy = (anchor.y() - area.top()) / area.height();
  c->zoomIn(QRectF(anchor.x() - fx * w, anchor.y() - fy * h, w, h));
}

void ChartView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps != 0.0) zoomAround(event->position(), std::pow(1.25, steps));
  event->accept();
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
  QChart* c = chart();
  if (c != nullptr) {
    const QPointF inChart = c->mapFromScene(mapToScene(event->position().toPoint()));
    emit pointerValue(c->mapToValue(inChart), c->plotArea().contains(inChart));
  }
  QChartView::mouseMoveEvent(event);
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
  // The right button would zoom out one step; here it goes back to the
  // whole chart, which is what a reader lost in a zoom wants.
  if (event->button() == Qt::RightButton) {
    resetView();
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
}

}  // namespace torvex::plot
