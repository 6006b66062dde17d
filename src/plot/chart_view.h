#pragma once
// A chart view for reading values: drag a rectangle to zoom into it, turn
// the wheel to zoom around the pointer, reset to the whole chart, and the
// values under the pointer reported as the mouse moves.
//
// Every zoom goes through this view, which keeps each axis's span between
// what its numbers can resolve and a hundred times its whole range: far
// beyond either there is nothing to see, and the labels would stop meaning
// anything.

#include <QChartView>
#include <QPointF>
#include <utility>

#include "plot/chart_render.h"

class QRubberBand;

namespace torvex::plot {

class ChartView : public QChartView {
  Q_OBJECT

 public:
  // Takes chart (a view made without one would make, and keep, a chart of
  // its own); the ranges its axes have now are its whole view.
  explicit ChartView(QChart* chart, QWidget* parent = nullptr);

  // Shows chart instead of the present one (which the caller deletes), from
  // its whole view.
  void replaceChart(QChart* chart);
  // The axis ranges (drawn coordinates) of the whole chart; shown at once
  // unless the user has zoomed.
  void setHome(const AxisRange& x, const AxisRange& y);
  // Back to the whole chart.
  void resetView();
  [[nodiscard]] bool isZoomed() const { return zoomed_; }
  // Zooms by factor (> 1 in, < 1 out) keeping the value at pos (widget
  // coordinates) under it.
  void zoomAround(QPointF pos, double factor);
  // Zooms into the rectangle (widget coordinates) of the plot area.
  void zoomToRect(const QRectF& rect);
  // The values (not the drawn coordinates: a logarithmic axis gives the
  // value itself) at pos; false when pos is off the plot area.
  bool valueAt(QPointF pos, QPointF& value) const;
  // The x values (not drawn coordinates) at the ends of the x axis now.
  [[nodiscard]] std::pair<double, double> xValuesShown() const;

 signals:
  // The axis values under the pointer; valid is false when it is off the plot.
  void pointerValue(QPointF value, bool valid);
  // The ranges shown changed: a zoom, or back to the whole chart.
  void rangesShown();

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // The drawn coordinates at pos, mapped through the plot area.
  bool drawnAt(QPointF pos, QPointF& drawn) const;
  void takeHome();
  // Shows these ranges (drawn coordinates), each span kept within bounds
  // around its anchor.
  void showRanges(double x0, double x1, double y0, double y1, QPointF anchor);

  AxisRange homeX_, homeY_;
  bool zoomed_ = false;
  QRubberBand* band_ = nullptr;
  QPoint bandOrigin_;
};

}  // namespace torvex::plot
