#pragma once
// A chart view for reading values: drag a rectangle to zoom into it, turn
// the wheel to zoom around the pointer, reset to the whole chart, and the
// values under the pointer reported as the mouse moves.

#include <QChartView>
#include <QPointF>

namespace torvex::plot {

class ChartView : public QChartView {
  Q_OBJECT

 public:
  explicit ChartView(QWidget* parent = nullptr);

  // Back to the axis ranges the chart was built with.
  void resetView();
  // Zooms by factor (> 1 in, < 1 out) keeping the value at pos (widget
  // coordinates) under it.
  void zoomAround(QPointF pos, double factor);

 signals:
  // The axis values under the pointer; valid is false when it is off the plot.
  void pointerValue(QPointF value, bool valid);

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace torvex::plot
