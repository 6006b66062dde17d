#include "plot/chart_render.h"

#include <QApplication>
#include <QChart>
#include <QGraphicsScene>
#include <QImage>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QSaveFile>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "model/errors.h"

namespace torvex::plot {
namespace {

// The width a chart is laid out at before a large export scales it up, so
// that the text keeps its proportion to the chart.
constexpr double kLayoutWidth = 1000.0;

QColor colourOf(std::uint32_t rgb) {
  return QColor::fromRgb(static_cast<QRgb>(rgb));
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
  QApplication::sendPostedEvents();
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
  QApplication::sendPostedEvents();
}

}  // namespace

AxisRange RangeOf(const ChartData& data, bool yAxis) {
  double low = INFINITY, high = -INFINITY;
  for (const ChartSeries& series : data.series)
    for (const double value : yAxis ? series.y : series.x)
      if (std::isfinite(value)) {
        low = std::min(low, value);
        high = std::max(high, value);
      }
  if (!(low <= high)) return {0.0, 1.0, 0.2};
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
  const double raw = (high - low) / 8.0;
  const double decade = std::pow(10.0, std::floor(std::log10(raw)));
  double step = 10.0 * decade;
  for (const double m : {1.0, 2.0, 2.5, 5.0})
    if (m * decade >= raw) {
      step = m * decade;
      break;
    }
  return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

void SetAxisRange(QValueAxis& axis, const AxisRange& range) {
  axis.setRange(range.low, range.high);
  // Ticks on the multiples of the step, wherever a zoom takes the range.
  axis.setTickType(QValueAxis::TicksDynamic);
  axis.setTickAnchor(0.0);
  axis.setTickInterval(range.step);
  axis.setLabelFormat(QStringLiteral("%.4g"));
}

QChart* BuildChart(const ChartData& data) {
  auto* chart = new QChart();
  chart->setTitle(QString::fromStdString(data.title));
  // Many curves (the evolution) list better beside the chart than under it.
  chart->legend()->setAlignment(data.series.size() > 4 ? Qt::AlignRight : Qt::AlignBottom);
  chart->legend()->setVisible(true);
  chart->setMargins(QMargins(6, 6, 6, 6));

  auto* xAxis = new QValueAxis(chart);
  auto* yAxis = new QValueAxis(chart);
  xAxis->setTitleText(QString::fromStdString(data.xTitle));
  yAxis->setTitleText(QString::fromStdString(data.yTitle));
  chart->addAxis(xAxis, Qt::AlignBottom);
  chart->addAxis(yAxis, Qt::AlignLeft);

  for (const ChartSeries& source : data.series) {
    QXYSeries* series = nullptr;
    if (source.markers) {
      auto* scatter = new QScatterSeries();
      scatter->setMarkerSize(7.0);
      scatter->setColor(colourOf(source.rgb));
      scatter->setBorderColor(colourOf(source.rgb).darker(140));
      series = scatter;
    } else {
      series = new QLineSeries();
      QPen pen(colourOf(source.rgb));
      pen.setWidthF(source.dashed ? 1.5 : 2.0);
      if (source.dashed) pen.setStyle(Qt::DashLine);
      series->setPen(pen);
    }
    series->setName(QString::fromStdString(source.name));
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(std::min(source.x.size(), source.y.size())));
    for (std::size_t i = 0; i < source.x.size() && i < source.y.size(); ++i)
      if (std::isfinite(source.x[i]) && std::isfinite(source.y[i])) points.append(QPointF(source.x[i], source.y[i]));
    series->replace(points);
    chart->addSeries(series);
    series->attachAxis(xAxis);
    series->attachAxis(yAxis);
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
