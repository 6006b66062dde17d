// Writes the forms of the Data page as an input data file, checking each
// box on the way. The texts are copied exactly as they stand: the file holds
// what the user typed, so a value is never reformatted or rounded here.

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "model/number_format.h"
#include "model/text_list.h"
#include "ui/main_window.h"

namespace torvex {
namespace {

// The key lines of the file, in key order. Trailing blanks are part of them.
// clang-format off
constexpr std::array<const char*, 25> kKeyLines = {
    "#|D0|-Number of components:",
    "#|D1|-The time of the diffusion process [s] (start, end):",
    "#|D2|-Number of points to set the density of components: ",
    "#|D3|-Initial time step:",
    "#|D4|-Concentration error:",
    "#|D5|-maximal integration time step [s]:",
    "#|D6|-number of time steps between changing the integration time: ",
    "#|D7|-integration time multiplicator: ",
    "#|D8|-Temperature [K]:",
    "#|D9|-Self Diffusion coefficients [cm^2 s^-1]: {0} - as function (from file), {1} - as matrix (from file), {2} for Cu-Fe-Ni alloy:",
    "#|D9a|-Correlation factor",
    "#|D10|-Molar Mass of components [g mol^-1]: ",
    "#|D11|- Standard molar Volume of components [cm^3 mol^-1]: ",
    "#|D12|-Thermodynamic activities eg., a_i=a_i(c_1,c_2,c_3): {0} - ideal, {1} - Cu-Fe-Ni alloy, {2} - Fe-Ni-Cr alloy, {3} as a molar fraction deriv. (from file):",
    "#|D13|-The constitutive equations: {0} - Nernst-Planck (when |D12|=0: Fick), {1} - Onsager",
    "#|D14|-Equation of mass conservation: {0} - in volume fixed RF, {1} - other RF (clasic)",
    "#|D15|-Darken velocity: {0} v^D=0, {1} - v^D computed:",
    "#|D16|-type of differentation, {0} - central, {1} - forward, {2} - backward",
    "#|D17|-number of time steps between: refreshing the screen, saving data: ",
    "#|D18|-speed of the calculations, 0 = quickest ~100 slowest: ",
    "#|D19|-Kirkendall plane, {1} - visible, {0} - non visible: ",
    "#|D20|-initial position of Kirkendall plane (initial contact interace) [cm]: {0} - the half width of the sample, {1} - not known {2} - declare  ",
    "#|D21|-initial boundary flux file: {0} - nondefined, {1} - as function (from file), {2} selective oxidation, minimal molar fraction:",
    "#|D22|-Number of initial points: {2} - new calculations, {number = D2} continuation: ",
    "#|D23|-Initial concentration data [% at.] (x, con_1 ,..., con_r-1, v_Darken, v_Sigma, pressure):",
};
// clang-format on

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
  QStringList values;  // one value line per key D0 .. D22, without the leading blanks
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
    lines.add(kKeyLines[static_cast<std::size_t>(key)]);
    lines.add(blanks.toStdString() + values[key].toStdString());
  }
  lines.add(kKeyLines[24]);
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
