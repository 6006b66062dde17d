#pragma once
// The heat treatment of the desktop runs in one dialog: a temperature
// schedule file or none, thermal cycles, spallation of the scale at every
// cool-down, the oxide's composition, a receding oxidising surface and the
// critical content that ends the coating's life. Each part is checked on OK
// by the reader of its torvex-batch option, and the message it gives is
// shown in the dialog, which stays open until the settings can run.

#include <QDialog>

#include "model/life_options.h"
#include "study/treatment_file.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace torvex {

// One line for the status row: what the runs follow beyond the data page
// ("none: the temperature of D8" when nothing).
QString describeTreatment(const TreatmentSettings& settings);

class TreatmentDialog : public QDialog {
  Q_OBJECT

 public:
  // `lifeCase`: what the data page says the settings must suit (the number
  // of components, D21, D16).
  TreatmentDialog(const TreatmentSettings& settings, const LifeCase& lifeCase, QWidget* parent = nullptr);

  // The settings accepted (or given, before OK).
  [[nodiscard]] const TreatmentSettings& settings() const { return settings_; }

  // Checks the controls; on success keeps their settings and closes,
  // otherwise shows why in MessageLabel and stays open.
  void accept() override;

  // The settings the controls hold, each text as its option takes it.
  // Throws InputError, placed by the group's title, when one cannot be
  // read.
  [[nodiscard]] TreatmentSettings settingsOfControls() const;

  // ---- Controls, public so that tests fill them as a user would ----
  QLineEdit* ScheduleEdit = nullptr;  // empty: the temperature of the data page
  QPushButton* ScheduleBrowse = nullptr;
  QGroupBox* CyclesBox = nullptr;  // checkable: cycles or none
  QLineEdit* CycleCountEdit = nullptr;
  QLineEdit* HotSecondsEdit = nullptr;
  QLineEdit* HotKelvinEdit = nullptr;
  QLineEdit* ColdSecondsEdit = nullptr;
  QLineEdit* ColdKelvinEdit = nullptr;
  QLineEdit* HeatingSecondsEdit = nullptr;  // empty: a step up
  QLineEdit* CoolingSecondsEdit = nullptr;  // empty: a step down
  QLabel* CyclesTextLabel = nullptr;        // the cycles as --cycles takes them
  QGroupBox* SpallBox = nullptr;
  QLineEdit* SpallFractionEdit = nullptr;  // Q0
  QLineEdit* SpallExponentEdit = nullptr;  // ALPHA, empty: 0
  QGroupBox* OxideBox = nullptr;
  QLineEdit* OxygenPerMetalEdit = nullptr;   // NU
  QLineEdit* OxygenMolarMassEdit = nullptr;  // M_OX
  QCheckBox* RecedingCheck = nullptr;
  QGroupBox* CriticalBox = nullptr;
  QComboBox* CriticalComponentChoice = nullptr;  // N1 .. Nr
  QComboBox* CriticalWhereChoice = nullptr;      // at the surface, lowest, highest
  QComboBox* CriticalSideChoice = nullptr;       // falls below, rises above
  QLineEdit* CriticalValueEdit = nullptr;
  QLineEdit* CriticalTextEdit = nullptr;  // the condition as text; follows the fields and sets them
  QLabel* MessageLabel = nullptr;

 private:
  void showSettings(const TreatmentSettings& settings);
  void showCycles(const std::string& text);
  void showCritical(const std::string& text);
  [[nodiscard]] QString cyclesTextOfFields() const;
  void updateCyclesText();
  void criticalFieldsChanged();
  void criticalTextEdited();
  void pickSchedule();

  TreatmentSettings settings_;
  LifeCase lifeCase_;
};

}  // namespace torvex
