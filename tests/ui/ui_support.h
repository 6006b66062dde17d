#pragma once
// Helpers the desktop tests share: reading a written file back, choosing as a
// user does, and typing a small case into the forms.

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <array>
#include <memory>

#include "run/simulation.h"
#include "ui/main_window.h"

namespace torvex::test {

// The lines of a file the program wrote (CR LF after every line).
inline QStringList fileLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
  return lines;
}

// Picks an item of a choice box the way a user does (the change handler runs).
inline void choose(QComboBox* box, const QString& item) {
  box->setCurrentIndex(box->findText(item));
  emit box->activated(box->currentIndex());
}

// A short Cu-Fe-Ni couple with the built-in mobilities and ideal activities:
// no side file is needed. 20 points, drawn every pass, saved every 5, no
// delay.
inline void enterShortCase(TForm2& w, const char* endTime = "10") {
  const std::array<const char*, 3> masses = {"63.546", "55.847", "58.71"};
  const std::array<const char*, 3> volumes = {"7.11", "7.09", "6.59"};
  for (std::size_t i = 0; i < 3; ++i) {
    w.MolarMassBoxes[i]->setText(masses[i]);
    w.MolarVolumeBoxes[i]->setText(volumes[i]);
  }
  const std::array<std::array<const char*, 3>, 2> rows = {{{"-0.1", "85", "0.5"}, {"0.1", "0.5", "25"}}};
  for (std::size_t j = 0; j < 2; ++j)
    for (std::size_t k = 0; k < 3; ++k) w.ProfileGrid[j][k]->setText(rows[j][k]);
  w.Edit3->setText(endTime);
  w.Edit4->setText("20");
  choose(w.Edit11C, "2");
  w.Edit20->setText("1");
  w.Edit21->setText("5");
  w.Edit22C->setEditText("0");
}

// The fixture of the window tests: a scratch working directory, a model and
// the shown main window, whose message boxes are recorded in messages_
// instead of shown. A test class derives from it and calls openWindow() in
// init() and closeWindow() in cleanup().
class WindowTest : public QObject {
 protected:
  void openWindow() {
    scratch_ = std::make_unique<QTemporaryDir>();
    previousDirectory_ = QDir::currentPath();
    QDir::setCurrent(scratch_->path());
    model_ = std::make_unique<DesktopModel>();
    window_ = std::make_unique<TForm2>(*model_);
    messages_.clear();
    window_->messageHook = [this](const QString& caption, const QString& text) { messages_ << caption + ": " + text; };
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void closeWindow() {
    window_.reset();
    model_.reset();
    QDir::setCurrent(previousDirectory_);
    scratch_.reset();
  }

  std::unique_ptr<QTemporaryDir> scratch_;
  QString previousDirectory_;
  std::unique_ptr<DesktopModel> model_;
  std::unique_ptr<TForm2> window_;
  QStringList messages_;
};

}  // namespace torvex::test
