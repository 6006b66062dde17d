#include "run/run_journal.h"
#include "run/theory_checks.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "model/errors.h"
#include "model/heat_treatment.h"
#include "model/number_format.h"
#include "model/tform1.h"
#include "run/results_files.h"
#include "run/run_checks.h"

namespace torvex {

// The state of the run in hand, and the report of the last one.
class RunJournal {
 public:
  RunProvenance provenance;
  bool active = false;
  std::string nonFiniteMessage;  // the run stopped at a pass it could not start

  // Run in hand.
  std::chrono::steady_clock::time_point began;
  RunReport report;
  std::string seriesRows;  // rows not yet appended to series.csv
  // The files are started (replaced by their header) at the run's first save,
  // so a run that cannot write its results fails at that save, as always.
  bool historyStarted = false;
  bool seriesStarted = false;
  bool reportStarted = false;
  double lastHistoryTime = std::numeric_limits<double>::quiet_NaN();
  long long saves = 0;
  long long acceptedPasses = 0;
  double ownSeconds = 0;  // spent in the journal's hooks
  double smallestStep = std::numeric_limits<double>::infinity();
  double largestStep = 0;
  std::vector<double> startInventory;
  std::vector<double> inflow;            // integral of (J_left - J_right) dt so far, mol/cm^2
  std::vector<double> startEndRatios;    // N_i at the left and right ends, 2 r
  std::vector<double> passTimes;         // s, one per accepted pass
  std::vector<double> kirkendallShifts;  // x_K - x_K0, cm
  std::vector<double> oxideThickness;    // X, cm (selective oxidation)
  double lastKp = std::numeric_limits<double>::quiet_NaN();
  BoundsScan bounds;
  std::string failure;

  // Finished runs.
  bool haveLastReport = false;
};

namespace {

constexpr const char* kHistoryHeader = "time_s,x_cm,component,at_pct,wt_pct\n";
// Series rows held back beyond this many bytes are appended at once, so a
// run with rare saves keeps little in memory.
constexpr std::size_t kSeriesFlushBytes = 1u << 20;
// A change of an end's molar ratio beyond this means the diffusion zone has
// reached that end.
constexpr double kEndReachedChange = 1e-4;

// Adds the time from its making to its end to the journal's own time, so the
// report can say what keeping the history cost.
class OwnTime {
 public:
  explicit OwnTime(RunJournal& journal) : journal_(journal), began_(std::chrono::steady_clock::now()) {}
  ~OwnTime() {
    journal_.ownSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
  }
  OwnTime(const OwnTime&) = delete;
  OwnTime& operator=(const OwnTime&) = delete;

 private:
  RunJournal& journal_;
  std::chrono::steady_clock::time_point began_;
};

RunJournal& journalOf(TForm1& m) {
  if (!m.runJournal) m.runJournal = std::make_shared<RunJournal>();
  return *m.runJournal;
}

RunJournal* activeJournal(TForm1& m) {
  return m.runJournal && m.runJournal->active ? m.runJournal.get() : nullptr;
}

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

// N_i of component i at grid point k, from the concentrations held.
double ratioAt(const TForm1& m, int i, int k) {
  double total = 0;
  for (int j = 0; j < m.componentCount; ++j) total += m.concentration[j][k];
  return m.concentration[i][k] / total;
}

std::vector<double> endRatios(const TForm1& m) {
  std::vector<double> ratios;
  for (int i = 0; i < m.componentCount; ++i) {
    ratios.push_back(ratioAt(m, i, 0));
    ratios.push_back(ratioAt(m, i, m.pointCount - 1));
  }
  return ratios;
}

std::string seriesHeader(const TForm1& m) {
  std::string header = "time_s,dt_s,kirkendall_cm";
  for (int i = 1; i <= m.componentCount; ++i) {
    const std::string n = "N" + formatInteger(i);
    header += "," + n + "_left," + n + "_right";
  }
  if (m.boundaryFluxMode == 2) header += ",oxide_thickness_cm,kp_cm2_s";
  return header + "\n";
}

void field(std::string& row, double value) {
  row += ',';
  appendGeneral(row, value);
}

// Adds content to a journal file: at the first time of a run the file is
// replaced by its header and content, afterwards content is appended.
void addToFile(const TForm1& m, const char* name, bool& started, const std::string& header,
               const std::string& content) {
  if (started) {
    AppendFileContent(ResultsFilePath(m, name), content);
  } else {
    ReplaceFileContent(ResultsFilePath(m, name), header + content);
    started = true;
  }
}

void appendSeries(TForm1& m, RunJournal& journal) {
  if (journal.seriesStarted && journal.seriesRows.empty()) return;
  addToFile(m, "series.csv", journal.seriesStarted, seriesHeader(m), journal.seriesRows);
  journal.seriesRows.clear();
}

void writeReport(TForm1& m, const RunReport& report) {
  ReplaceFileContent(ResultsFilePath(m, "run.json"), runReportText(report));
}

RunOutcome outcomeOf(const TForm1& m, const RunJournal& journal) {
  RunOutcome o;
  o.acceptedPasses = journal.acceptedPasses;
  o.rejectedPasses = m.stepCount - journal.acceptedPasses;
  o.startTime = m.startTime;
  o.endTime = m.endTime;
  o.finalTime = m.currentTime;
  o.largestStep = journal.largestStep;
  if (journal.acceptedPasses > 0) o.smallestStep = journal.smallestStep;
  o.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - journal.began).count();
  o.saves = journal.saves;
  o.journalSeconds = journal.ownSeconds;
  if (!journal.failure.empty()) {
    o.end = "failed";
    o.message = journal.failure;
  } else if (!journal.nonFiniteMessage.empty()) {
    o.end = "non_finite";
    o.message = journal.nonFiniteMessage;
  } else if (journal.bounds.nonFinite) {
    o.end = "non_finite";
    o.message = "the profile holds non-finite values";
  } else if (m.currentTime == m.endTime && journal.acceptedPasses > 0) {
    o.end = "completed";
    o.message = "the run reached its end time";
  } else if (m.stopRequested != 0) {
    o.end = "stopped";
    o.message = "the run was stopped before its end time";
  } else if (m.stepCount == 0) {
    o.end = "no_pass";
    o.message = "no pass ran (the time step is 0 or the run starts after its end)";
  } else {
    o.end = "step_vanished";
    o.message = "the time step shrank to 0 before the end time (every step was rejected)";
  }
  return o;
}

// The time from which the temperature stayed constant to the end of the run:
// the end of the last ramp or step of the schedule within the run, or the
// start of the run when the temperature never changed (no schedule, or one
// that is flat over the run).
double isothermalFrom(const TForm1& m) {
  if (!m.temperatureSchedule) return m.startTime;
  std::vector<double> times;
  std::vector<double> temperatures;
  for (const ScheduleRow& row : m.temperatureSchedule->rows()) {
    times.push_back(row.time);
    temperatures.push_back(row.temperature);
  }
  return torvex::isothermalFrom(times, temperatures, m.startTime, m.currentTime);
}

std::vector<RunCheck> checksOf(const TForm1& m, const RunJournal& journal) {
  std::vector<RunCheck> checks;
  checks.push_back(boundsCheck(journal.bounds));
  const bool open = m.boundaryFluxMode != 0;
  const double hold = isothermalFrom(m);
  const std::vector<double> inventory = componentInventories(m);
  for (int i = 0; i < m.componentCount; ++i) {
    const auto c = static_cast<std::size_t>(i);
    checks.push_back(inventoryCheck(i, journal.startInventory[c], inventory[c], open, journal.inflow[c]));
  }
  if (!open) {
    const std::vector<double> ends = endRatios(m);
    bool reached = false;
    for (std::size_t e = 0; e < ends.size(); ++e)
      if (!(std::fabs(ends[e] - journal.startEndRatios[e]) <= kEndReachedChange)) reached = true;
    const auto last = static_cast<std::size_t>(m.pointCount - 1);
    const double spacing = (m.position[last] - m.position[0]) / static_cast<double>(last);
    // The plane moves as the square root of t only at one temperature; under
    // a changing one it follows the time-integrated diffusivity instead.
    if (hold == m.startTime)
      checks.push_back(kirkendallExponentCheck(journal.passTimes, journal.kirkendallShifts, spacing, reached));
  }
  if (m.boundaryFluxMode == 2) {
    const auto [alloy, oxide] = lastFluxComparison(m);
    checks.push_back(fluxBalanceCheck(alloy, oxide));
    if (hold == m.startTime) {
      for (RunCheck& check : parabolicGrowthChecks(journal.passTimes, journal.oxideThickness, journal.lastKp))
        checks.push_back(std::move(check));
    } else {
      // kp is constant only over the final isothermal hold: the parabolic
      // law is checked there (X^2 = X0^2 + 2 kp (t - t0)), when it has a
      // record to check.
      std::vector<double> times;
      std::vector<double> thickness;
      for (std::size_t k = 0; k < journal.passTimes.size(); ++k)
        if (journal.passTimes[k] >= hold) {
          times.push_back(journal.passTimes[k]);
          thickness.push_back(journal.oxideThickness[k]);
        }
      if (times.size() >= 3)
        for (RunCheck& check : parabolicGrowthChecks(times, thickness, journal.lastKp)) {
          check.meaning +=
              " Under the temperature schedule, over the final hold from t = " + formatGeneral(hold) + " s.";
          checks.push_back(std::move(check));
        }
    }
  }
  // Where the chosen equations depart from closed-form theory.
  for (RunCheck& check : theoryChecks(m, journal.startInventory)) checks.push_back(std::move(check));
  return checks;
}

}  // namespace

HeatTreatmentRecord HeatTreatmentOf(const TForm1& m) {
  HeatTreatmentRecord record;
  if (const auto& schedule = m.temperatureSchedule)
    record.schedule = ScheduleRecord{schedule->source(), schedule->sha256(), schedule->rows()};
  record.outputTimes = m.outputTimes;
  return record;
}

void SetRunProvenance(TForm1& m, RunProvenance provenance) {
  journalOf(m).provenance = std::move(provenance);
}

void BeginRunJournal(TForm1& m) {
  RunJournal& journal = journalOf(m);
  RunProvenance provenance = std::move(journal.provenance);
  journal = RunJournal();
  journal.provenance = provenance;
  journal.began = std::chrono::steady_clock::now();
  journal.report.provenance = std::move(provenance);
  journal.report.version = programVersion();
  journal.report.gitRevision = sourceRevision();
  journal.report.workingDirectory = workingDirectory();
  journal.report.host = hostName();
  journal.report.startedUtc = utcNow();
  journal.report.inputFiles = m.inputFiles;
  journal.report.heatTreatment = HeatTreatmentOf(m);
  journal.report.outcome.startTime = m.startTime;
  journal.report.outcome.endTime = m.endTime;
  journal.report.outcome.finalTime = m.currentTime;
  journal.startInventory = componentInventories(m);
  journal.inflow.assign(static_cast<std::size_t>(m.componentCount), 0.0);
  journal.startEndRatios = endRatios(m);
  journal.active = true;
}

void JournalAcceptedPass(TForm1& m) {
  RunJournal* journal = activeJournal(m);
  if (journal == nullptr) return;
  const OwnTime own(*journal);
  const double dt = m.timeStep;  // the step the pass integrated
  ++journal->acceptedPasses;
  journal->smallestStep = std::min(journal->smallestStep, dt);
  journal->largestStep = std::max(journal->largestStep, dt);
  journal->passTimes.push_back(m.currentTime);
  journal->kirkendallShifts.push_back(m.kirkendallPosition - m.initialKirkendallPosition);
  for (std::size_t i = 0; i < journal->inflow.size(); ++i)
    journal->inflow[i] += (m.leftBoundaryFlux[i] - m.rightBoundaryFlux[i]) * dt;

  std::string& row = journal->seriesRows;
  appendGeneral(row, m.currentTime);
  field(row, dt);
  field(row, m.kirkendallPosition);
  for (int i = 0; i < m.componentCount; ++i) {
    field(row, ratioAt(m, i, 0));
    field(row, ratioAt(m, i, m.pointCount - 1));
  }
  if (m.boundaryFluxMode == 2) {
    journal->oxideThickness.push_back(m.oxideThickness);
    journal->lastKp = m.parabolicRateConstant;
    field(row, m.oxideThickness);
    field(row, m.parabolicRateConstant);
  }
  row += '\n';
  if (row.size() > kSeriesFlushBytes && journal->seriesStarted) appendSeries(m, *journal);
}

void JournalSave(TForm1& m) {
  RunJournal* journal = activeJournal(m);
  if (journal == nullptr) return;
  const OwnTime own(*journal);
  scanBounds(m, journal->bounds);
  if (!(m.currentTime == journal->lastHistoryTime)) {
    const Table2<double> atomic = AtomicPercent(m);
    const Table2<double> weight = WeightPercent(m);
    const std::string time = formatGeneral(m.currentTime) + ",";
    std::string block;
    block.reserve(static_cast<std::size_t>(m.pointCount) * static_cast<std::size_t>(m.componentCount) * 64);
    std::string x;
    for (int k = 0; k < m.pointCount; ++k) {
      x.clear();
      appendGeneral(x, m.position[static_cast<std::size_t>(k)]);
      x += ',';
      for (int i = 0; i < m.componentCount; ++i) {
        block += time;
        block += x;
        block += formatInteger(i + 1);
        field(block, atomic[i][k]);
        field(block, weight[i][k]);
        block += '\n';
      }
    }
    addToFile(m, "history.csv", journal->historyStarted, kHistoryHeader, block);
    journal->lastHistoryTime = m.currentTime;
    ++journal->saves;
  }
  appendSeries(m, *journal);
  if (!journal->reportStarted) {
    writeReport(m, journal->report);  // "running", until the run ends
    journal->reportStarted = true;
  }
}

void JournalFailure(TForm1& m, const std::exception_ptr& failure) {
  RunJournal* journal = activeJournal(m);
  if (journal == nullptr || !failure) return;
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    journal->failure = error.what();
  } catch (...) {
    journal->failure = "an unknown error";
  }
}

void JournalNonFinite(TForm1& m, int component, int point, double time, const std::string& message) {
  RunJournal* journal = activeJournal(m);
  if (journal == nullptr) return;
  journal->nonFiniteMessage = message;
  if (journal->bounds.nonFinite) return;  // an earlier sighting stands
  journal->bounds.nonFinite = true;
  journal->bounds.component = component;
  journal->bounds.point = point;
  journal->bounds.position = m.position[static_cast<std::size_t>(point)];
  journal->bounds.time = time;
}

void FinishRunJournal(TForm1& m) {
  RunJournal* journal = activeJournal(m);
  if (journal == nullptr) return;
  journal->active = false;
  scanBounds(m, journal->bounds);
  RunReport& report = journal->report;
  report.endedUtc = utcNow();
  report.outcome = outcomeOf(m, *journal);
  report.checks = checksOf(m, *journal);
  journal->haveLastReport = true;
  // Each file is attempted; the first error is passed on.
  std::exception_ptr error;
  try {
    writeReport(m, report);
  } catch (const FileWriteError&) {
    error = std::current_exception();
  }
  try {
    appendSeries(m, *journal);
  } catch (const FileWriteError&) {
    if (!error) error = std::current_exception();
  }
  if (error) std::rethrow_exception(error);
}

const RunReport* LastRunReport(const TForm1& m) {
  return m.runJournal && m.runJournal->haveLastReport ? &m.runJournal->report : nullptr;
}

}  // namespace torvex
