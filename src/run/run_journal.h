#pragma once
// The journal of a run: what it leaves besides its last profile, the history
// of its saves and passes (results/history.h) and its report (the run report:
// provenance, the schedule and output times when the run had them, outcome
// and verification checks; results/run_report.h).
//
// A run with a results folder writes them there: the history and series are
// started at its first save and then grow by appends, the report is written
// as "running" at the first save and with its outcome and checks when the
// run ends. A run without one writes nothing and keeps the profile of every
// save in memory (saves()); its report is in memory either way.
//
// The journal's hooks are called by the run's hand-overs (refresh.h); they do
// nothing while no run is in hand, so a state that is only refreshed or saved
// by a test leaves no journal files.

#include <chrono>
#include <exception>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/case.h"
#include "results/history.h"
#include "results/non_finite.h"
#include "results/records.h"
#include "results/results_files.h"
#include "results/run_report.h"
#include "run/pass_samples.h"
#include "run/run_checks.h"
#include "solver/run_state.h"

namespace torvex {

// The schedule and the output times of a case, as the report records them;
// empty when it holds neither.
HeatTreatmentRecord HeatTreatmentOf(const Case& c);

class RunJournal {
 public:
  // What the front end tells about the runs from now on.
  void setProvenance(RunProvenance provenance);
  // Whether the runs from now on keep the profile of every save in memory
  // (saves()) also when they write files; a run without a results folder
  // always keeps them.
  void setKeepSaves(bool keep) { keepSaves_ = keep; }

  // Once before the first pass (after the records are opened): starts the
  // journal of a run whose files go to `folder` (none: nothing is written);
  // the inventories and end compositions of the profile held are kept for
  // the checks, and the profile held becomes the first block of the history
  // and the first row of the series. Writes nothing: the run's files are
  // started at its first save.
  void begin(const Case& c, const RunState& s, const std::optional<std::string>& folder);

  // After every accepted pass, with the clock, the step and the Kirkendall
  // plane of that pass: a series row (held back until the next save) and
  // what the checks need; records hold the lines up to the pass before.
  void acceptedPass(const Case& c, const RunState& s, const RunRecords& records);

  // At a save while a run is in hand: the profile's block of the history,
  // with the atomic and weight percentages the results files hold (unless
  // the last block has the same time), and the series rows held back, synced
  // to disk when sync is Now. Throws FileWriteError naming the file that
  // cannot be written.
  void save(const Case& c, const RunState& s, FileSync sync = FileSync::Now);

  // Something the saves of the run had to do that a reader of its results
  // must know (a record file set aside); the report warns of it.
  void recordFileNotice(std::string notice);

  // The error that ended the run, for its outcome.
  void recordFailure(const std::exception_ptr& failure);

  // A run stopped at a pass that could not start from a finite profile or
  // finite rates: the outcome is non-finite, and the bounds check names
  // where the value appeared.
  void recordNonFinite(const NonFiniteValue& value, const std::vector<double>& position);

  // At the end of a run, after its final save: appends the series rows held
  // back, computes the checks and writes the report, synced to disk. Ends the journal
  // (further saves add nothing). Throws FileWriteError naming a file that
  // cannot be written; the report is kept all the same.
  void finish(const Case& c, const RunState& s, const RunRecords& records);

  // True while a run is in hand.
  [[nodiscard]] bool active() const { return active_; }
  // The report of the last run that finished, or nullptr.
  [[nodiscard]] const RunReport* lastReport() const { return haveLastReport_ ? &report_ : nullptr; }
  // The profiles at the saves of a run that writes no files, in time order.
  [[nodiscard]] const std::vector<SavedProfile>& saves() const { return saves_; }

 private:
  void appendSeries(FileSync sync);
  void writeReport();
  [[nodiscard]] RunOutcome outcomeOf(const Case& c, const RunState& s) const;
  [[nodiscard]] std::vector<RunCheck> checksOf(const Case& c, const RunState& s, const RunRecords& records) const;

  RunProvenance provenance_;
  bool keepSaves_ = false;
  bool active_ = false;
  std::optional<std::string> folder_;
  std::string nonFiniteMessage_;  // the run stopped at a pass it could not start
  std::chrono::steady_clock::time_point began_;
  RunReport report_;
  bool haveLastReport_ = false;
  std::string seriesRows_;  // rows not yet appended to the series
  std::string seriesHeader_;
  GrowingFile history_{kHistoryFile};
  GrowingFile series_{kSeriesFile};
  bool reportStarted_ = false;
  bool continuing_ = false;  // the run goes on from an earlier one (start time > 0)
  std::vector<SavedProfile> saves_;
  double lastHistoryTime_ = std::numeric_limits<double>::quiet_NaN();
  long long savesCount_ = 0;
  long long acceptedPasses_ = 0;
  double ownSeconds_ = 0;  // spent in the journal's hooks
  double smallestStep_ = std::numeric_limits<double>::infinity();
  double largestStep_ = 0;
  std::vector<double> startInventory_;
  std::vector<double> inflow_;          // integral of (J_left - J_right) dt so far, mol/cm^2
  std::vector<double> startEndRatios_;  // N_i at the left and right ends, 2 r
  // t, x_K - x_K0 (cm) and the scale thickness X (cm, selective oxidation)
  // at the accepted passes: over the whole run, and since the temperature
  // last changed or the scale last spalled (the final hold, sampled as
  // densely however long the run before it).
  PassSamples passSamples_;
  PassSamples holdSamples_;
  PassSamples previousHold_;  // the hold before (the run may change at its last pass)
  // t and X of the pass before the hold began, and of the pass before this.
  std::optional<std::pair<double, double>> holdOpening_;
  std::optional<std::pair<double, double>> previousHoldOpening_;
  std::optional<std::pair<double, double>> previousPass_;
  double lastPassTemperature_ = std::numeric_limits<double>::quiet_NaN();
  long long lastPassSpalls_ = 0;
  std::vector<std::string> fileNotices_;  // what the record writers had to do
  // Selective oxidation: the last hold that ended with the scale grown over
  // it (a run may end in a cold hold, or after a spall, where it does not
  // grow): its samples, and the fluxes of component 1 and kp at its end.
  PassSamples lastGrowingHold_;
  std::optional<std::pair<double, double>> lastGrowingHoldFluxes_;
  double lastGrowingHoldKp_ = std::numeric_limits<double>::quiet_NaN();
  double lastKp_ = std::numeric_limits<double>::quiet_NaN();
  BoundsScan bounds_;
  std::string failure_;
};

}  // namespace torvex
