#include "ui/text_editor.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/errors.h"
#include "model/text_list.h"
#include "ui/desktop_model.h"
#include "ui/main_window.h"

namespace torvex {

TForm3::TForm3(DesktopModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setWindowTitle(QStringLiteral("Edit"));
  resize(700, 500);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ButtonExit = new QPushButton(QStringLiteral("Exit"), this);
  ButtonSave = new QPushButton(QStringLiteral("Save"), this);
  ButtonExit->setAutoDefault(false);
  ButtonSave->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonExit);
  buttons->addStretch();
  buttons->addWidget(ButtonSave);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Memo1);
  layout->addLayout(buttons);
  connect(ButtonSave, &QPushButton::clicked, this, &TForm3::ButtonSaveClick);
  connect(ButtonExit, &QPushButton::clicked, this, &TForm3::ButtonExitClick);
}

void TForm3::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TForm3::FormShow() {
  FileName = FileName.trimmed();
  if (FileName.isEmpty()) {
    Memo1->clear();
    FileName = QString::fromStdString(model_.applicationDirectory) + QStringLiteral("new.dat");
  } else {
    if (!FileName.contains(QChar('/'))) FileName.prepend(QString::fromStdString(model_.applicationDirectory));
    if (FileCanBeOpened(FileName)) {
      try {
        TextList lines;
        lines.loadFromFile(FileName.toStdString());
        QStringList text;
        for (const std::string& line : lines) text << QString::fromStdString(line);
        Memo1->setPlainText(text.join(QChar('\n')));
      } catch (const InputError& error) {
        report(QString::fromStdString(error.what()));
      }
    }
  }
  setWindowTitle(FileName);
}

bool TForm3::writeTo(const QString& path) {
  TextList lines;
  for (const QString& line : Memo1->toPlainText().split(QChar('\n'))) lines.add(line.toStdString());
  try {
    lines.saveToFile(path.toStdString());
    return true;
  } catch (const InputError& error) {
    report(QString::fromStdString(error.what()));
    return false;
  }
}

void TForm3::report(const QString& message) {
  if (messageHook) {
    messageHook(message);
    return;
  }
  QMessageBox::warning(this, windowTitle(), message);
}

void TForm3::ButtonSaveClick() {
  if (!AskForFileName) {
    if (writeTo(FileName)) Saved = true;
    return;
  }
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.selectFile(FileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString chosen = dialog.selectedFiles().constFirst();
  if (writeTo(chosen)) FileName = chosen;
}

void TForm3::ButtonExitClick() {
  AskForFileName = true;
  close();
}

}  // namespace torvex
