#pragma once
// A plain modal text editor for the input data file and the side files. It
// either writes straight back to the file it was given, or asks for a file
// name when saving.

#include <QDialog>
#include <QString>
#include <functional>

class QPlainTextEdit;
class QPushButton;

namespace torvex {

class DesktopModel;

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  TForm3(DesktopModel& model, QWidget* parent = nullptr);

  QString FileName;            // the file being edited; read back by the caller
  bool AskForFileName = true;  // Save asks for a file name
  bool Saved = false;          // a Save wrote straight to FileName

  // Completes FileName (a bare name goes into the program's directory), loads
  // the file when it can be opened and shows its name in the caption.
  void FormShow();
  void ButtonSaveClick();
  void ButtonExitClick();

  // Where a file that cannot be read or written is reported: a message box,
  // or this hook when set (tests).
  std::function<void(const QString& message)> messageHook;

  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* ButtonExit = nullptr;
  QPushButton* ButtonSave = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Writes the text lines with CR LF; reports a failure and keeps the text.
  bool writeTo(const QString& path);
  void report(const QString& message);

  DesktopModel& model_;
};

}  // namespace torvex
