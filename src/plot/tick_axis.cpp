#include "plot/tick_axis.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>
#include <limits>

namespace torvex::plot {
namespace {

bool sameTicks(const std::vector<AxisTick>& a, const std::vector<AxisTick>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const AxisTick& p, const AxisTick& q) { return p.at == q.at && p.label == q.label; });
}

}  // namespace

TickAxis::TickAxis(AxisScale scale, QObject* parent) : QCategoryAxis(parent), scale_(scale) {
  setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  // Our labels are as short as the step allows; cut, they would say nothing.
  setTruncateLabels(false);
  connect(this, &QValueAxis::rangeChanged, this, [this] { updateTicks(); });
}

double TickAxis::drawnOf(double value) const {
  if (scale_ == AxisScale::Linear) return value;
  return value > 0.0 ? std::log10(value) : std::numeric_limits<double>::quiet_NaN();
}

double TickAxis::valueOf(double drawn) const {
  return scale_ == AxisScale::Linear ? drawn : std::pow(10.0, drawn);
}

void TickAxis::setRoom(double pixels) {
  if (!(pixels > 0.0) || std::abs(pixels - room_) < 1.0) return;
  room_ = pixels;
  updateTicks();
}

void TickAxis::updateTicks() {
  // As many ticks as the labels have room for side by side (across, on a
  // vertical axis: a line and a gap each), at most kMaxTicks.
  const QFontMetricsF metrics(labelsFont());
  const bool vertical = orientation() == Qt::Vertical;
  std::vector<AxisTick> ticks;
  int budget = kMaxTicks;
  for (;;) {
    ticks = scale_ == AxisScale::Log10 ? LogTicks(min(), max(), budget) : LinearTicks(min(), max(), budget);
    double needed = 0.0;
    for (const AxisTick& tick : ticks)
      needed += vertical
                    ? 2.0 * metrics.height()
                    : metrics.horizontalAdvance(QString::fromStdString(tick.label)) + 3.0 * metrics.averageCharWidth();
    if (needed <= room_ || budget <= 2) break;
    budget = std::min(budget, static_cast<int>(ticks.size())) - 1;
  }
  if (sameTicks(ticks, ticks_)) return;
  ticks_ = std::move(ticks);

  // A category ends at each tick and is labelled there; the first one starts
  // a step below the first tick, off the plot, so that it draws no line.
  for (const QString& label : categoriesLabels()) remove(label);
  if (ticks_.empty()) return;
  const double spacing = ticks_.size() > 1 ? ticks_[1].at - ticks_[0].at : 1.0;
  double start = ticks_[0].at - spacing;
  if (!(start < ticks_[0].at)) start = std::nextafter(ticks_[0].at, -std::numeric_limits<double>::infinity());
  setStartValue(start);
  for (const AxisTick& tick : ticks_) append(QString::fromStdString(tick.label), tick.at);
}

}  // namespace torvex::plot
