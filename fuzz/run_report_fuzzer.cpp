// Fuzz target: reading a run report (run.json) that may be damaged or not a
// report at all. The reader must refuse what it cannot use with an InputError
// and never crash; what it accepts must survive being written and read again
// with the same checks.
//
// Input: the text of the file.

#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "model/errors.h"
#include "results/results_files.h"
#include "results/run_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(torvex::fuzz::textOf(data, size));
  torvex::RunReport report;
  try {
    report = torvex::parseRunReport(text, torvex::kRunReportFile);
  } catch (const torvex::InputError&) {
    return 0;
  }
  const torvex::RunReport again = torvex::parseRunReport(torvex::runReportText(report), "again");
  if (again.checks.size() != report.checks.size()) std::abort();
  for (std::size_t c = 0; c < report.checks.size(); ++c) {
    if (again.checks[c].id != report.checks[c].id || again.checks[c].warn != report.checks[c].warn) std::abort();
    static_cast<void>(torvex::describeCheck(again.checks[c]));
  }
  if (again.outcome.end != report.outcome.end || again.inputFiles.size() != report.inputFiles.size()) std::abort();
  const torvex::HeatTreatmentRecord& heat = report.heatTreatment;
  if (again.heatTreatment.schedule.has_value() != heat.schedule.has_value() ||
      again.heatTreatment.outputTimes.size() != heat.outputTimes.size())
    std::abort();
  if (heat.schedule && again.heatTreatment.schedule->rows.size() != heat.schedule->rows.size()) std::abort();
  static_cast<void>(torvex::describeHeatTreatment(again.heatTreatment, again.outcome.finalTime));
  return 0;
}
