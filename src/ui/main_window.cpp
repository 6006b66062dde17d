#include "ui/main_window.h"

namespace torvex {

TForm2::TForm2(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Torvex"));
  resize(900, 650);
}

}  // namespace torvex
