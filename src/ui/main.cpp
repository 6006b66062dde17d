// The desktop program: the model exists before any window and lives until
// the process ends.

#include <QApplication>
#include <QDir>

#include "model/tform1.h"
#include "ui/main_window.h"

namespace torvex {
TForm1 Form1;  // the one model of the desktop program
}

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  torvex::TForm2 window;
  torvex::Form1.applicationDirectory = QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString() + "/";
  window.show();
  return application.exec();
}
