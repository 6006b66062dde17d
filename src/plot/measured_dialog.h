#pragma once
// Placing a measured profile on the run before it is drawn: the prompt says
// where the simulated sample and the scan lie, proposes the shift that puts
// the scan's interface on the simulated one, and asks when the profile was
// measured, so that it is compared with the save of that time.

#include <QDialog>
#include <optional>

#include "model/measured_profile.h"
#include "results/run_data.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;

namespace torvex::plot {

class MeasuredProfileDialog : public QDialog {
  Q_OBJECT

 public:
  // measured as read, without a shift; the proposal compares it with the
  // save `frame` of run (the last when out of range).
  MeasuredProfileDialog(const RunData& run, const MeasuredProfile& measured, std::size_t frame,
                        QWidget* parent = nullptr);

  // The shift accepted or typed, in micrometres.
  [[nodiscard]] double shiftUm() const;
  // The time the profile was measured at (s); none when not given.
  [[nodiscard]] std::optional<double> measuredTimeS() const;

  // ---- Controls, public so that tests fill them as a user would ----
  QLabel* text = nullptr;
  QDoubleSpinBox* shiftBox = nullptr;  // µm
  QDoubleSpinBox* timeBox = nullptr;   // 0: not given
  QComboBox* timeUnitBox = nullptr;    // s, min, h
};

}  // namespace torvex::plot
