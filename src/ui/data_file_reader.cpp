// Reads an input data file back into the forms of the Data page. Which box
// receives which text is decided by ReadFormValues, without the toolkit; this
// file only applies that to the controls, in key order, so that the
// rebuilds a new component count or a new number of initial points causes
// happen where they would if the user typed the values.

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>

#include "model/errors.h"
#include "model/number_format.h"
#include "model/text_list.h"
#include "ui/form_reader.h"
#include "ui/main_window.h"

namespace torvex {
namespace {

void setText(QLineEdit* box, const std::optional<std::string>& text) {
  if (text) box->setText(QString::fromStdString(*text));
}

// Selecting an item from code does not run the combo's handlers; an index
// without an item leaves the combo without a selection.
void select(QComboBox* choice, const std::optional<int>& index) {
  if (index) choice->setCurrentIndex(*index >= 0 && *index < choice->count() ? *index : -1);
}

void fillBoxes(const std::vector<QLineEdit*>& boxes, const std::optional<std::vector<std::string>>& values) {
  if (!values) return;
  for (std::size_t i = 0; i < boxes.size() && i < values->size(); ++i)
    boxes[i]->setText(QString::fromStdString((*values)[i]));
}

}  // namespace

bool TForm2::ReadDataFileIntoForms(const QString& path) {
  // The whole file is read first: a file that cannot be read changes nothing.
  TextList lines;
  lines.loadFromFile(path.toStdString());
  const FormValues v = ReadFormValues(lines.lines());

  if (v.components) {
    Edit1->setText(QString::number(*v.components));
    BuildComponentFields(*v.components, 0);
  }
  setText(Edit2, v.startTime);
  setText(Edit3, v.endTime);
  setText(Edit4, v.gridPoints);
  setText(Edit5, v.initialTimeStep);
  setText(Edit6, v.concentrationError);
  setText(Edit7, v.maximalTimeStep);
  setText(Edit8, v.stepsBetweenChanges);
  setText(Edit9, v.timeStepMultiplier);
  setText(Edit10, v.temperature);
  select(Edit11C, v.diffusivityChoice);
  setText(Edit28, v.diffusivityFile);
  setText(Edit12, v.correlationFactor);
  fillBoxes(MolarMassBoxes, v.molarMasses);
  fillBoxes(MolarVolumeBoxes, v.molarVolumes);
  select(Edit15C, v.activityChoice);
  setText(Edit29, v.activityFile);
  select(Edit16C, v.constitutiveChoice);
  select(Edit17C, v.conservationChoice);
  select(Edit18C, v.darkenChoice);
  select(Edit19C, v.differentiationChoice);
  setText(Edit20, v.refreshInterval);
  setText(Edit21, v.saveInterval);
  if (v.speed) Edit22C->setEditText(QString::fromStdString(*v.speed));
  select(Edit23C, v.kirkendallVisibleChoice);
  select(Edit24C, v.kirkendallPositionChoice);
  setText(Edit11, v.kirkendallPosition);
  select(Edit25C, v.fluxChoice);
  setText(Edit30, v.fluxFile);
  setText(Edit31, v.minimalFraction);

  if (v.initialPoints) {
    const int points = *v.initialPoints;
    Edit26->setText(QString::number(points));
    InitialPoints = points;
    if (points <= 9) {
      Memo1->hide();
      BuildProfileGrid(points, ComponentCount);
    }
    if (points > 9 && !v.profileRows.empty()) {
      QStringList text{QString::fromLatin1(kProfileHeading)};
      for (const std::string& row : v.profileRows) text << QString::fromStdString(row);
      Memo1->clear();
      Memo1->setPlainText(text.join(QChar('\n')));
      Memo1->show();
    }
    for (std::size_t l = 0; l < v.gridRows.size() && l < ProfileGrid.size(); ++l) {
      const std::vector<QLineEdit*>& boxes = ProfileGrid[l];
      const std::vector<std::string>& cells = v.gridRows[l];
      for (std::size_t k = 0; k < boxes.size() && k < cells.size(); ++k)
        boxes[k]->setText(QString::fromStdString(cells[k]));
    }
  }

  if (ComponentCount < 10) ApplyChoiceVisibility();
  // The names beside the data file, when it has them.
  QString names;
  if (QFile file(namesFileOf(path)); file.open(QIODevice::ReadOnly))
    names = QString::fromUtf8(file.read(4096)).split(QLatin1Char('\n')).value(0).trimmed();
  ComponentNamesEdit->setText(names);
  return true;
}

QString TForm2::namesFileOf(const QString& dataFile) {
  const QFileInfo info(dataFile);
  return info.dir().filePath(info.completeBaseName() + QStringLiteral(".names"));
}

bool TForm2::WriteNamesFile(const QString& dataFile) {
  const QString path = namesFileOf(dataFile);
  const QString names = ComponentNamesEdit->text().trimmed();
  if (names.isEmpty()) {
    if (QFile::exists(path)) QFile::remove(path);
    return true;
  }
  try {
    ReplaceFileContent(path.toStdString(), names.toStdString() + "\n");
  } catch (const InputError& error) {
    showMessage(QStringLiteral("Component names"), QString::fromStdString(error.what()));
    return false;
  }
  return true;
}

void TForm2::Fi1Click() {
  QFileDialog dialog(this, QString(), QString::fromStdString(model_.applicationDirectory));
  dialog.setNameFilters(dialogFilters(QStringLiteral("dat|*.dat|txt|*.txt")));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().constFirst();
  ReadDataFileIntoForms(path);
  DataFileName = path;
  ReadTreatmentFile(path);
}

bool TForm2::ReadTreatmentFile(const QString& dataFile) {
  Treatment = TreatmentSettings();
  const QString path = QString::fromStdString(treatmentFileOf(dataFile.toStdString()));
  // The status row says what the next START runs with, whatever happens here.
  const auto shown = qScopeGuard([this] { ShowTreatment(); });
  if (!QFileInfo::exists(path)) return true;
  try {
    Treatment = readTreatmentFile(path.toStdString());
  } catch (const InputError& error) {
    showMessage(QStringLiteral("Heat treatment"),
                QString::fromStdString(error.what()) +
                    QStringLiteral("\n\nThe data is open without a heat treatment; the file is left as it is."));
    return false;
  }
  return true;
}

bool TForm2::WriteTreatmentFile(const QString& dataFile) {
  const std::string path = treatmentFileOf(dataFile.toStdString());
  const QString shown = QString::fromStdString(path);
  try {
    if (QFileInfo::exists(shown)) {
      std::optional<TreatmentSettings> onDisk;
      try {
        onDisk = readTreatmentFile(path);
      } catch (const InputError&) {
        // Written by hand, or damaged: the user's text is kept, not lost.
        QString kept = shown + QStringLiteral(".unread");
        for (int n = 2; QFileInfo::exists(kept) && n < 1000; ++n) kept = shown + QStringLiteral(".unread%1").arg(n);
        if (QFileInfo::exists(kept) || !QFile::rename(shown, kept))
          throw InputError(path + ": cannot be read and cannot be kept as " + kept.toStdString() +
                           "; the heat treatment is not written");
        showNotice(QStringLiteral("Heat treatment"),
                   QStringLiteral("%1 could not be read; it is kept as %2.").arg(shown, kept));
      }
      if (onDisk && *onDisk == Treatment) return true;  // nothing to change
    }
    if (Treatment.empty()) {
      if (QFileInfo::exists(shown)) QFile::remove(shown);
      return true;
    }
    ReplaceFileContent(path, treatmentText(Treatment, path));
  } catch (const InputError& error) {
    showMessage(QStringLiteral("Heat treatment"), QString::fromStdString(error.what()));
    return false;
  }
  return true;
}

}  // namespace torvex
