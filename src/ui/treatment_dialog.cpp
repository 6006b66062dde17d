#include "ui/treatment_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "model/errors.h"
#include "model/heat_treatment.h"
#include "model/number_format.h"
#include "model/thermal_cycles.h"

namespace torvex {
namespace {

// How a refusal names each part: by the title of its group.
TreatmentPlaces dialogPlaces() {
  TreatmentPlaces places;
  places.schedule = "Temperature schedule";
  places.cycles = "Thermal cycles";
  places.spall = "Spallation";
  places.oxide = "Oxide";
  places.critical = "Critical content";
  return places;
}

QLineEdit* numberBox(QWidget* parent, const QString& placeholder, const QString& tip) {
  auto* box = new QLineEdit(parent);
  box->setPlaceholderText(placeholder);
  box->setToolTip(tip);
  box->setMaximumWidth(110);
  return box;
}

QString text(const std::string& value) {
  return QString::fromStdString(value);
}

std::string trimmedText(const QLineEdit* box) {
  return box->text().trimmed().toStdString();
}

}  // namespace

QString describeTreatment(const TreatmentSettings& settings) {
  if (settings.empty()) return QStringLiteral("none: the temperature of D8");
  QStringList parts;
  if (!settings.schedule.empty())
    parts << QStringLiteral("schedule ") + QFileInfo(QString::fromStdString(settings.schedule)).fileName();
  if (!settings.cycles.empty()) parts << QStringLiteral("cycles ") + text(settings.cycles);
  if (!settings.spall.empty()) parts << QStringLiteral("spallation ") + text(settings.spall);
  if (!settings.oxide.empty()) parts << QStringLiteral("oxide ") + text(settings.oxide);
  if (settings.receding) parts << QStringLiteral("receding surface");
  if (!settings.critical.empty()) parts << QStringLiteral("ends at ") + text(settings.critical);
  return parts.join(QStringLiteral(", "));
}

TreatmentDialog::TreatmentDialog(const TreatmentSettings& settings, const LifeCase& lifeCase, QWidget* parent)
    : QDialog(parent), settings_(settings), lifeCase_(lifeCase) {
  setWindowTitle(QStringLiteral("Heat treatment"));

  // ---- Temperature ----
  auto* temperatureBox = new QGroupBox(QStringLiteral("Temperature schedule"), this);
  ScheduleEdit = new QLineEdit(temperatureBox);
  ScheduleEdit->setPlaceholderText(QStringLiteral("none: the temperature of the data page holds"));
  ScheduleEdit->setToolTip(
      QStringLiteral("A CSV file with the header time_s,T_K and rows of increasing time: T(t) piecewise linear, "
                     "a step is two rows at the same time. Cycles follow its last row."));
  ScheduleBrowse = new QPushButton(QStringLiteral("Browse..."), temperatureBox);
  connect(ScheduleBrowse, &QPushButton::clicked, this, &TreatmentDialog::pickSchedule);
  auto* scheduleRow = new QHBoxLayout(temperatureBox);
  scheduleRow->addWidget(new QLabel(QStringLiteral("File:"), temperatureBox));
  scheduleRow->addWidget(ScheduleEdit, 1);
  scheduleRow->addWidget(ScheduleBrowse);

  // ---- Cycles ----
  CyclesBox = new QGroupBox(QStringLiteral("Thermal cycles"), this);
  CyclesBox->setCheckable(true);
  CyclesBox->setToolTip(
      QStringLiteral("Each cycle: the heating ramp, the hot hold, the cooling ramp and the cold hold. Oxide "
                     "constants that are formulas in T grow almost no scale in the cold hold."));
  CycleCountEdit = numberBox(CyclesBox, QStringLiteral("1000"), QStringLiteral("Number of cycles"));
  HotSecondsEdit = numberBox(CyclesBox, QStringLiteral("3600"), QStringLiteral("Hot hold [s]"));
  HotKelvinEdit = numberBox(CyclesBox, QStringLiteral("1373"), QStringLiteral("Hot temperature [K]"));
  ColdSecondsEdit = numberBox(CyclesBox, QStringLiteral("600"), QStringLiteral("Cold hold [s]"));
  ColdKelvinEdit = numberBox(CyclesBox, QStringLiteral("300"), QStringLiteral("Cold temperature [K]"));
  HeatingSecondsEdit = numberBox(CyclesBox, QStringLiteral("0: a step"), QStringLiteral("Heating ramp [s]"));
  CoolingSecondsEdit = numberBox(CyclesBox, QStringLiteral("0: a step"), QStringLiteral("Cooling ramp [s]"));
  CyclesTextLabel = new QLabel(CyclesBox);
  CyclesTextLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* cycles = new QGridLayout(CyclesBox);
  const auto label = [this](const char* caption) { return new QLabel(QString::fromUtf8(caption), CyclesBox); };
  cycles->addWidget(label("Cycles:"), 0, 0);
  cycles->addWidget(CycleCountEdit, 0, 1);
  cycles->addWidget(label("Hot hold [s]:"), 1, 0);
  cycles->addWidget(HotSecondsEdit, 1, 1);
  cycles->addWidget(label("at [K]:"), 1, 2);
  cycles->addWidget(HotKelvinEdit, 1, 3);
  cycles->addWidget(label("Cold hold [s]:"), 2, 0);
  cycles->addWidget(ColdSecondsEdit, 2, 1);
  cycles->addWidget(label("at [K]:"), 2, 2);
  cycles->addWidget(ColdKelvinEdit, 2, 3);
  cycles->addWidget(label("Heating ramp [s]:"), 3, 0);
  cycles->addWidget(HeatingSecondsEdit, 3, 1);
  cycles->addWidget(label("Cooling ramp [s]:"), 3, 2);
  cycles->addWidget(CoolingSecondsEdit, 3, 3);
  cycles->addWidget(CyclesTextLabel, 4, 0, 1, 4);
  for (QLineEdit* box : {CycleCountEdit, HotSecondsEdit, HotKelvinEdit, ColdSecondsEdit, ColdKelvinEdit,
                         HeatingSecondsEdit, CoolingSecondsEdit})
    connect(box, &QLineEdit::textChanged, this, &TreatmentDialog::updateCyclesText);

  // ---- Spallation and oxide ----
  SpallBox = new QGroupBox(QStringLiteral("Spallation at every cool-down"), this);
  SpallBox->setCheckable(true);
  SpallBox->setToolTip(
      QStringLiteral("When a cycle has cooled down, the scale loses the fraction Q0 (thickness / 1 µm)^ALPHA of its "
                     "thickness (at most all of it) and regrows from the thinner scale. Needs cycles."));
  SpallFractionEdit = numberBox(SpallBox, QStringLiteral("0.005"), QStringLiteral("Q0: the fraction spalled"));
  SpallExponentEdit = numberBox(SpallBox, QStringLiteral("0"), QStringLiteral("ALPHA: 0 spalls a constant fraction"));
  auto* spall = new QFormLayout(SpallBox);
  spall->addRow(QStringLiteral("Q0:"), SpallFractionEdit);
  spall->addRow(QStringLiteral("ALPHA:"), SpallExponentEdit);

  OxideBox = new QGroupBox(QStringLiteral("Oxide (specific mass change)"), this);
  OxideBox->setCheckable(true);
  OxygenPerMetalEdit =
      numberBox(OxideBox, QStringLiteral("1.5"), QStringLiteral("NU: oxygen atoms per atom of component 1"));
  OxygenMolarMassEdit = numberBox(OxideBox, text(formatShortest(OxideComposition::kOxygenMolarMass)),
                                  QStringLiteral("M_OX: molar mass of the oxygen-bearing part [g/mol]"));
  auto* oxide = new QFormLayout(OxideBox);
  oxide->addRow(QStringLiteral("NU:"), OxygenPerMetalEdit);
  oxide->addRow(QStringLiteral("M_OX [g/mol]:"), OxygenMolarMassEdit);

  auto* scaleRow = new QHBoxLayout;
  scaleRow->addWidget(SpallBox);
  scaleRow->addWidget(OxideBox);

  RecedingCheck = new QCheckBox(QStringLiteral("Receding oxidising surface (needs D21 = 2 and D16 = 3)"), this);
  RecedingCheck->setToolTip(
      QStringLiteral("The sample shortens by the volume of the metal the scale consumes, instead of keeping its "
                     "length and drawing in alloy at the surface"));

  // ---- Critical content ----
  CriticalBox = new QGroupBox(QStringLiteral("Critical content (end of life)"), this);
  CriticalBox->setCheckable(true);
  CriticalBox->setToolTip(
      QStringLiteral("The run stops when the condition first holds; the run report gives the life"));
  CriticalComponentChoice = new QComboBox(CriticalBox);
  for (int k = 1; k <= std::max(lifeCase.componentCount, 1); ++k)
    CriticalComponentChoice->addItem(QStringLiteral("N%1").arg(k));
  CriticalWhereChoice = new QComboBox(CriticalBox);
  CriticalWhereChoice->addItems({QStringLiteral("at the surface"), QStringLiteral("lowest in the sample"),
                                 QStringLiteral("highest in the sample")});
  CriticalSideChoice = new QComboBox(CriticalBox);
  CriticalSideChoice->addItems({QStringLiteral("falls below"), QStringLiteral("rises above")});
  CriticalValueEdit = numberBox(CriticalBox, QStringLiteral("0.04"), QStringLiteral("A molar fraction, 0 to 1"));
  CriticalTextEdit = new QLineEdit(CriticalBox);
  CriticalTextEdit->setPlaceholderText(QStringLiteral("N1<0.04"));
  CriticalTextEdit->setToolTip(
      QStringLiteral("The condition as text: N1<0.04, min(N1)<0.04, N3>0.5 or max(N3)>0.5 (molar fractions)"));
  auto* critical = new QGridLayout(CriticalBox);
  critical->addWidget(CriticalComponentChoice, 0, 0);
  critical->addWidget(CriticalWhereChoice, 0, 1);
  critical->addWidget(CriticalSideChoice, 0, 2);
  critical->addWidget(CriticalValueEdit, 0, 3);
  critical->addWidget(new QLabel(QStringLiteral("As text:"), CriticalBox), 1, 0);
  critical->addWidget(CriticalTextEdit, 1, 1, 1, 3);
  for (QComboBox* choice : {CriticalComponentChoice, CriticalWhereChoice, CriticalSideChoice})
    connect(choice, &QComboBox::currentIndexChanged, this, &TreatmentDialog::criticalFieldsChanged);
  connect(CriticalValueEdit, &QLineEdit::textEdited, this, &TreatmentDialog::criticalFieldsChanged);
  connect(CriticalTextEdit, &QLineEdit::textEdited, this, &TreatmentDialog::criticalTextEdited);

  MessageLabel = new QLabel(this);
  MessageLabel->setObjectName(QStringLiteral("TreatmentMessage"));
  MessageLabel->setWordWrap(true);
  MessageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  MessageLabel->setStyleSheet(QStringLiteral("color: #b00000"));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TreatmentDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(temperatureBox);
  layout->addWidget(CyclesBox);
  layout->addLayout(scaleRow);
  layout->addWidget(RecedingCheck);
  layout->addWidget(CriticalBox);
  layout->addWidget(MessageLabel);
  layout->addWidget(buttons);

  showSettings(settings);
}

void TreatmentDialog::showSettings(const TreatmentSettings& settings) {
  ScheduleEdit->setText(text(settings.schedule));
  CyclesBox->setChecked(!settings.cycles.empty());
  showCycles(settings.cycles);
  SpallBox->setChecked(!settings.spall.empty());
  if (!settings.spall.empty()) {
    try {
      const SpallLaw law = parseSpall(settings.spall, "spall");
      SpallFractionEdit->setText(text(formatShortest(law.q0)));
      SpallExponentEdit->setText(text(formatShortest(law.alpha)));
    } catch (const InputError&) {
      SpallFractionEdit->setText(text(settings.spall));
    }
  }
  OxideBox->setChecked(!settings.oxide.empty());
  if (!settings.oxide.empty()) {
    try {
      const OxideComposition composition = parseOxide(settings.oxide, "oxide");
      OxygenPerMetalEdit->setText(text(formatShortest(composition.oxygenPerMetal)));
      OxygenMolarMassEdit->setText(text(formatShortest(composition.oxygenMolarMass)));
    } catch (const InputError&) {
      OxygenPerMetalEdit->setText(text(settings.oxide));
    }
  }
  RecedingCheck->setChecked(settings.receding);
  CriticalBox->setChecked(!settings.critical.empty());
  CriticalTextEdit->setText(text(settings.critical));
  showCritical(settings.critical);
}

void TreatmentDialog::showCycles(const std::string& cyclesText) {
  if (!cyclesText.empty()) {
    try {
      const ThermalCycles c = parseCycles(cyclesText, "cycles");
      CycleCountEdit->setText(text(formatInteger(c.count())));
      HotSecondsEdit->setText(text(formatShortest(c.hotSeconds())));
      HotKelvinEdit->setText(text(formatShortest(c.hotKelvin())));
      ColdSecondsEdit->setText(text(formatShortest(c.coldSeconds())));
      ColdKelvinEdit->setText(text(formatShortest(c.coldKelvin())));
      HeatingSecondsEdit->setText(c.heatingSeconds() != 0 ? text(formatShortest(c.heatingSeconds())) : QString());
      CoolingSecondsEdit->setText(c.coolingSeconds() != 0 ? text(formatShortest(c.coolingSeconds())) : QString());
    } catch (const InputError&) {
      // Settings are checked before they get here; nothing to show otherwise.
    }
  }
  updateCyclesText();
}

QString TreatmentDialog::cyclesTextOfFields() const {
  QString cyclesText =
      QStringLiteral("%1:%2@%3,%4@%5")
          .arg(CycleCountEdit->text().trimmed(), HotSecondsEdit->text().trimmed(), HotKelvinEdit->text().trimmed(),
               ColdSecondsEdit->text().trimmed(), ColdKelvinEdit->text().trimmed());
  QString heating = HeatingSecondsEdit->text().trimmed();
  QString cooling = CoolingSecondsEdit->text().trimmed();
  if (!heating.isEmpty() || !cooling.isEmpty()) {
    if (heating.isEmpty()) heating = QStringLiteral("0");
    if (cooling.isEmpty()) cooling = QStringLiteral("0");
    cyclesText += QStringLiteral(",ramp=") + heating + QLatin1Char('/') + cooling;
  }
  return cyclesText;
}

void TreatmentDialog::updateCyclesText() {
  // Before any field is filled in there is no option to show, only its separators.
  const bool empty = CycleCountEdit->text().trimmed().isEmpty() && HotSecondsEdit->text().trimmed().isEmpty() &&
                     HotKelvinEdit->text().trimmed().isEmpty() && ColdSecondsEdit->text().trimmed().isEmpty() &&
                     ColdKelvinEdit->text().trimmed().isEmpty();
  CyclesTextLabel->setText(QStringLiteral("As torvex-batch --cycles: ") +
                           (empty ? QStringLiteral("(fill in the fields)") : cyclesTextOfFields()));
}

void TreatmentDialog::showCritical(const std::string& criticalText) {
  if (criticalText.empty()) return;
  try {
    const CriticalContent c = parseCritical(criticalText, "critical");
    const QSignalBlocker a(CriticalComponentChoice), b(CriticalWhereChoice), d(CriticalSideChoice);
    // A component beyond those of the data page is kept in the text: the
    // check on OK names it.
    if (c.component < CriticalComponentChoice->count()) CriticalComponentChoice->setCurrentIndex(c.component);
    CriticalWhereChoice->setCurrentIndex(static_cast<int>(c.where));
    CriticalSideChoice->setCurrentIndex(c.below ? 0 : 1);
    CriticalValueEdit->setText(text(formatShortest(c.value)));
  } catch (const InputError&) {
    // A condition being typed: the fields keep what they show.
  }
}

void TreatmentDialog::criticalFieldsChanged() {
  const QString name = CriticalComponentChoice->currentText();
  const int where = CriticalWhereChoice->currentIndex();
  const QString subject =
      where == 0 ? name : (where == 1 ? QStringLiteral("min(") : QStringLiteral("max(")) + name + QLatin1Char(')');
  CriticalTextEdit->setText(subject + QLatin1Char(CriticalSideChoice->currentIndex() == 0 ? '<' : '>') +
                            CriticalValueEdit->text().trimmed());
}

void TreatmentDialog::criticalTextEdited() {
  showCritical(trimmedText(CriticalTextEdit));
}

void TreatmentDialog::pickSchedule() {
  const QString start = ScheduleEdit->text().isEmpty() ? QString() : QFileInfo(ScheduleEdit->text()).absolutePath();
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Temperature schedule"), start,
                                                    QStringLiteral("Schedule (*.csv *.txt);;All files (*)"));
  if (!path.isEmpty()) ScheduleEdit->setText(path);
}

TreatmentSettings TreatmentDialog::settingsOfControls() const {
  const TreatmentPlaces places = dialogPlaces();
  TreatmentSettings s;
  if (const QString schedule = ScheduleEdit->text().trimmed(); !schedule.isEmpty())
    s.schedule = QFileInfo(schedule).absoluteFilePath().toStdString();
  // Each part as its option takes it, written the one way the readers write
  // it back, so that the side file and run.json show the same text.
  if (CyclesBox->isChecked()) s.cycles = parseCycles(cyclesTextOfFields().toStdString(), places.cycles).text();
  if (SpallBox->isChecked()) {
    std::string law = trimmedText(SpallFractionEdit);
    if (const std::string alpha = trimmedText(SpallExponentEdit); !alpha.empty()) law += "," + alpha;
    s.spall = parseSpall(law, places.spall).text();
  }
  if (OxideBox->isChecked()) {
    std::string composition = trimmedText(OxygenPerMetalEdit);
    if (const std::string mass = trimmedText(OxygenMolarMassEdit); !mass.empty()) composition += "," + mass;
    s.oxide = parseOxide(composition, places.oxide).text();
  }
  s.receding = RecedingCheck->isChecked();
  if (CriticalBox->isChecked()) s.critical = parseCritical(trimmedText(CriticalTextEdit), places.critical).text();
  return s;
}

void TreatmentDialog::accept() {
  try {
    const TreatmentSettings s = settingsOfControls();
    // What the run will refuse is refused here, in the same words: the
    // schedule file as it reads, and settings the data page's case cannot
    // run with.
    const HeatTreatment heat = heatTreatmentOf(s, 0, dialogPlaces());
    checkLifeSettings(heat.life, lifeCase_);
    settings_ = s;
  } catch (const InputError& error) {
    MessageLabel->setText(QString::fromStdString(error.what()));
    // Room for the message below the controls, not squeezed out of them.
    adjustSize();
    return;
  }
  MessageLabel->clear();
  QDialog::accept();
}

}  // namespace torvex
