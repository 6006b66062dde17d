#pragma once
// The run's side of the hand-overs (integrator.h) on a Simulation, and a
// RunHost that makes them as direct calls on one thread.

#include <string>
#include <vector>

#include "run/integrator.h"
#include "run/simulation.h"

namespace torvex {

// The parts of a refresh that belong to a front end.
class RunView {
 public:
  virtual ~RunView() = default;
  // Show the clock, the step and the Kirkendall plane position.
  virtual void showRunValues() {}
  // Redraw the graphs (every refreshInterval passes).
  virtual void drawGraphs() {}
};

// Once before the first pass: the records (InitRecords), then the run's
// journal, for the simulation's results folder. A run that starts later than
// t = 0 (a continuation) continues the records, history and series that the
// folder holds up to its start (continued_files.h).
void BeginRun(Simulation& sim);

// After an accepted pass, in this order: move the Kirkendall plane and add
// its record line; the journal's series row; view.showRunValues();
// view.drawGraphs() when stepCount is a multiple of refreshInterval;
// WriteResults when it is a multiple of saveInterval or the pass landed on an
// output time; the boundary line (any boundary flux); the oxidation
// constants, kp and the flux-comparison line (mode 2). stepCount counts the
// passes before the current one, so the first accepted pass draws and saves.
void Refresh(Simulation& sim, RunView& view);

// Tells the journal how the loop ended (the error that ended it, or the
// non-finite value it stopped at), before the final save.
void RecordEnding(Simulation& sim, const RunSummary& summary);

// At the end of a run: RecordEnding, WriteResults, then the journal's report
// (also when the save failed), then stopRequested := 1 (set even when a save
// fails; the first error is passed on).
void EndOfRun(Simulation& sim, const RunSummary& summary);

// At the end of a headless run, whose final save writes every file it still
// can (each file then holds, whole, either the state the run ended in or its
// last complete version): RecordEnding, WriteEveryResultsFile, then the
// journal's report, which records the first file that could not be written
// as the run's failure. Returns the messages of the files that could not be
// written, the report's last; empty when all were.
std::vector<std::string> EndOfRunWritingEveryFile(Simulation& sim, const RunSummary& summary);

// The hand-overs as direct calls, for the batch runner and the tests. The
// view hooks of Refresh go to the object itself.
class DirectRunHost : public RunHost, public RunView {
 public:
  explicit DirectRunHost(Simulation& sim) : sim_(sim) {}
  void InitRecords() override;
  void EvaluateDerivative() override;
  void Refresh() override;
  void EndOfRun(const RunSummary& summary) override;

 protected:
  Simulation& sim_;
};

}  // namespace torvex
