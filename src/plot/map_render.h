#pragma once
// A value map drawn with QPainter: one coloured cell per (X, Y) pair with
// its value written in it, the parameters' values along the axes, a colour
// scale, and a key for the cells without a value. Exported as PNG and SVG
// like the charts, with its CSV table beside.

#include <QSize>
#include <QString>
#include <QStringList>

#include "plot/value_map.h"

class QPainter;

namespace torvex::plot {

// Draws the map over a canvas of `size` logical pixels from (0, 0).
void PaintValueMap(QPainter& painter, QSizeF size, const ValueMap& map);

// Writes the formats asked for ("png", "svg", "csv") as stem.png, stem.svg
// and stem.csv (ValueMapCsv). A PNG of more than 1000 pixels wide is the
// 1000-pixel layout scaled up, as the charts are. Throws InputError naming
// the file when it cannot be written or the size is not 16 to 20000 pixels
// each way. Returns the paths written.
QStringList ExportValueMap(const ValueMap& map, const QString& stem, QSize size, const QStringList& formats);

}  // namespace torvex::plot
