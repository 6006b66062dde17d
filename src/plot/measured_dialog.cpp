#include "plot/measured_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "plot/chart_data.h"
#include "plot/measured_shift.h"

namespace torvex::plot {
namespace {

// Any shift a scan can need, in µm: a metre either way.
constexpr double kLargestShiftUm = 1e6;

QString micrometres(double cm) {
  return QString::fromStdString(ShortNumber(cm * 1e4)) + QStringLiteral(" µm");
}

}  // namespace

MeasuredProfileDialog::MeasuredProfileDialog(const RunData& run, const MeasuredProfile& measured, std::size_t frame,
                                             QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Load measured profile"));
  const ShiftProposal proposal = ProposeMeasuredShift(run, measured, frame);

  QStringList lines;
  if (run.pointCount() > 0)
    lines << QStringLiteral("The simulated sample runs from %1 to %2.")
                 .arg(micrometres(run.positionCm.front()), micrometres(run.positionCm.back()));
  if (!measured.positionCm.empty()) {
    const auto [lowest, highest] = std::minmax_element(measured.positionCm.begin(), measured.positionCm.end());
    lines << QStringLiteral("The scan, as read, runs from %1 to %2.").arg(micrometres(*lowest), micrometres(*highest));
  }
  if (run.pointCount() > 0)
    lines << QStringLiteral("Proposed shift %1: %2")
                 .arg(micrometres(proposal.shiftCm), QString::fromStdString(proposal.explanation));
  else
    lines << QString::fromStdString(proposal.explanation);
  text = new QLabel(lines.join(QLatin1Char('\n')), this);
  text->setWordWrap(true);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);

  shiftBox = new QDoubleSpinBox(this);
  shiftBox->setRange(-kLargestShiftUm, kLargestShiftUm);
  shiftBox->setDecimals(3);
  shiftBox->setSuffix(QStringLiteral(" µm"));
  shiftBox->setValue(proposal.shiftCm * 1e4);
  shiftBox->setToolTip(QStringLiteral("Added to every measured position"));

  timeBox = new QDoubleSpinBox(this);
  timeBox->setRange(0.0, 1e12);
  timeBox->setDecimals(3);
  timeBox->setSpecialValueText(QStringLiteral("not given"));
  timeBox->setToolTip(
      QStringLiteral("The anneal time the profile was measured after: it is compared with the save nearest to it. "
                     "Not given, it is compared with the save the Plots window shows."));
  timeUnitBox = new QComboBox(this);
  timeUnitBox->addItems({QStringLiteral("s"), QStringLiteral("min"), QStringLiteral("h")});
  auto* timeRow = new QHBoxLayout();
  timeRow->addWidget(timeBox, 1);
  timeRow->addWidget(timeUnitBox);

  auto* form = new QFormLayout();
  form->addRow(QStringLiteral("Shift of the measured positions:"), shiftBox);
  form->addRow(QStringLiteral("Measured after:"), timeRow);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

double MeasuredProfileDialog::shiftUm() const {
  return shiftBox->value();
}

std::optional<double> MeasuredProfileDialog::measuredTimeS() const {
  if (!(timeBox->value() > 0.0)) return std::nullopt;
  return timeBox->value() * SecondsPer(static_cast<TimeUnit>(std::clamp(timeUnitBox->currentIndex(), 0, 2)));
}

}  // namespace torvex::plot
