#include "plot/chart_render.h"

#include <QApplication>
#include <QAreaSeries>
#include <QChart>
#include <QGraphicsScene>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QSaveFile>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

#include "model/errors.h"
#include "plot/axis_ticks.h"
#include "plot/tick_axis.h"

namespace torvex::plot {
namespace {

// The width a chart is laid out at before a large export scales it up, so
// that the text keeps its proportion to the chart.
constexpr double kLayoutWidth = 1000.0;

QColor colourOf(std::uint32_t rgb) {
  return QColor::fromRgb(static_cast<QRgb>(rgb));
}

Qt::PenStyle penStyleOf(LineStyle style) {
  switch (style) {
    case LineStyle::Dash: return Qt::DashLine;
    case LineStyle::Dot: return Qt::DotLine;
    case LineStyle::DashDot: return Qt::DashDotLine;
    case LineStyle::DashDotDot: return Qt::DashDotDotLine;
    case LineStyle::Solid: break;
  }
  return Qt::SolidLine;
}

// A new layout fits the axes' ticks to the room they got, which asks for
// one more layout; two rounds settle it (the ticks of the y axis depend on
// the height only, those of the x axis on the width the y labels leave).
void settle() {
  for (int round = 0; round < 3; ++round) QApplication::sendPostedEvents();
}

// The x (or y) range of the values as drawn: log10 of the positive ones on
// a logarithmic axis.
bool valueRange(const ChartData& data, bool yAxis, double& low, double& high) {
  const bool log = !yAxis && data.xLog;
  low = INFINITY;
  high = -INFINITY;
  const auto take = [&](double value) {
    if (std::isfinite(value) && (!log || value > 0.0)) {
      low = std::min(low, log ? std::log10(value) : value);
      high = std::max(high, log ? std::log10(value) : value);
    }
  };
  for (const ChartSeries& series : data.series) {
    for (const double value : yAxis ? series.y : series.x) take(value);
    if (yAxis)
      for (const double value : series.yLow) take(value);
  }
  return low <= high;
}

[[noreturn]] void writeFailed(const QString& path, const QString& reason) {
  throw InputError(path.toStdString() + ": cannot write the file (" + reason.toStdString() + ")");
}

void commit(QSaveFile& file) {
  if (!file.commit()) writeFailed(file.fileName(), file.errorString());
}

// Lays the chart out at size, from the top-left corner of its scene, and
// returns the scene rectangle it covers. The caller puts the old geometry back.
QRectF layOut(QChart& chart, QSizeF size) {
  chart.setGeometry(QRectF(QPointF(0, 0), size));
  settle();
  return chart.mapRectToScene(QRectF(QPointF(0, 0), size));
}

void render(QChart& chart, QPaintDevice& device, const QRectF& target, QSizeF layout) {
  if (chart.scene() == nullptr) throw InputError("a chart outside a scene cannot be drawn");
  const QRectF previous = chart.geometry();
  const QRectF source = layOut(chart, layout);
  {
    QPainter painter(&device);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    chart.scene()->render(&painter, target, source);
  }
  chart.setGeometry(previous);
  settle();
}

}  // namespace

AxisRange RangeOf(const ChartData& data, bool yAxis) {
  double low = 0.0, high = 0.0;
  if (!yAxis && data.xView && data.xView->first < data.xView->second) {
    low = data.xView->first;
    high = data.xView->second;
    if (data.xLog) {
      if (!(low > 0.0)) low = high * 1e-6;
      low = std::log10(low);
      high = std::log10(high);
    }
  } else if (!valueRange(data, yAxis, low, high)) {
    return {0.0, 1.0, 0.2};
  }
  // Whole decades on a logarithmic axis.
  if (!yAxis && data.xLog) {
    low = std::floor(low);
    high = std::ceil(high);
    if (low == high) high = low + 1.0;
    return {low, high, 1.0};
  }
  if (yAxis && data.yMargin > 0.0 && low < high) {
    const double margin = data.yMargin * (high - low);
    low -= margin;
    high += margin;
  }
  if (low == high) {
    const double half = low == 0.0 ? 1.0 : 0.5 * std::abs(low);
    low -= half;
    high += half;
  }
  // The smallest round step that needs at most 8 intervals.
  const double step = NiceStep(high - low, 8);
  return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

void SetAxisRange(QValueAxis& axis, const AxisRange& range) {
  // The ticks follow the range (TickAxis), whatever it is.
  axis.setRange(range.low, range.high);
}

QList<QPointF> DrawnPoints(const ChartSeries& series, bool xLog) {
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(std::min(series.x.size(), series.y.size())));
  for (std::size_t i = 0; i < series.x.size() && i < series.y.size(); ++i) {
    const double x = xLog ? (series.x[i] > 0.0 ? std::log10(series.x[i]) : NAN) : series.x[i];
    if (std::isfinite(x) && std::isfinite(series.y[i])) points.append(QPointF(x, series.y[i]));
  }
  return points;
}

ChartSeries LowerEdge(const ChartSeries& band) {
  ChartSeries lower = band;
  lower.y = band.yLow;
  lower.yLow.clear();
  return lower;
}

QChart* BuildChart(const ChartData& data) {
  auto* chart = new QChart();
  chart->setTitle(QString::fromStdString(data.title));
  // Many curves (the evolution) list better beside the chart than under it.
  const auto listed =
      std::count_if(data.series.begin(), data.series.end(), [](const ChartSeries& s) { return s.inLegend; });
  chart->legend()->setAlignment(listed > 4 ? Qt::AlignRight : Qt::AlignBottom);
  chart->legend()->setVisible(true);
  // A line beside a line's name, a dot beside a marker's: measured points
  // and the simulated line of one component are told apart in the legend.
  chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
  chart->setMargins(QMargins(6, 6, 6, 6));

  auto* xAxis = new TickAxis(data.xLog ? AxisScale::Log10 : AxisScale::Linear, chart);
  auto* yAxis = new TickAxis(AxisScale::Linear, chart);
  xAxis->setTitleText(QString::fromStdString(data.xTitle));
  yAxis->setTitleText(QString::fromStdString(data.yTitle));
  chart->addAxis(xAxis, Qt::AlignBottom);
  chart->addAxis(yAxis, Qt::AlignLeft);
  QObject::connect(chart, &QChart::plotAreaChanged, xAxis, [xAxis, yAxis](const QRectF& area) {
    xAxis->setRoom(area.width());
    yAxis->setRoom(area.height());
  });

  for (const ChartSeries& source : data.series) {
    if (!source.yLow.empty()) {
      // A band: the area between two lines, lightly filled.
      auto* upper = new QLineSeries();
      auto* lower = new QLineSeries();
      upper->replace(DrawnPoints(source, data.xLog));
      lower->replace(DrawnPoints(LowerEdge(source), data.xLog));
      auto* area = new QAreaSeries(upper, lower);
      // The area draws its edges but leaves them to their owner.
      upper->setParent(area);
      lower->setParent(area);
      area->setName(QString::fromStdString(source.name));
      QPen pen(colourOf(source.rgb));
      pen.setWidthF(1.0);
      area->setPen(pen);
      QColor fill = colourOf(source.rgb);
      fill.setAlphaF(0.35);
      area->setBrush(fill);
      chart->addSeries(area);
      area->attachAxis(xAxis);
      area->attachAxis(yAxis);
      for (QLegendMarker* marker : chart->legend()->markers(area)) {
        marker->setShape(QLegend::MarkerShapeRectangle);  // the shade, not a line
        marker->setVisible(source.inLegend);
      }
      continue;
    }
    QXYSeries* series = nullptr;
    if (source.markers) {
      auto* scatter = new QScatterSeries();
      scatter->setMarkerSize(source.open ? 8.0 : 7.0);
      if (source.open) {
        scatter->setColor(Qt::white);
        QPen ring(colourOf(source.rgb));
        ring.setWidthF(2.0);
        scatter->setPen(ring);
      } else {
        scatter->setColor(colourOf(source.rgb));
        scatter->setBorderColor(colourOf(source.rgb).darker(140));
      }
      series = scatter;
    } else {
      series = new QLineSeries();
      QPen pen(colourOf(source.rgb));
      pen.setWidthF(source.dashed ? 1.5 : 2.0);
      pen.setStyle(source.dashed ? Qt::DashLine : penStyleOf(source.style));
      series->setPen(pen);
    }
    series->setName(QString::fromStdString(source.name));
    series->replace(DrawnPoints(source, data.xLog));
    chart->addSeries(series);
    series->attachAxis(xAxis);
    series->attachAxis(yAxis);
    if (!source.inLegend)
      for (QLegendMarker* marker : chart->legend()->markers(series)) marker->setVisible(false);
  }
  const AxisRange x = RangeOf(data, false);
  const AxisRange y = RangeOf(data, true);
  SetAxisRange(*xAxis, x);
  SetAxisRange(*yAxis, y);
  return chart;
}

void ExportPng(QChart& chart, const QString& path, QSize size) {
  if (size.width() < 16 || size.height() < 16 || size.width() > 20000 || size.height() > 20000)
    throw InputError(path.toStdString() + ": an image of " + std::to_string(size.width()) + " x " +
                     std::to_string(size.height()) + " pixels is not drawn (16 to 20000 each way)");
  const double scale = std::max(1.0, size.width() / kLayoutWidth);
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  render(chart, image, QRectF(0, 0, size.width(), size.height()), QSizeF(size.width() / scale, size.height() / scale));
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) writeFailed(path, file.errorString());
  if (!image.save(&file, "PNG")) writeFailed(path, QStringLiteral("PNG encoding failed"));
  commit(file);
}

void ExportSvg(QChart& chart, const QString& path, QSize size) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) writeFailed(path, file.errorString());
  QSvgGenerator generator;
  generator.setOutputDevice(&file);
  generator.setSize(size);
  generator.setViewBox(QRect(QPoint(0, 0), size));
  generator.setTitle(chart.title());
  render(chart, generator, QRectF(QPointF(0, 0), QSizeF(size)), QSizeF(size));
  commit(file);
}

void ExportCsv(const ChartData& data, const QString& path) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) writeFailed(path, file.errorString());
  const std::string text = ChartCsv(data);
  if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()))
    writeFailed(path, file.errorString());
  commit(file);
}

QStringList ExportChart(const ChartData& data, const QString& stem, QSize size, const QStringList& formats) {
  QGraphicsScene scene;
  QChart* chart = BuildChart(data);
  scene.addItem(chart);  // the scene owns it
  // The SVG is laid out like the PNG, at the size whose text reads well.
  const double scale = std::max(1.0, size.width() / kLayoutWidth);
  const QSize layout(static_cast<int>(std::lround(size.width() / scale)),
                     static_cast<int>(std::lround(size.height() / scale)));
  QStringList written;
  for (const QString& format : formats) {
    const QString path = stem + QLatin1Char('.') + format;
    if (format == QLatin1String("png"))
      ExportPng(*chart, path, size);
    else if (format == QLatin1String("svg"))
      ExportSvg(*chart, path, layout);
    else if (format == QLatin1String("csv"))
      ExportCsv(data, path);
    else
      continue;
    written << path;
  }
  return written;
}

}  // namespace torvex::plot
