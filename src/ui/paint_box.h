#pragma once
// A drawing surface for the graphs. The graphs are drawn from scratch into an
// image whenever the program decides to, not when the toolkit asks for a
// repaint; the box only shows that image. Because it paints every one of its
// pixels, updating a box never makes its parent repaint, so the main window
// may draw the graphs from its own paint handling without starting a loop.

#include <QImage>
#include <QWidget>

class QPaintEvent;
class QResizeEvent;

namespace torvex {

class PaintBox : public QWidget {
  Q_OBJECT

 public:
  explicit PaintBox(QWidget* parent = nullptr);

  // The image the box shows: exactly the widget's current size, in pixels.
  // It is white when the box is created and after every change of size;
  // while the size stays the same, whatever was drawn into it stays. An
  // empty widget has a null image, which must not be painted on. Call
  // update() after drawing to show the new contents.
  QImage& surface();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage surface_;
};

}  // namespace torvex
