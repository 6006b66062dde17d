#pragma once
// The model's side of the hand-overs after an accepted pass and at the end of
// a run, and a RunHost that makes them as direct calls on one thread.

#include "run/integrator.h"

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

// Once before the first pass: InitRecords, then the run's journal
// (history.csv, series.csv and run.json started; run_journal.h).
void BeginRun(TForm1& m);

// After an accepted pass, in this order: move the Kirkendall plane and add
// its record line; the journal's series row; view.showRunValues(); view.drawGraphs() when stepCount is
// a multiple of refreshInterval; WriteResults when it is a multiple of
// saveInterval or the pass landed on an output time; the boundary line (flux modes 1 and 2); the oxidation
// constants, kp and the flux-comparison line (mode 2). stepCount counts the
// passes before the current one, so the first accepted pass draws and saves.
void Refresh(TForm1& m, RunView& view);

// At the end of a run: WriteResults, then the journal's report (run.json, also
// when the save failed), then stopRequested := 1 (set even when a save fails;
// the first error is passed on).
void EndOfRun(TForm1& m);

// The hand-overs as direct calls, for the batch runner and the tests. The
// view hooks of Refresh go to the object itself.
class DirectRunHost : public RunHost, public RunView {
 public:
  explicit DirectRunHost(TForm1& model) : model_(model) {}
  void InitRecords() override;
  void EvaluateDerivative() override;
  void Refresh() override;
  void EndOfRun() override;

 protected:
  TForm1& model_;
};

}  // namespace torvex
