#include "plot/screen_fit.h"

#include <QScreen>
#include <QWidget>

namespace torvex::plot {
namespace {

// What a window manager's frame and title bar take, in logical pixels.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 48;

}  // namespace

void FitToScreen(QWidget& window, QSize preferred) {
  QSize size = preferred;
  if (const QScreen* screen = window.screen()) {
    const QSize room = screen->availableGeometry().size() - QSize(kFrameWidth, kFrameHeight);
    size = size.boundedTo(room);
  }
  window.resize(size.expandedTo(window.minimumSizeHint()).expandedTo(window.minimumSize()));
}

}  // namespace torvex::plot
