// Writes the forms of the Data page as an input data file, checking each
// box on the way. The texts are copied exactly as they stand: the file holds
// what the user typed, so a value is never reformatted or rounded here.

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "model/data_file_keys.h"
#include "model/number_format.h"
#include "model/text_list.h"
#include "ui/main_window.h"

namespace torvex {
namespace {

constexpr const char* kBlanks = "   ";

QString textOf(const QWidget* control) {
  if (const auto* box = qobject_cast<const QLineEdit*>(control)) return box->text();
  if (const auto* choice = qobject_cast<const QComboBox*>(control)) return choice->currentText();
  return QString();
}

// Marks a control as holding an acceptable value or not: a failed one gets
// the aqua background and the hint "Uncorrect value"; a passed one loses an
// earlier mark.
void markControl(QWidget* control, bool passed) {
  QPalette palette = control->palette();
  palette.setColor(QPalette::Base, passed ? QColor(255, 255, 255) : QColor(0, 255, 255));
  control->setPalette(palette);
  control->setToolTip(passed ? QString() : QStringLiteral("Uncorrect value"));
}

int integerOf(const QWidget* control) {
  return integerOr(textOf(control).toStdString(), 0);
}

}  // namespace

QString TForm2::CheckedIntegerText(QWidget* control) {
  const QString text = textOf(control);
  // A bad integer is marked but does not stop a run: the load gives the key
  // its default.
  markControl(control, parseInteger(text.toStdString()).has_value());
  return text;
}

QString TForm2::CheckedRealText(QWidget* control) {
  const QString text = textOf(control);
  const bool passed = parseReal(text.toStdString()).has_value();
  markControl(control, passed);
  if (!passed) FieldsValid = false;
  return text;
}

QString TForm2::CheckedFileText(QLineEdit* box) {
  markControl(box, true);
  const QString text = box->text();
  if (text.isEmpty() || !FileCanBeOpened(text)) {
    FieldsValid = false;
    markControl(box, false);
  }
  return text;
}

bool TForm2::WriteDataFile(const QString& path) {
  FieldsValid = true;
  QStringList values;  // one value line per key before the profile, without the leading blanks
  const QString blanks = QString::fromLatin1(kBlanks);

  values << CheckedIntegerText(Edit1);
  values << CheckedRealText(Edit2) + blanks + CheckedRealText(Edit3);
  if (integerOf(Edit4) < InitialPoints) Edit4->setText(QString::number(InitialPoints));
  values << CheckedIntegerText(Edit4);
  values << CheckedRealText(Edit5);
  values << CheckedRealText(Edit6);
  values << CheckedRealText(Edit7);
  values << CheckedIntegerText(Edit8);
  values << CheckedRealText(Edit9);
  values << CheckedRealText(Edit10);

  QString diffusivity = CheckedIntegerText(Edit11C);
  if (const int mode = integerOf(Edit11C); mode == 0 || mode == 1) diffusivity += QChar(' ') + CheckedFileText(Edit28);
  values << diffusivity;
  values << CheckedRealText(Edit12);

  for (const auto* boxes : {&MolarMassBoxes, &MolarVolumeBoxes}) {
    QString line;
    for (QLineEdit* box : *boxes) line += CheckedRealText(box) + QChar(' ');
    values << line;
  }

  QString activities = CheckedIntegerText(Edit15C);
  if (integerOf(Edit15C) == 3) activities += blanks + CheckedFileText(Edit29);
  values << activities;
  for (QComboBox* choice : {Edit16C, Edit17C, Edit18C, Edit19C}) values << CheckedIntegerText(choice);
  values << CheckedIntegerText(Edit20) + blanks + CheckedIntegerText(Edit21);
  values << CheckedIntegerText(Edit22C);
  values << CheckedIntegerText(Edit23C);

  QString kirkendall = CheckedIntegerText(Edit24C);
  if (integerOf(Edit24C) == 1) kirkendall += blanks + CheckedRealText(Edit11);
  values << kirkendall;

  QString flux = CheckedIntegerText(Edit25C);
  if (const int mode = integerOf(Edit25C); mode == 1 || mode == 2) flux += blanks + CheckedFileText(Edit30);
  flux += blanks + CheckedRealText(Edit31);
  values << flux;
  values << CheckedIntegerText(Edit26);

  TextList lines;
  lines.add("###Torvex_v2.3###");
  for (qsizetype key = 0; key < values.size(); ++key) {
    lines.add(keyInfo(keyAt(static_cast<int>(key))).formsComment);
    lines.add(blanks.toStdString() + values[key].toStdString());
  }
  lines.add(keyInfo(DataKey::D23).formsComment);
  if (InitialPoints > 9) {
    // A long profile is typed into the text box below its heading line; the
    // lines go to the file as they stand (as many as there are).
    const QStringList memo = Memo1->toPlainText().split(QChar('\n'));
    for (qsizetype line = 1; line <= InitialPoints && line < memo.size(); ++line) lines.add(memo[line].toStdString());
  } else {
    Memo1->hide();
    for (const auto& row : ProfileGrid) {
      QString line = blanks;
      for (QLineEdit* box : row) line += CheckedRealText(box) + QChar(' ');
      lines.add(line.toStdString());
    }
  }
  lines.add("#end of data file");
  lines.saveToFile(path.toStdString());
  return FieldsValid;
}

}  // namespace torvex
