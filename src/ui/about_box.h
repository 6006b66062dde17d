#pragma once
// The About box: what the program is for and its version.

#include <QDialog>

namespace torvex {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace torvex
