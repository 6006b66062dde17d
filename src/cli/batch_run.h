#pragma once
// `torvex-batch CASE.dat`: runs one case to its end in the current working
// directory and reports how it ended.

#include <optional>
#include <string>
#include <vector>

#include "cli/progress.h"
#include "model/case.h"
#include "study/case_template.h"

namespace torvex {

class Simulation;

struct BatchRunOptions {
  std::string casePath;
  bool pace = false;                   // sleep the case's per-pass delay, as the desktop program does
  std::optional<long long> maxPasses;  // stop after this many passes (results written)
  ProgressStyle progress = ProgressStyle::Lines;
  bool textualFormulas = false;           // substitute and parse formulas at every evaluation (the slow reference)
  std::vector<KeyOverride> overrides;     // --set
  std::vector<CaseParameter> parameters;  // --param
  std::string resultsDirectory = "results";
  bool checkOnly = false;  // --check: load and describe, do not run
  // The folder a changed case is named in before it is loaded (and, for a
  // run, written to); empty: the folder beside the results. A check names
  // it as the user's own (the folder ""), and writes nothing.
  std::optional<std::string> renderDirectory;
  std::vector<std::string> commandLine;  // the program's arguments, for the run report
  // --schedule: a CSV file of T(t) the run follows instead of D8; empty: none.
  std::string schedulePath;
  // --output-times: times (s) the run lands on and saves at; empty: none.
  std::string outputTimes;
  // --integrator: how the profile is integrated in time.
  Integrator integrator = Integrator::RungeKutta;
  // --sync-interval: a save waits for the disk at most this often (s); 0:
  // every save does. The end of the run always does.
  double syncIntervalSeconds = 5.0;
};

// Whether the user chose the temperature of the run: a schedule, or an
// override of D8.
bool temperatureChosen(const BatchRunOptions& options);

// The folder below the results that holds the case as it was run.
std::string renderedCaseDirectory(const BatchRunOptions& options);

// Exit statuses of a run.
constexpr int kExitRunComplete = 0;
constexpr int kExitRunInvalid = 1;        // invalid input or a fatal model error
constexpr int kExitRunWentWrong = 3;      // non-finite profile, or the step could no longer move the clock
constexpr int kExitSaveFailed = 4;        // a results file could not be written
constexpr int kExitRunInterrupted = 130;  // SIGINT

// Loads and runs the case; prints the summary and the verification checks to
// standard output and messages to standard error; returns the exit status (a
// check that warns does not change it).
int runBatchCase(const BatchRunOptions& options);

// Loads the case the options describe into `sim`: the data file as given
// when no override or parameter changes it, else the rendered case, held in
// memory and named as the files it is written to beside the results (see
// renderedCaseDirectory; a run writes them there before it starts, a check
// writes nothing). Sets where results go. Throws what the rendering or the
// load throws. Returns the rendered case, for writing beside the results of a
// run. Installs the temperature schedule and the output times of the options
// (refused with an InputError naming the file, the line and the text) and the
// integrator.
RenderedCase loadBatchCase(Simulation& sim, const BatchRunOptions& options);

// `torvex-batch --report RESULTS_DIR`: prints the outcome and the checks of
// the results folder RESULTS_DIR (its report); 0, or 1 with the message when
// it cannot be read.
int printRunReport(const std::string& resultsDirectory);

}  // namespace torvex
