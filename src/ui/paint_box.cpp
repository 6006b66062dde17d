#include "ui/paint_box.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

namespace torvex {

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) {
  // The box covers itself completely with its image, so the toolkit need not
  // paint the parent behind it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  surface();
}

QImage& PaintBox::surface() {
  if (surface_.size() != size()) {
    // A new size leaves nothing worth keeping: the graphs are drawn for one
    // width and height and are redrawn whole on the next refresh.
    surface_ = QImage(size(), QImage::Format_RGB32);
    surface_.fill(Qt::white);
  }
  return surface_;
}

void PaintBox::paintEvent(QPaintEvent* event) {
  const QImage& image = surface();
  if (image.isNull()) return;
  QPainter painter(this);
  painter.drawImage(event->rect(), image, event->rect());
}

void PaintBox::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  surface();
}

}  // namespace torvex
