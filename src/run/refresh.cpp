#include "run/refresh.h"

#include "run/results_files.h"
#include "run/run_records.h"
#include "solver/evaluate_derivative.h"

namespace torvex {

void Refresh(TForm1& m, RunView& view) {
  AdvanceKirkendallPlane(m);
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
  WriteResults(m);
}

void DirectRunHost::InitRecords() {
  torvex::InitRecords(model_);
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
