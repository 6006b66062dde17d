#pragma once
// Opening a top-level window at a size its screen can show: a laptop of
// 1366 x 768, or a screen scaled by 1.5 (QT_SCALE_FACTOR), has less room in
// logical pixels than a window would like.

#include <QSize>

class QWidget;

namespace torvex::plot {

// Resizes window to preferred (logical pixels), or to the part of its
// screen's available area left beside the frame and title bar when that is
// smaller; never below the window's own minimum size.
void FitToScreen(QWidget& window, QSize preferred);

}  // namespace torvex::plot
