#include "run/run_journal.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "model/errors.h"
#include "model/heat_treatment.h"
#include "model/number_format.h"
#include "model/text_list.h"
#include "results/continued_files.h"
#include "results/units.h"
#include "run/bdf_integrator.h"
#include "run/life_run.h"
#include "run/theory_checks.h"

namespace torvex {
namespace {

// Series rows held back beyond this many bytes are appended at once, so a
// run with rare saves keeps little in memory.
constexpr std::size_t kSeriesFlushBytes = 1u << 20;
// A change of an end's molar ratio beyond this means the diffusion zone has
// reached that end.
constexpr double kEndReachedChange = 1e-4;

// Adds the time from its making to its end to `seconds`, so the report can
// say what keeping the history cost.
class OwnTime {
 public:
  explicit OwnTime(double& seconds) : seconds_(seconds), began_(std::chrono::steady_clock::now()) {}
  ~OwnTime() { seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count(); }
  OwnTime(const OwnTime&) = delete;
  OwnTime& operator=(const OwnTime&) = delete;

 private:
  double& seconds_;
  std::chrono::steady_clock::time_point began_;
};

std::string utcNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string hostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "unknown";
  return name;
}

std::string workingDirectory() {
  std::error_code error;
  const auto path = std::filesystem::current_path(error);
  return error ? std::string() : path.string();
}

std::vector<double> endRatios(const Case& c, const RunState& s) {
  std::vector<double> ratios;
  for (int i = 0; i < c.componentCount; ++i) {
    ratios.push_back(molarRatioAt(s.concentration, i, 0));
    ratios.push_back(molarRatioAt(s.concentration, i, c.pointCount - 1));
  }
  return ratios;
}

std::optional<ScaleColumns> scaleOf(const Case& c, const RunState& s) {
  if (c.boundaryFlux != BoundaryFlux::SelectiveOxidation) return std::nullopt;
  return ScaleColumns{s.oxide.parabolicRateConstant, s.oxide.thickness};
}

// The time from which the temperature stayed constant to the end of the run:
// the end of the last ramp or step of the schedule within the run, or the
// start of the run when the temperature never changed (no schedule, or one
// that is flat over the run).
double isothermalFrom(const Case& c, const RunState& s) {
  const auto& schedule = c.heatTreatment.schedule;
  if (!schedule) return c.startTime;
  // Cycles bring their ramps and steps, and the step onto them.
  if (schedule->cycles()) return schedule->constantFrom(c.startTime, s.currentTime);
  std::vector<double> times;
  std::vector<double> temperatures;
  for (const ScheduleRow& row : schedule->rows()) {
    times.push_back(row.time);
    temperatures.push_back(row.temperature);
  }
  return torvex::isothermalFrom(times, temperatures, c.startTime, s.currentTime);
}

// The life and the scale's books of a life run; none for another run.
std::optional<LifeRecord> lifeRecordOf(const Case& c, const RunState& s) {
  if (!s.life.active) return std::nullopt;
  const LifeSettings& settings = c.heatTreatment.life;
  LifeRecord life;
  if (settings.hasCritical) {
    life.condition = settings.critical.text();
    if (s.life.watch) life.lifeSeconds = s.life.watch->life();
  }
  if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation) {
    const ScaleLedger& ledger = s.life.ledger;
    life.scale = true;
    life.retainedThickness = ledger.thickness;
    life.spalledMetal = ledger.spalledMetal;
    life.consumedMetal = consumedMetal(ledger);
    life.spalls = ledger.spalls;
    if (settings.hasSpall) life.spallLaw = settings.spall.text();
    if (settings.hasOxide) {
      life.oxide = settings.oxide.text();
      const MassChange change = specificMassChange(ledger, settings.oxide, c.molarMass[0]);
      life.massChange = change.total;
      life.oxygenGain = change.oxygenGain;
      life.spallLoss = change.spallLoss;
    }
  }
  if (s.receding) {
    life.receding = true;
    life.startLength = s.startPosition.back() - s.startPosition.front();
    life.length = s.sampleLength;
  }
  return life;
}

}  // namespace

HeatTreatmentRecord HeatTreatmentOf(const Case& c) {
  HeatTreatmentRecord record;
  if (const auto& schedule = c.heatTreatment.schedule) {
    // Cycles alone have no rows and no file.
    if (!schedule->rows().empty() || !schedule->cycles())
      record.schedule = ScheduleRecord{schedule->source(), schedule->sha256(), schedule->rows()};
    if (const auto& cycles = schedule->cycles())
      record.cycles = CyclesRecord{cycles->text(), cycles->start(), cycles->count(), cycles->period()};
  }
  record.outputTimes = c.heatTreatment.outputTimes;
  record.receding = c.heatTreatment.life.receding;
  return record;
}

void RunJournal::setProvenance(RunProvenance provenance) {
  provenance_ = std::move(provenance);
}

void RunJournal::begin(const Case& c, const RunState& s, const std::optional<std::string>& folder) {
  // What the front end told is kept for every run.
  RunProvenance provenance = provenance_;
  const bool keepSaves = keepSaves_;
  *this = RunJournal();
  provenance_ = provenance;
  keepSaves_ = keepSaves;
  folder_ = folder;
  began_ = std::chrono::steady_clock::now();
  report_.provenance = std::move(provenance);
  report_.version = programVersion();
  report_.gitRevision = sourceRevision();
  report_.workingDirectory = workingDirectory();
  report_.host = hostName();
  report_.startedUtc = utcNow();
  report_.inputFiles = c.inputFiles;
  report_.heatTreatment = HeatTreatmentOf(c);
  if (c.integrator == Integrator::Bdf) {
    const BdfTolerances tolerances = bdfTolerances(c);
    report_.integrator =
        IntegratorRecord{.relativeTolerance = tolerances.relative, .absoluteTolerance = tolerances.absolute};
  }
  report_.outcome.startTime = c.startTime;
  report_.outcome.endTime = c.endTime;
  report_.outcome.finalTime = s.currentTime;
  report_.componentNames = c.componentNames;
  seriesHeader_ = seriesHeader(c.componentCount, c.boundaryFlux == BoundaryFlux::SelectiveOxidation, c.componentNames);
  if (const std::string life = lifeSeriesHeader(c); !life.empty()) {
    seriesHeader_.pop_back();  // the line end
    seriesHeader_ += life + "\n";
  }
  startInventory_ = componentInventories(c, s);
  inflow_.assign(static_cast<std::size_t>(c.componentCount), 0.0);
  startEndRatios_ = endRatios(c, s);
  if (c.startTime > 0) {
    // A continuation: the history and series go on from the earlier run's.
    continuing_ = true;
    history_.continueFrom(c.startTime);
    series_.continueFrom(c.startTime);
  }
  active_ = true;
  // The profile the run starts from opens the history and the series, at
  // the start time (the clock is set to it after the records are opened),
  // with the plane where it starts. They are written with the first save, as
  // everything else, and only into files that start afresh: a history that
  // a continuation goes on with holds them already.
  Table2<double> atomic = atomicPercent(s.concentration);
  Table2<double> weight = weightPercent(s.concentration, c.molarMass);
  if (folder_) {
    std::string block;
    appendHistoryBlock(block, c.startTime, s.position, atomic, weight, c.componentNames);
    history_.setOpening(std::move(block));
    std::string row;
    appendSeriesRow(row, c.startTime, 0.0, c.initialKirkendallPosition, s.concentration, scaleOf(c, s));
    if (s.life.active) {
      row.pop_back();  // the line end
      appendLifeSeriesFields(row, c, s);
      row += '\n';
    }
    series_.setOpening(std::move(row));
  }
  if (!folder_ || keepSaves_) saves_.push_back({c.startTime, std::move(atomic), std::move(weight)});
  lastHistoryTime_ = c.startTime;
  if (!continuing_) ++savesCount_;
}

void RunJournal::acceptedPass(const Case& c, const RunState& s, const RunRecords& records) {
  if (!active_) return;
  const OwnTime own(ownSeconds_);
  const double dt = s.timeStep;  // the step the pass integrated
  ++acceptedPasses_;
  smallestStep_ = std::min(smallestStep_, dt);
  largestStep_ = std::max(largestStep_, dt);
  for (std::size_t i = 0; i < inflow_.size(); ++i) inflow_[i] += (s.leftBoundaryFlux[i] - s.rightBoundaryFlux[i]) * dt;
  const std::optional<ScaleColumns> scale = scaleOf(c, s);
  const double shift = s.kirkendallPosition - c.initialKirkendallPosition;
  const double thickness = scale ? s.oxide.thickness : 0.0;
  if (!(s.temperature == lastPassTemperature_) || s.life.ledger.spalls != lastPassSpalls_) {
    // The hold of the passes before ends. The last line of the flux record
    // and the kp noted at the pass before are those of its last pass.
    if (scale && holdSamples_.thicknessGrew()) {
      lastGrowingHoldFluxes_ = lastFluxComparison(records.fluxComparison);
      lastGrowingHoldKp_ = lastKp_;
      lastGrowingHold_ = holdSamples_;
    }
    previousHold_ = std::move(holdSamples_);
    previousHoldOpening_ = holdOpening_;
    holdSamples_.clear();
    holdOpening_ = previousPass_;
  }
  previousPass_ = {s.currentTime, thickness};
  if (scale) lastKp_ = s.oxide.parabolicRateConstant;
  lastPassTemperature_ = s.temperature;
  lastPassSpalls_ = s.life.ledger.spalls;
  passSamples_.add(s.currentTime, shift, thickness);
  holdSamples_.add(s.currentTime, shift, thickness);
  if (!folder_) return;  // the series is a file's; in memory the pass times and shifts above serve
  appendSeriesRow(seriesRows_, s.currentTime, dt, s.kirkendallPosition, s.concentration, scale);
  if (s.life.active) {
    seriesRows_.pop_back();  // the line end
    appendLifeSeriesFields(seriesRows_, c, s);
    seriesRows_ += '\n';
  }
  if (seriesRows_.size() > kSeriesFlushBytes && series_.started()) appendSeries(FileSync::Later);
}

void RunJournal::appendSeries(FileSync sync) {
  if (!folder_) return;
  if (series_.started() && seriesRows_.empty()) return;
  series_.add(*folder_, seriesHeader_, seriesRows_, sync);
  seriesRows_.clear();
}

void RunJournal::writeReport() {
  if (!folder_) return;
  const std::string path = resultsFilePath(*folder_, kRunReportFile);
  if (continuing_ && !reportStarted_ && std::filesystem::exists(path)) {
    // The report of the run this one continues is kept.
    setEarlierFileAside(path);
  }
  ReplaceFileContent(path, runReportText(report_));
}

void RunJournal::save(const Case& c, const RunState& s, FileSync sync) {
  if (!active_) return;
  const OwnTime own(ownSeconds_);
  scanBounds(c, s, bounds_);
  if (!(s.currentTime == lastHistoryTime_)) {
    Table2<double> atomic = atomicPercent(s.concentration);
    Table2<double> weight = weightPercent(s.concentration, c.molarMass);
    if (folder_) {
      std::string block;
      appendHistoryBlock(block, s.currentTime, s.position, atomic, weight, c.componentNames);
      history_.add(*folder_, historyHeader(!c.componentNames.empty()), block, sync);
    }
    if (!folder_ || keepSaves_) saves_.push_back({s.currentTime, std::move(atomic), std::move(weight)});
    lastHistoryTime_ = s.currentTime;
    ++savesCount_;
  } else if (folder_ && !history_.started()) {
    // A save before the first pass: the start block alone.
    history_.add(*folder_, historyHeader(!c.componentNames.empty()), std::string(), sync);
  }
  appendSeries(sync);
  if (!reportStarted_) {
    writeReport();  // "running", until the run ends
    reportStarted_ = true;
  }
}

void RunJournal::recordFileNotice(std::string notice) {
  if (active_) fileNotices_.push_back(std::move(notice));
}

void RunJournal::recordFailure(const std::exception_ptr& failure) {
  if (!active_ || !failure) return;
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    failure_ = error.what();
  } catch (...) {
    failure_ = "an unknown error";
  }
}

void RunJournal::recordNonFinite(const NonFiniteValue& value, const std::vector<double>& position) {
  if (!active_) return;
  nonFiniteMessage_ = describeNonFinite(value, position);
  if (bounds_.nonFinite) return;  // an earlier sighting stands
  bounds_.nonFinite = true;
  bounds_.component = value.component;
  bounds_.point = value.point;
  bounds_.position = position[static_cast<std::size_t>(value.point)];
  bounds_.time = value.time;
}

RunOutcome RunJournal::outcomeOf(const Case& c, const RunState& s) const {
  RunOutcome o;
  o.acceptedPasses = acceptedPasses_;
  o.rejectedPasses = s.stepCount - acceptedPasses_;
  o.startTime = c.startTime;
  o.endTime = c.endTime;
  o.finalTime = s.currentTime;
  o.largestStep = largestStep_;
  if (acceptedPasses_ > 0) o.smallestStep = smallestStep_;
  o.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
  o.saves = savesCount_;
  o.journalSeconds = ownSeconds_;
  if (!failure_.empty()) {
    o.end = "failed";
    o.message = failure_;
  } else if (!nonFiniteMessage_.empty()) {
    o.end = "non_finite";
    o.message = nonFiniteMessage_;
  } else if (bounds_.nonFinite) {
    o.end = "non_finite";
    o.message = "the profile holds non-finite values";
  } else if (s.life.spent) {
    o.end = "critical_content";
    o.message = "the critical content " + c.heatTreatment.life.critical.text() +
                " was reached at t = " + formatGeneral(s.life.watch->life().value_or(s.currentTime)) + " s";
  } else if (s.currentTime == c.endTime && acceptedPasses_ > 0) {
    o.end = "completed";
    o.message = "the run reached its end time";
  } else if (s.stopRequested != 0) {
    o.end = "stopped";
    o.message = "the run was stopped before its end time";
  } else if (s.stepCount == 0) {
    o.end = "no_pass";
    o.message = "no pass ran (the time step is 0 or the run starts after its end)";
  } else {
    o.end = "step_vanished";
    o.message = "the time step shrank until it could no longer move the clock, before the end time";
  }
  return o;
}

std::vector<RunCheck> RunJournal::checksOf(const Case& c, const RunState& s, const RunRecords& records) const {
  std::vector<RunCheck> checks;
  checks.push_back(boundsCheck(bounds_));
  const bool open = c.boundaryFlux != BoundaryFlux::None;
  // A scale that spalled grows parabolically again only from its last spall.
  const double hold =
      s.life.ledger.spalls > 0 ? std::max(isothermalFrom(c, s), s.life.lastSpallTime) : isothermalFrom(c, s);
  const std::vector<double> inventory = componentInventories(c, s);
  for (int i = 0; i < c.componentCount; ++i) {
    const auto component = static_cast<std::size_t>(i);
    checks.push_back(inventoryCheck(i, startInventory_[component], inventory[component], open, inflow_[component]));
  }
  if (!open) {
    const std::vector<double> ends = endRatios(c, s);
    bool reached = false;
    for (std::size_t e = 0; e < ends.size(); ++e)
      if (!(std::fabs(ends[e] - startEndRatios_[e]) <= kEndReachedChange)) reached = true;
    const auto last = static_cast<std::size_t>(c.pointCount - 1);
    const double spacing = (s.position[last] - s.position[0]) / static_cast<double>(last);
    // The plane moves as the square root of t only at one temperature; under
    // a changing one it follows the time-integrated diffusivity instead.
    if (hold == c.startTime)
      checks.push_back(kirkendallExponentCheck(passSamples_.times(), passSamples_.shifts(), spacing, reached));
  }
  // A run that ends in a hold of two passes or more in which the scale does
  // not grow (cooled after its last spall, say) has neither a flux balance
  // nor a parabolic law to judge there: both are judged at the last hold in
  // which the scale grew.
  const bool endsIdle = holdSamples_.size() >= 2 && !holdSamples_.thicknessGrew() && lastGrowingHoldFluxes_;
  if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation && endsIdle) {
    const std::vector<double> times = lastGrowingHold_.times();
    const std::string where =
        " The run ends in a hold in which the scale does not grow (from t = " +
        formatGeneral(holdSamples_.firstTime()) +
        " s); this is judged over the last hold in which it grew, from t = " + formatGeneral(times.front()) + " s to " +
        formatGeneral(times.back()) + " s.";
    RunCheck balance = fluxBalanceCheck(lastGrowingHoldFluxes_->first, lastGrowingHoldFluxes_->second);
    balance.meaning += where;
    checks.push_back(std::move(balance));
    if (times.size() >= 3)
      for (RunCheck& check : parabolicGrowthChecks(times, lastGrowingHold_.thickness(), lastGrowingHoldKp_)) {
        check.meaning += where;
        checks.push_back(std::move(check));
      }
  } else if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation) {
    const auto [alloy, oxide] = lastFluxComparison(records.fluxComparison);
    checks.push_back(fluxBalanceCheck(alloy, oxide));
    if (hold == c.startTime) {
      for (RunCheck& check : parabolicGrowthChecks(passSamples_.times(), passSamples_.thickness(), lastKp_))
        checks.push_back(std::move(check));
    } else {
      // kp is constant only over the final isothermal hold: the parabolic
      // law is checked there (X^2 = X0^2 + 2 kp (t - t0)), when it has a
      // record to check. The samples since the last change hold that hold
      // pass by pass unless it is very long.
      std::vector<double> allTimes;
      std::vector<double> allThickness;
      const auto append = [&](const std::optional<std::pair<double, double>>& opening, const PassSamples& samples) {
        if (opening) {
          allTimes.push_back(opening->first);
          allThickness.push_back(opening->second);
        }
        for (const double t : samples.times()) allTimes.push_back(t);
        for (const double X : samples.thickness()) allThickness.push_back(X);
      };
      // Every pass from the hold on, when the last or the last but one
      // change came no later: the pass before that change and the passes
      // since (the run may spall or cool at its very last pass).
      if (!holdOpening_ || holdOpening_->first <= hold) {
        append(holdOpening_, holdSamples_);
      } else if (!previousHoldOpening_ || previousHoldOpening_->first <= hold) {
        append(previousHoldOpening_, previousHold_);
        append(std::nullopt, holdSamples_);
      } else {
        allTimes = passSamples_.times();
        allThickness = passSamples_.thickness();
      }
      std::vector<double> times;
      std::vector<double> thickness;
      for (std::size_t k = 0; k < allTimes.size(); ++k)
        if (allTimes[k] >= hold) {
          times.push_back(allTimes[k]);
          thickness.push_back(allThickness[k]);
        }
      if (times.size() >= 3)
        for (RunCheck& check : parabolicGrowthChecks(times, thickness, lastKp_)) {
          check.meaning += (s.life.ledger.spalls > 0 && hold == s.life.lastSpallTime
                                ? " Since the scale last spalled, from t = "
                                : " Under the temperature schedule, over the final hold from t = ") +
                           formatGeneral(hold) + " s.";
          checks.push_back(std::move(check));
        }
    }
  }
  for (const std::string& notice : fileNotices_)
    checks.push_back(RunCheck{
        .id = "records.continuity", .title = "Record files written without a break", .warn = true, .meaning = notice});
  // Where the chosen equations depart from closed-form theory.
  for (RunCheck& check : theoryChecks(c, s, startInventory_)) checks.push_back(std::move(check));
  return checks;
}

void RunJournal::finish(const Case& c, const RunState& s, const RunRecords& records) {
  if (!active_) return;
  active_ = false;
  scanBounds(c, s, bounds_);
  report_.endedUtc = utcNow();
  report_.outcome = outcomeOf(c, s);
  if (report_.integrator) {
    IntegratorRecord& work = *report_.integrator;
    work.steps = s.implicitWork.steps;
    work.rightHandSideEvaluations = s.implicitWork.rightHandSideEvaluations;
    work.jacobianEvaluations = s.implicitWork.jacobianEvaluations;
    work.factorisations = s.implicitWork.factorisations;
    work.errorTestFailures = s.implicitWork.errorTestFailures;
    work.convergenceFailures = s.implicitWork.convergenceFailures;
  }
  report_.checks = checksOf(c, s, records);
  report_.life = lifeRecordOf(c, s);
  haveLastReport_ = true;
  // Each file is attempted; the first error is passed on.
  std::exception_ptr error;
  try {
    writeReport();
  } catch (const FileWriteError&) {
    error = std::current_exception();
  }
  try {
    appendSeries(FileSync::Now);
  } catch (const FileWriteError&) {
    if (!error) error = std::current_exception();
  }
  if (error) std::rethrow_exception(error);
}

}  // namespace torvex
