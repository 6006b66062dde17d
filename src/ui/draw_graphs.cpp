#include "ui/draw_graphs.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "model/number_format.h"
#include "ui/paint_box.h"

namespace torvex {

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);

// 2^24 pixels: beyond the largest widget size the toolkit allows, and small
// enough that x +- 1 and widths between clamped coordinates stay far inside
// int and inside the toolkit's fixed-point raster coordinates.
constexpr double kPixelLimit = 16777216.0;

// Truncation toward zero of a pixel coordinate, under the rule stated in the
// header: NaN has no pixel, everything else is clamped to +-kPixelLimit
// first, because converting an out-of-range double to int is undefined.
std::optional<int> pixel(double coordinate) {
  if (std::isnan(coordinate)) return std::nullopt;
  return static_cast<int>(std::clamp(coordinate, -kPixelLimit, kPixelLimit));
}

std::optional<QPoint> point(std::optional<int> x, std::optional<int> y) {
  if (!x || !y) return std::nullopt;
  return QPoint(*x, *y);
}

// The drawing operations the graphs are written in: a pen, a brush and a
// font colour that stay set until changed, filled rectangles, rectangles,
// lines and opaque text, with the pixel conventions of the header. Lines and
// outlines are rasterised here: the toolkit's one-pixel lines either keep
// both end points or drop the same one whichever way a line runs, while a
// line here must stop just short of the point it is drawn to.
class Canvas {
 public:
  Canvas(QPainter& painter, int width, int height) : painter_(painter), bounds_(0, 0, width, height) {
    painter_.save();
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, false);
    QFont font = painter_.font();
    font.setStyleStrategy(QFont::NoAntialias);
    painter_.setFont(font);
    painter_.setBackgroundMode(Qt::TransparentMode);
    // Within the box, and within whatever the caller already clips to.
    painter_.setClipRect(bounds_, painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  }
  ~Canvas() { painter_.restore(); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  void setPen(const QColor& colour) { pen_ = colour; }
  void setBrush(const QColor& colour) { brush_ = colour; }
  void setFontColour(const QColor& colour) { font_ = colour; }

  // The pixels x1 .. x2-1, y1 .. y2-1 in the brush colour, without outline.
  void fillRect(int x1, int y1, int x2, int y2) {
    if (x2 > x1 && y2 > y1) painter_.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), brush_);
  }

  // The same pixels, the outermost ring in the pen colour, the inside in the
  // brush colour.
  void rectangle(int x1, int y1, int x2, int y2) {
    if (x2 <= x1 || y2 <= y1) return;
    painter_.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), pen_);
    if (x2 - x1 > 2 && y2 - y1 > 2) painter_.fillRect(QRect(x1 + 1, y1 + 1, x2 - x1 - 2, y2 - y1 - 2), brush_);
  }

  // The pixels from a up to but not including b in the pen colour. Step i of
  // the longer axis lies at a + i * (b - a) / steps on the other axis,
  // rounded to the nearest pixel (halves away from a). Only the steps inside
  // the box are visited, so a line toward a clamped far point costs at most
  // the box's width or height.
  void line(QPoint a, QPoint b) {
    const long long dx = static_cast<long long>(b.x()) - a.x();
    const long long dy = static_cast<long long>(b.y()) - a.y();
    const long long steps = std::max(std::llabs(dx), std::llabs(dy));
    if (steps == 0) return;
    const bool alongX = std::llabs(dx) == steps;
    const long long start = alongX ? a.x() : a.y();
    const long long direction = (alongX ? dx : dy) > 0 ? 1 : -1;
    const long long extent = alongX ? bounds_.width() : bounds_.height();
    // Steps whose coordinate on the longer axis, start + direction * i, lies
    // in 0 .. extent-1.
    long long first = direction > 0 ? -start : start - (extent - 1);
    long long last = direction > 0 ? extent - 1 - start : start;
    first = std::max(first, 0LL);
    last = std::min(last, steps - 1);
    const auto offset = [steps](long long i, long long d) {
      const long long magnitude = (2 * i * std::llabs(d) + steps) / (2 * steps);
      return d < 0 ? -magnitude : magnitude;
    };
    points_.clear();
    for (long long i = first; i <= last; ++i) {
      const QPoint p(static_cast<int>(a.x() + offset(i, dx)), static_cast<int>(a.y() + offset(i, dy)));
      if (bounds_.contains(p)) points_.push_back(p);
    }
    if (points_.empty()) return;
    QPen pen(pen_);
    pen.setWidth(1);
    pen.setCosmetic(true);
    painter_.setPen(pen);
    painter_.drawPoints(points_.data(), static_cast<int>(points_.size()));
  }

  // The text with its top-left corner at (x, y), in the font colour, on a
  // background of the brush colour as wide as the text advances and as high
  // as the font.
  void textOut(int x, int y, const QString& text) {
    const QFontMetrics metrics(painter_.font(), painter_.device());
    const QRect cell(x, y, metrics.horizontalAdvance(text), metrics.height());
    if (!cell.intersects(bounds_)) return;
    painter_.fillRect(cell, brush_);
    painter_.setPen(font_);
    painter_.drawText(QPoint(x, y + metrics.ascent()), text);
  }

 private:
  QPainter& painter_;
  QRect bounds_;
  QColor pen_ = kBlack;
  QColor brush_ = kWhite;
  QColor font_ = kBlack;
  std::vector<QPoint> points_;
};

// Whether the snapshot holds the molar ratios of all r components at all n
// nodes (and, for the graphs over the position, the n positions).
bool hasRatios(const GraphSnapshot& s) {
  return s.componentCount > 0 && s.pointCount > 0 && s.molarRatio.rows() >= s.componentCount &&
         s.molarRatio.columns() >= s.pointCount;
}
bool hasPositions(const GraphSnapshot& s) {
  return s.pointCount > 0 && s.position.size() >= static_cast<std::size_t>(s.pointCount);
}
bool hasVelocities(const GraphSnapshot& s) {
  return hasPositions(s) && s.darkenVelocity.size() >= static_cast<std::size_t>(s.pointCount);
}

// X(x) = trunc(W (x - x_0) / W_s): the sample spread over the box width
// (the velocity lines use W - 1 for the width).
std::optional<int> column(const GraphSnapshot& s, double width, double x) {
  return pixel(width * (x - s.position[0]) / s.sampleWidth);
}

// The floor of a component's percentage, as the labels count it.
double flooredPercent(double ratio) {
  return std::floor(100.0 * ratio);
}

template <class Vector>
void copyInto(Vector& to, const Vector& from) {
  to.assign(from.begin(), from.end());
}

}  // namespace

void GraphSnapshot::takeFrom(const Case& c, const RunState& s) {
  componentCount = c.componentCount;
  pointCount = c.pointCount;
  copyInto(position, s.position);
  sampleWidth = c.initial.sampleWidth;
  if (molarRatio.rows() != s.molarRatio.rows() || molarRatio.columns() != s.molarRatio.columns()) {
    molarRatio.resize(s.molarRatio.rows(), s.molarRatio.columns());
  }
  std::copy(s.molarRatio.data(), s.molarRatio.data() + s.molarRatio.size(), molarRatio.data());
  copyInto(darkenVelocity, s.darkenVelocity);
  darkenVelocityOn = c.darkenVelocityOn;
  kirkendallPlaneVisible = c.kirkendallPlaneVisible;
  kirkendallPosition = s.kirkendallPosition;
  initialKirkendallPosition = c.initialKirkendallPosition;
}

QColor componentColour(int i) {
  static const std::array<QColor, 10> kTable = {
      QColor(255, 0, 0),   QColor(0, 128, 0),     QColor(0, 0, 255),     QColor(0, 255, 255), QColor(128, 0, 0),
      QColor(255, 0, 255), QColor(128, 128, 128), QColor(192, 192, 192), QColor(128, 128, 0), QColor(128, 0, 128),
  };
  if (i >= 0 && i < static_cast<int>(kTable.size())) return kTable[static_cast<std::size_t>(i)];
  return kBlack;
}

QString endLabel(const GraphSnapshot& s, int component, int endNode) {
  if (!hasRatios(s) || component < 0 || component >= s.componentCount || endNode < 0 || endNode >= s.pointCount) {
    return {};
  }
  double percent = 0.0;
  if (component < s.componentCount - 1) {
    percent = flooredPercent(s.molarRatio[component][endNode]);
  } else {
    // The last component takes what the others leave, so that the labels at
    // one end add up to 100 although each of the others is rounded down.
    double others = 0.0;
    for (int j = 0; j < s.componentCount - 1; ++j) others += flooredPercent(s.molarRatio[j][endNode]);
    percent = 100.0 - others;
  }
  return QString::number(component + 1) + QStringLiteral(" (") + QString::fromStdString(formatGeneral(percent)) +
         QStringLiteral("%)");
}

void drawConcentrationProfiles(QPainter& painter, int width, int height, const GraphSnapshot& s) {
  Canvas canvas(painter, width, height);
  canvas.setBrush(kWhite);
  canvas.fillRect(0, 0, width, height);
  if (!hasRatios(s) || !hasPositions(s)) return;
  const int n = s.pointCount;
  const double w = width;
  const double h = height;
  // Fixed vertical scale: molar ratio 1 at 10 pixels below the top, 0 at the bottom.
  const auto row = [h](double ratio, double shift) { return pixel(h - (h - 10) * ratio / 1.0 + shift); };
  for (int i = 0; i < s.componentCount; ++i) {
    const double* ratio = s.molarRatio[i];
    canvas.setPen(componentColour(i));
    for (int k = 0; k < n; ++k) {
      const std::optional<int> x = column(s, w, s.position[k]);
      const std::optional<int> y = row(ratio[k], 0.0);
      if (const auto at = point(x, y)) canvas.rectangle(at->x() - 1, at->y() - 1, at->x() + 1, at->y() + 1);
      if (k < n - 1) {
        // The line runs one pixel above the marker centres; the end point
        // subtracts that pixel before truncating.
        const auto from = point(x, y ? std::optional<int>(*y - 1) : std::nullopt);
        const auto to = point(column(s, w, s.position[k + 1]), row(ratio[k + 1], -1.0));
        if (from && to) canvas.line(*from, *to);
      }
      if (k == 0 && y) {
        canvas.setFontColour(kBlack);
        canvas.textOut(10, *y - 15, endLabel(s, i, 0));
      }
      if (k == n - 1 && x && y) {
        canvas.setFontColour(kBlack);
        canvas.textOut(*x - 40, *y - 15, endLabel(s, i, n - 1));
      }
    }
  }
}

void drawDarkenVelocity(QPainter& painter, int width, int height, const GraphSnapshot& s) {
  Canvas canvas(painter, width, height);
  canvas.setBrush(kWhite);
  canvas.fillRect(0, 0, width, height);
  if (s.darkenVelocityOn != 1 || !hasVelocities(s)) return;
  const int n = s.pointCount;
  const std::vector<double>& v = s.darkenVelocity;
  // The largest magnitude sets the scale; NaN never exceeds it, so a NaN
  // velocity neither sets the scale nor, alone, makes anything drawn.
  double largest = 0.0;
  for (int k = 0; k < n; ++k) {
    if (std::abs(v[k]) > largest) largest = std::abs(v[k]);
  }
  if (largest == 0.0) return;
  const int half = height / 2;
  const int middle = n / 2;
  // Zero velocity on the middle line, the largest magnitude 5 pixels from the edge.
  const auto row = [half, largest](double velocity) { return pixel(half - (half - 5) * velocity / largest - 1); };
  const double w = width;
  for (int k = 0; k < n; ++k) {
    // The markers at both ends and the two around the middle are red.
    canvas.setPen(kBlack);
    if (k == middle - 1 || k == middle) canvas.setPen(kRed);
    if (k == 0 || k == n - 1) canvas.setPen(kRed);
    const std::optional<int> x = column(s, w, s.position[k]);
    const std::optional<int> y = row(v[k]);
    const auto at = point(x, y);
    if (at) canvas.rectangle(at->x() - 1, at->y() - 1, at->x() + 1, at->y() + 1);
    if (k < n - 1) {
      // A segment keeps its start marker's pen, except that the last one and
      // the one before the middle pair turn red and the one leaving the middle
      // node turns black. Its end column scales by W - 1, not W.
      if (k == n - 2 || k == middle - 2) canvas.setPen(kRed);
      if (k == middle) canvas.setPen(kBlack);
      const auto to = point(column(s, w - 1, s.position[k + 1]), row(v[k + 1]));
      if (at && to) canvas.line(*at, *to);
    }
    canvas.setPen(kBlack);
  }
}

void drawKirkendallMarkers(QPainter& painter, int width, int height, const GraphSnapshot& s) {
  if (s.kirkendallPlaneVisible != 1 || !hasPositions(s)) return;
  Canvas canvas(painter, width, height);
  canvas.setBrush(kWhite);
  const double w = width;
  // A plane position maps to a column only over a sample of positive width.
  const auto mark = [&](double position, const QColor& colour, const QString& label) {
    canvas.setPen(colour);
    if (!(s.sampleWidth > 0)) return;
    const std::optional<int> x = column(s, w, position);
    if (!x) return;
    canvas.line(QPoint(*x, 0), QPoint(*x, height));
    canvas.setFontColour(colour);
    canvas.textOut(*x + 2, 10, label);
  };
  mark(s.kirkendallPosition, kGreen, QStringLiteral("K"));
  mark(s.initialKirkendallPosition, kRed, QStringLiteral("K_0"));
}

void drawDiffusionPaths(QPainter& painter, int width, int height, const GraphSnapshot& s) {
  if (!hasRatios(s)) return;
  Canvas canvas(painter, width, height);
  canvas.setBrush(kWhite);
  const int n = s.pointCount;
  const double w = width;
  const double h = height;
  const double* first = s.molarRatio[0];
  // The ratios are taken through percent and back, in this order, because
  // that rounding decides the pixel where a value falls on a boundary.
  const auto columnOf = [w](double ratio) { return pixel(w * ratio * 100 * 0.01); };
  const auto rowOf = [h](double ratio) { return pixel(h - h * ratio * 100 * 0.01); };
  for (int c = 1; c < s.componentCount; ++c) {
    const double* ratio = s.molarRatio[c];
    canvas.setPen(componentColour(c));
    for (int k = 0; k < n; ++k) {
      const auto at = point(columnOf(first[k]), rowOf(ratio[k]));
      if (at) canvas.rectangle(at->x() - 1, at->y() - 1, at->x() + 1, at->y() + 1);
      if (k < n - 1) {
        const auto to = point(columnOf(first[k + 1]), rowOf(ratio[k + 1]));
        if (at && to) canvas.line(*at, *to);
      }
    }
  }
}

void DrawGraphs(const GraphSnapshot& snapshot, PaintBox& concentration, PaintBox& velocity, PaintBox& paths) {
  QImage& profileImage = concentration.surface();
  QImage& velocityImage = velocity.surface();
  QImage& pathImage = paths.surface();
  // A box too small to have pixels has a null image, which cannot be painted on.
  const auto open = [](std::optional<QPainter>& painter, QImage& image, const PaintBox& box) {
    if (image.isNull()) return;
    painter.emplace(&image);
    painter->setFont(box.font());
  };
  std::optional<QPainter> profilePainter;
  std::optional<QPainter> velocityPainter;
  std::optional<QPainter> pathPainter;
  open(profilePainter, profileImage, concentration);
  open(velocityPainter, velocityImage, velocity);
  open(pathPainter, pathImage, paths);

  if (profilePainter) {
    drawConcentrationProfiles(*profilePainter, profileImage.width(), profileImage.height(), snapshot);
  }
  if (velocityPainter) drawDarkenVelocity(*velocityPainter, velocityImage.width(), velocityImage.height(), snapshot);
  // The paths are drawn on the background cleared together with the velocity graph.
  if (pathPainter) pathPainter->fillRect(pathImage.rect(), kWhite);
  if (profilePainter) drawKirkendallMarkers(*profilePainter, profileImage.width(), profileImage.height(), snapshot);
  if (pathPainter) drawDiffusionPaths(*pathPainter, pathImage.width(), pathImage.height(), snapshot);

  profilePainter.reset();
  velocityPainter.reset();
  pathPainter.reset();
  concentration.update();
  velocity.update();
  paths.update();
}

}  // namespace torvex
