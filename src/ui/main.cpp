// The desktop program. The model exists before any window and lives until
// the process ends; the windows are created in a fixed order, the main
// window first.

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstring>
#include <iostream>

#include "cli/command_line.h"
#include "ui/about_box.h"
#include "ui/desktop_model.h"
#include "ui/main_window.h"
#include "ui/text_editor.h"

namespace torvex {

DesktopModel Form1;  // the one model of the desktop program

namespace {

// Shows an error that reached the event loop and lets the program go on.
void showUncaught(const QString& message) {
  QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Torvex"), message);
}

class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      showUncaught(QString::fromStdString(error.what()));
    } catch (...) {
      showUncaught(QString());
    }
    return false;
  }
};

// The directory of the executable, with its trailing separator; empty when
// the path has none.
std::string executableDirectory() {
  const QString path = QCoreApplication::applicationFilePath();
  const qsizetype separator = path.lastIndexOf(QChar('/'));
  return separator < 0 ? std::string() : path.left(separator + 1).toStdString();
}

}  // namespace
}  // namespace torvex

int main(int argc, char** argv) {
  using namespace torvex;
  // Answered before any window or display is needed.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << versionText("torvex");
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << "Usage: torvex [--help | --version]\n\n"
                 "The Torvex desktop program: forms for every parameter of a case, a run with live graphs,\n"
                 "and the charts of its results. It works in the folder it is started in: START writes the\n"
                 "forms to datafil.dat there and the results to results/. See docs/desktop.md; the headless\n"
                 "runner is torvex-batch, the chart writer torvex-plot.\n";
    return 0;
  }
  TApplication application(argc, argv);
  QApplication::setWindowIcon(QIcon(programIcon(64)));
  int status = 0;
  try {
    const std::string directory = executableDirectory();
    TForm2 window(Form1);
    TAboutBox about(&window);
    TForm3 editor(Form1, &window);
    window.aboutBox = &about;
    window.editor = &editor;
    // Only now: nothing in building the windows may rely on it.
    Form1.applicationDirectory = directory;
    window.show();
    status = application.exec();
  } catch (const std::exception& error) {
    showUncaught(QString::fromStdString(error.what()));
  }
  return status;
}
