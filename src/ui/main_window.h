#pragma once
// The main window of the desktop program.

#include <QMainWindow>

namespace torvex {

class TForm2 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);
};

}  // namespace torvex
