#include "run/refresh.h"

#include <exception>

#include "run/results_files.h"
#include "run/run_journal.h"
#include "run/run_records.h"
#include "solver/evaluate_derivative.h"

namespace torvex {

void BeginRun(TForm1& m) {
  InitRecords(m);
  BeginRunJournal(m);
}

void Refresh(TForm1& m, RunView& view) {
  AdvanceKirkendallPlane(m);
  JournalAcceptedPass(m);
  view.showRunValues();
  if (m.stepCount % m.refreshInterval == 0) view.drawGraphs();
  if (m.stepCount % m.saveInterval == 0 || m.atOutputTime) WriteResults(m);
  if (m.boundaryFluxMode >= 1) AppendBoundaryFluxLine(m);
  if (m.boundaryFluxMode == 2) AppendFluxComparisonLine(m);
}

void EndOfRun(TForm1& m) {
  struct RaiseStopFlag {
    TForm1& m;
    ~RaiseStopFlag() { m.stopRequested = 1; }
  } raise{m};
  try {
    WriteResults(m);
  } catch (...) {
    const std::exception_ptr saveError = std::current_exception();
    JournalFailure(m, saveError);
    try {
      FinishRunJournal(m);
    } catch (const std::exception&) {
      // The save's error is the one to report.
    }
    std::rethrow_exception(saveError);
  }
  FinishRunJournal(m);
}

void DirectRunHost::InitRecords() {
  BeginRun(model_);
}
void DirectRunHost::EvaluateDerivative() {
  torvex::EvaluateDerivative(model_);
}
void DirectRunHost::Refresh() {
  torvex::Refresh(model_, *this);
}
void DirectRunHost::EndOfRun() {
  torvex::EndOfRun(model_);
}

}  // namespace torvex
