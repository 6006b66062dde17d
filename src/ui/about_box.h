#pragma once
// The About box: what the program is for and its version.

#include <QDialog>
#include <QPixmap>

namespace torvex {

// The program's icon drawn at size × size pixels.
QPixmap programIcon(int size);

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace torvex
