#include "run/refresh.h"

#include <exception>

#include "model/errors.h"
#include "results/continued_files.h"
#include "run/life_run.h"
#include "run/run_records.h"
#include "solver/evaluate_derivative.h"

namespace torvex {

void BeginRun(Simulation& sim) {
  InitRecords(sim.input, sim.state, sim.records);
  // A continuation goes on with the records of the run it continues.
  if (sim.resultsDirectory && sim.input.startTime > 0)
    continueEarlierRecords(*sim.resultsDirectory, sim.input.startTime, sim.records);
  // The life books as they stand at the start time, for the start row of the
  // records (the run opens them again when its clock is set).
  const double clock = sim.state.currentTime;
  sim.state.currentTime = sim.input.startTime;
  BeginLifeBooks(sim.input, sim.state);
  sim.state.currentTime = clock;
  sim.journal.begin(sim.input, sim.state, sim.resultsDirectory);
}

void Refresh(Simulation& sim, RunView& view) {
  const Case& c = sim.input;
  RunState& s = sim.state;
  AdvanceKirkendallPlane(c, s, sim.records);
  sim.journal.acceptedPass(c, s, sim.records);
  view.showRunValues();
  if (s.stepCount % c.refreshInterval == 0) view.drawGraphs();
  if (s.stepCount % c.saveInterval == 0 || s.atOutputTime) WriteResults(sim);
  if (c.boundaryFlux != BoundaryFlux::None) AppendBoundaryFluxLine(c, s, sim.records);
  if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation) AppendFluxComparisonLine(c, s, sim.records);
}

void RecordEnding(Simulation& sim, const RunSummary& summary) {
  if (summary.nonFinite.seen) sim.journal.recordNonFinite(summary.nonFinite, sim.state.position);
  if (summary.failure) sim.journal.recordFailure(summary.failure);
}

void EndOfRun(Simulation& sim, const RunSummary& summary) {
  struct RaiseStopFlag {
    RunState& s;
    ~RaiseStopFlag() { s.stopRequested = 1; }
  } raise{sim.state};
  RecordEnding(sim, summary);
  try {
    WriteResults(sim, /*final=*/true);
  } catch (...) {
    const std::exception_ptr saveError = std::current_exception();
    sim.journal.recordFailure(saveError);
    try {
      sim.journal.finish(sim.input, sim.state, sim.records);
    } catch (const std::exception&) {
      // The save's error is the one to report.
    }
    std::rethrow_exception(saveError);
  }
  sim.journal.finish(sim.input, sim.state, sim.records);
}

std::vector<std::string> EndOfRunWritingEveryFile(Simulation& sim, const RunSummary& summary) {
  RecordEnding(sim, summary);
  std::vector<std::string> failures = WriteEveryResultsFile(sim);
  if (!failures.empty()) sim.journal.recordFailure(std::make_exception_ptr(FileWriteError(failures.front())));
  try {
    sim.journal.finish(sim.input, sim.state, sim.records);
  } catch (const FileWriteError& error) {
    failures.emplace_back(error.what());
  }
  return failures;
}

void DirectRunHost::InitRecords() {
  BeginRun(sim_);
}
void DirectRunHost::EvaluateDerivative() {
  torvex::EvaluateDerivative(sim_.input, sim_.state);
}
void DirectRunHost::Refresh() {
  torvex::Refresh(sim_, *this);
}
void DirectRunHost::EndOfRun(const RunSummary& summary) {
  torvex::EndOfRun(sim_, summary);
}

}  // namespace torvex
