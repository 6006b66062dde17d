#pragma once
// Charts of ChartData drawn with Qt Charts, and their export as PNG, SVG and
// the CSV of the points drawn. Needs a QApplication (the offscreen platform
// will do); knows nothing of the desktop program's windows.

#include <QList>
#include <QPointF>
#include <QSize>
#include <QString>

#include "plot/chart_data.h"

class QChart;
class QValueAxis;

namespace torvex::plot {

// A new chart (the caller owns it) with axes (TickAxis) titled with their
// units, ticks chosen for the range in view, a legend, and one line or
// marker series per ChartSeries. The axis ranges contain every point (or the
// chart's xView), rounded to nice numbers.
QChart* BuildChart(const ChartData& data);

// The axis range BuildChart gives to the values: from the smallest to the
// largest finite value (on the y axis widened by the chart's yMargin; on the
// x axis the chart's xView when it has one), widened to the next multiples
// of a round tick step (1, 2, 2.5 or 5 times a power of ten) that gives 4 to
// 8 intervals; a single value gets the range of one unit around it. On a
// logarithmic x axis the range is in decades (log10), whole ones.
struct AxisRange {
  double low = 0.0;
  double high = 1.0;
  double step = 0.2;
};
AxisRange RangeOf(const ChartData& data, bool yAxis);
// Gives the axis that range; a TickAxis chooses its ticks for it.
void SetAxisRange(QValueAxis& axis, const AxisRange& range);
// The points of a series as the chart draws them: finite ones, and on a
// logarithmic x axis those at x > 0, at log10(x).
QList<QPointF> DrawnPoints(const ChartSeries& series, bool xLog);
// The lower edge of a band as a line of its own (y from yLow).
ChartSeries LowerEdge(const ChartSeries& band);

// Writes the chart (which must be in a graphics scene, as a view puts it) as
// a PNG of exactly size pixels, with the axis ranges it shows now (a zoom
// included). A large image is drawn at a larger scale, not with smaller
// text: the layout is that of a chart of at most 1000 pixels wide, scaled
// up. Throws InputError naming the file when it cannot be written or the
// size is not 16 to 20000 pixels each way.
void ExportPng(QChart& chart, const QString& path, QSize size);
// Writes the chart as SVG laid out at size (logical pixels).
void ExportSvg(QChart& chart, const QString& path, QSize size);
// Writes ChartCsv(data), replacing the file atomically.
void ExportCsv(const ChartData& data, const QString& path);

// Renders data offscreen in a view of size and writes the formats asked for
// ("png", "svg", "csv") as stem.png, stem.svg, stem.csv. Returns the paths
// written.
QStringList ExportChart(const ChartData& data, const QString& stem, QSize size, const QStringList& formats);

}  // namespace torvex::plot
