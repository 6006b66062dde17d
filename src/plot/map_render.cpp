#include "plot/map_render.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <vector>

#include "model/errors.h"
#include "plot/axis_ticks.h"

namespace torvex::plot {
namespace {

// The width a map is laid out at before a large PNG scales it up, as the
// charts are.
constexpr double kLayoutWidth = 1000.0;
constexpr double kMargin = 12.0;
constexpr double kBarWidth = 18.0;
constexpr QRgb kNotReachedFill = 0xE6E6E6;
constexpr QRgb kNotReachedHatch = 0x8C8C8C;
constexpr QRgb kFailedHatch = 0xD55E00;

QFont font(double pixels, bool bold = false) {
  QFont f;
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
  f.setBold(bold);
  return f;
}

QString text(const std::string& s) {
  return QString::fromStdString(s);
}

QColor colourOf(std::uint32_t rgb) {
  return QColor::fromRgb(static_cast<QRgb>(rgb));
}

// Black text on a light cell, white on a dark one.
QColor inkOn(const QColor& fill) {
  const double luminance = 0.2126 * fill.redF() + 0.7152 * fill.greenF() + 0.0722 * fill.blueF();
  return luminance > 0.45 ? QColor(Qt::black) : QColor(Qt::white);
}

// The largest font of at most `largest` pixels in which every text fits a
// box of width x height, not below 7 pixels.
double fittingSize(const QStringList& texts, double width, double height, double largest) {
  double size = std::min(largest, 0.45 * height);
  while (size > 7.0) {
    const QFontMetricsF metrics(font(size));
    const bool fits = std::all_of(texts.begin(), texts.end(),
                                  [&](const QString& t) { return metrics.horizontalAdvance(t) <= width - 4.0; });
    if (fits) break;
    size -= 0.5;
  }
  return std::max(size, 7.0);
}

// Fills a cell without a value: hatched so that it cannot be read as a
// colour of the scale.
void hatch(QPainter& painter, const QRectF& cell, QRgb base, QRgb lines) {
  painter.fillRect(cell, QColor::fromRgb(base));
  QBrush brush(QColor::fromRgb(lines), Qt::BDiagPattern);
  painter.fillRect(cell, brush);
}

void paintCell(QPainter& painter, const QRectF& cell, const ValueMap& map, const MapCell& value, double textSize) {
  QColor fill(Qt::white);
  switch (value.state) {
    case CellState::Value:
      fill = colourOf(MapColour(ColourFraction(map, value.value / map.scale)));
      painter.fillRect(cell, fill);
      break;
    case CellState::NotReached:
      hatch(painter, cell, kNotReachedFill, kNotReachedHatch);
      fill = QColor::fromRgb(kNotReachedFill);
      break;
    case CellState::Failed: hatch(painter, cell, 0xFFFFFF, kFailedHatch); break;
    case CellState::Blank: painter.fillRect(cell, fill); break;
  }
  const QString label = text(CellText(map, value));
  if (label.isEmpty()) return;
  painter.setFont(font(textSize, value.state == CellState::Value));
  const QFontMetricsF metrics(painter.font());
  // A plate behind the words of a hatched cell keeps them readable.
  if (value.state != CellState::Value) {
    const QSizeF box(metrics.horizontalAdvance(label) + 6.0, metrics.height() + 2.0);
    painter.fillRect(QRectF(cell.center() - QPointF(box.width() / 2, box.height() / 2), box), fill);
  }
  painter.setPen(inkOn(fill));
  painter.drawText(cell, Qt::AlignCenter, label);
}

}  // namespace

void PaintValueMap(QPainter& painter, QSizeF size, const ValueMap& map) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
  const double labelSize = 13.0;
  const QFontMetricsF labels(font(labelSize));
  const QFontMetricsF titles(font(14.0, true));

  // The title across the top.
  double top = kMargin;
  painter.setPen(Qt::black);
  painter.setFont(font(16.0, true));
  const double titleHeight = QFontMetricsF(painter.font()).height();
  painter.drawText(QRectF(kMargin, top, size.width() - 2 * kMargin, titleHeight), Qt::AlignCenter, text(map.title));
  top += titleHeight + 10.0;

  // The colour scale and its ticks on the right.
  std::vector<AxisTick> ticks;
  if (map.has(CellState::Value)) {
    ticks = map.logColour ? LogTicks(std::log10(map.low), std::log10(map.high), 7) : LinearTicks(map.low, map.high, 7);
    if (ticks.empty()) ticks.push_back({map.logColour ? std::log10(map.low) : map.low, ReadableNumber(map.low, 4)});
  }
  double tickWidth = 0.0;
  for (const AxisTick& tick : ticks) tickWidth = std::max(tickWidth, labels.horizontalAdvance(text(tick.label)));
  const double barBlock = map.has(CellState::Value) ? kBarWidth + 6.0 + tickWidth + 8.0 + titles.height() + 16.0 : 0.0;

  // The key of the cells without a value, under the axis.
  QStringList keys;
  if (map.has(CellState::NotReached)) keys << QStringLiteral("not reached: the life outlasted the run");
  if (map.has(CellState::Failed)) keys << QStringLiteral("the case did not complete");
  if (map.has(CellState::Blank)) keys << QStringLiteral("blank: no case in the summary");
  // Laid out in rows that fit the width: each entry a swatch and its words.
  const double swatch = labels.height();
  const double rowHeight = swatch + 6.0;
  std::vector<QRectF> swatches;
  double keyX = kMargin;
  int keyRows = keys.isEmpty() ? 0 : 1;
  for (const QString& key : keys) {
    const double width = swatch * 1.6 + 6.0 + labels.horizontalAdvance(key);
    if (keyX > kMargin && keyX + width > size.width() - kMargin) {
      ++keyRows;
      keyX = kMargin;
    }
    swatches.emplace_back(keyX, (keyRows - 1) * rowHeight, swatch * 1.6, swatch);
    keyX += width + 24.0;
  }
  const double keyHeight = keyRows * rowHeight + (keys.isEmpty() ? 0.0 : 4.0);

  double yLabelWidth = 0.0;
  for (const std::string& label : map.yLabels)
    yLabelWidth = std::max(yLabelWidth, labels.horizontalAdvance(text(label)));
  const double left = kMargin + titles.height() + 8.0 + yLabelWidth + 8.0;
  const double bottom = size.height() - kMargin - keyHeight - titles.height() - 6.0 - labels.height() - 6.0;
  const QRectF area(left, top, std::max(10.0, size.width() - kMargin - barBlock - left), std::max(10.0, bottom - top));
  const std::size_t nx = std::max<std::size_t>(map.xs.size(), 1);
  const std::size_t ny = std::max<std::size_t>(map.ys.size(), 1);
  const double cw = area.width() / static_cast<double>(nx);
  const double ch = area.height() / static_cast<double>(ny);

  // The cells: Y rises upwards, as on any chart.
  QStringList cellTexts;
  for (const MapCell& cell : map.cells) cellTexts << text(CellText(map, cell));
  const double textSize = fittingSize(cellTexts, cw, ch, 15.0);
  for (std::size_t iy = 0; iy < map.ys.size(); ++iy)
    for (std::size_t ix = 0; ix < map.xs.size(); ++ix) {
      const QRectF cell(area.left() + static_cast<double>(ix) * cw, area.bottom() - static_cast<double>(iy + 1) * ch,
                        cw, ch);
      paintCell(painter, cell, map, map.at(ix, iy), textSize);
    }
  // Thin white lines between the cells, a frame around them.
  painter.setPen(QPen(Qt::white, 1.5));
  for (std::size_t ix = 1; ix < nx; ++ix)
    painter.drawLine(QPointF(area.left() + static_cast<double>(ix) * cw, area.top()),
                     QPointF(area.left() + static_cast<double>(ix) * cw, area.bottom()));
  for (std::size_t iy = 1; iy < ny; ++iy)
    painter.drawLine(QPointF(area.left(), area.top() + static_cast<double>(iy) * ch),
                     QPointF(area.right(), area.top() + static_cast<double>(iy) * ch));
  painter.setPen(QPen(QColor::fromRgb(0x404040), 1.0));
  painter.drawRect(area);

  // The parameters' values under the columns and beside the rows; every
  // k-th when they would overlap.
  painter.setFont(font(labelSize));
  painter.setPen(Qt::black);
  double widest = 0.0;
  for (const std::string& label : map.xLabels) widest = std::max(widest, labels.horizontalAdvance(text(label)));
  const std::size_t everyX = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil((widest + 8.0) / cw)));
  for (std::size_t ix = 0; ix < map.xLabels.size(); ix += everyX)
    painter.drawText(QRectF(area.left() + static_cast<double>(ix) * cw - 0.5 * widest, area.bottom() + 4.0, cw + widest,
                            labels.height()),
                     Qt::AlignHCenter | Qt::AlignTop, text(map.xLabels[ix]));
  const std::size_t everyY =
      std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil((labels.height() + 2.0) / ch)));
  for (std::size_t iy = 0; iy < map.yLabels.size(); iy += everyY)
    painter.drawText(QRectF(kMargin, area.bottom() - static_cast<double>(iy + 1) * ch, left - kMargin - 8.0, ch),
                     Qt::AlignRight | Qt::AlignVCenter, text(map.yLabels[iy]));

  // The axis titles: the parameters' names.
  painter.setFont(font(14.0, true));
  const double xTitleTop = area.bottom() + 6.0 + labels.height() + 4.0;
  painter.drawText(QRectF(area.left(), xTitleTop, area.width(), titles.height()), Qt::AlignCenter, text(map.columns.x));
  painter.save();
  painter.translate(kMargin, area.center().y());
  painter.rotate(-90.0);
  painter.drawText(QRectF(-area.height() / 2, 0, area.height(), titles.height()), Qt::AlignCenter, text(map.columns.y));
  painter.restore();

  // The colour scale: the ramp from the lowest value (bottom) to the highest.
  if (map.has(CellState::Value)) {
    const QRectF bar(area.right() + 16.0, area.top(), kBarWidth, area.height());
    const int steps = std::max(2, static_cast<int>(bar.height()));
    for (int k = 0; k < steps; ++k) {
      const double f = (k + 0.5) / steps;
      painter.fillRect(
          QRectF(bar.left(), bar.bottom() - (k + 1) * bar.height() / steps, bar.width(), bar.height() / steps + 0.5),
          colourOf(MapColour(f)));
    }
    painter.setPen(QPen(QColor::fromRgb(0x404040), 1.0));
    painter.drawRect(bar);
    painter.setFont(font(labelSize));
    const double low = map.logColour ? std::log10(map.low) : map.low;
    const double high = map.logColour ? std::log10(map.high) : map.high;
    for (const AxisTick& tick : ticks) {
      const double f = high > low ? (tick.at - low) / (high - low) : 0.5;
      if (f < -1e-9 || f > 1 + 1e-9) continue;
      const double y = bar.bottom() - f * bar.height();
      painter.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + 4.0, y));
      painter.drawText(QRectF(bar.right() + 6.0, y - labels.height() / 2, tickWidth + 4.0, labels.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, text(tick.label));
    }
    painter.setFont(font(14.0, true));
    painter.save();
    painter.translate(bar.right() + 6.0 + tickWidth + 10.0 + titles.height(), area.center().y());
    painter.rotate(90.0);
    const std::string scaleTitle = map.zTitle + (map.logColour ? ", logarithmic colour scale" : "");
    painter.drawText(QRectF(-area.height() / 2, 0, area.height(), titles.height()), Qt::AlignCenter, text(scaleTitle));
    painter.restore();
  }

  // The key, each entry with a swatch as its cells are drawn.
  painter.setFont(font(labelSize));
  const double keyTop = size.height() - kMargin - keyRows * rowHeight + 6.0;
  for (qsizetype k = 0; k < keys.size(); ++k) {
    const QRectF box = swatches[static_cast<std::size_t>(k)].translated(0.0, keyTop);
    const QString& key = keys[k];
    if (key.startsWith(QLatin1String("not reached")))
      hatch(painter, box, kNotReachedFill, kNotReachedHatch);
    else if (key.startsWith(QLatin1String("the case")))
      hatch(painter, box, 0xFFFFFF, kFailedHatch);
    else
      painter.fillRect(box, Qt::white);
    painter.setPen(QPen(QColor::fromRgb(0x404040), 1.0));
    painter.drawRect(box);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(box.right() + 6.0, box.top() + labels.ascent()), key);
  }
  painter.restore();
}

QStringList ExportValueMap(const ValueMap& map, const QString& stem, QSize size, const QStringList& formats) {
  QStringList written;
  const auto saveFailed = [](const QString& path, const QString& reason) {
    throw InputError(path.toStdString() + ": cannot write the file (" + reason.toStdString() + ")");
  };
  if (size.width() < 16 || size.height() < 16 || size.width() > 20000 || size.height() > 20000)
    throw InputError(stem.toStdString() + ": an image of " + std::to_string(size.width()) + " x " +
                     std::to_string(size.height()) + " pixels is not drawn (16 to 20000 each way)");
  const double scale = std::max(1.0, size.width() / kLayoutWidth);
  const QSizeF layout(size.width() / scale, size.height() / scale);
  for (const QString& format : formats) {
    const QString path = stem + QLatin1Char('.') + format;
    QSaveFile file(path);
    if (format != QLatin1String("png") && format != QLatin1String("svg") && format != QLatin1String("csv")) continue;
    if (!file.open(QIODevice::WriteOnly)) saveFailed(path, file.errorString());
    if (format == QLatin1String("png")) {
      QImage image(size, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::white);
      {
        QPainter painter(&image);
        painter.scale(scale, scale);
        PaintValueMap(painter, layout, map);
      }
      if (!image.save(&file, "PNG")) saveFailed(path, QStringLiteral("PNG encoding failed"));
    } else if (format == QLatin1String("svg")) {
      QSvgGenerator generator;
      generator.setOutputDevice(&file);
      const QSize logical(static_cast<int>(std::lround(layout.width())),
                          static_cast<int>(std::lround(layout.height())));
      generator.setSize(logical);
      generator.setViewBox(QRect(QPoint(0, 0), logical));
      generator.setTitle(text(map.title));
      QPainter painter(&generator);
      PaintValueMap(painter, layout, map);
    } else {
      const std::string csv = ValueMapCsv(map);
      if (file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()))
        saveFailed(path, file.errorString());
    }
    if (!file.commit()) saveFailed(path, file.errorString());
    written << path;
  }
  return written;
}

}  // namespace torvex::plot
