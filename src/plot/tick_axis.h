#pragma once
// A chart axis whose ticks and labels are ours (axis_ticks.h), recomputed
// whenever its range or its room on the chart changes. The tick count is
// bounded by construction: the axis draws the ticks it is given, never a
// fixed spacing over whatever range a zoom or new data sets.
//
// Qt's own value axis keeps a tick spacing fixed while the range changes and
// lays out every tick of the new range at once; a range grown a million-fold
// (a chart built on a run's first passes, then shown with its whole record)
// asks for a billion ticks. Drawing category boundaries at our own ticks
// avoids that and lets us write the labels.

#include <QCategoryAxis>
#include <vector>

#include "plot/axis_ticks.h"

namespace torvex::plot {

enum class AxisScale {
  Linear,
  Log10,  // the chart draws log10 of the values; the labels show the values
};

class TickAxis : public QCategoryAxis {
  Q_OBJECT

 public:
  explicit TickAxis(AxisScale scale, QObject* parent = nullptr);

  [[nodiscard]] AxisScale scale() const { return scale_; }
  // The coordinate the chart draws for a value, and the value of a drawn
  // coordinate (NaN for a value a logarithmic axis cannot show).
  [[nodiscard]] double drawnOf(double value) const;
  [[nodiscard]] double valueOf(double drawn) const;
  // The ticks shown now.
  [[nodiscard]] const std::vector<AxisTick>& ticks() const { return ticks_; }
  // The length of the axis in pixels, which its labels must share.
  void setRoom(double pixels);

 private:
  void updateTicks();

  AxisScale scale_;
  double room_ = 600.0;
  std::vector<AxisTick> ticks_;
};

}  // namespace torvex::plot
