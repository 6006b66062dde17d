#pragma once
// `torvex-batch CASE.dat`: runs one case to its end in the current working
// directory and reports how it ended.

#include <optional>
#include <string>
#include <vector>

#include "cli/progress.h"

namespace torvex {

struct BatchRunOptions {
  std::string casePath;
  bool pace = false;                   // sleep the case's per-pass delay, as the desktop program does
  std::optional<long long> maxPasses;  // stop after this many passes (results written)
  ProgressStyle progress = ProgressStyle::Lines;
  bool textualFormulas = false;          // substitute and parse formulas at every evaluation (the slow reference)
  std::vector<std::string> commandLine;  // the program's arguments, for the run report
};

// Exit statuses of a run.
constexpr int kExitRunComplete = 0;
constexpr int kExitRunInvalid = 1;        // invalid input or a fatal model error
constexpr int kExitRunWentWrong = 3;      // non-finite profile, or the step shrank to 0 before the end
constexpr int kExitSaveFailed = 4;        // a results file could not be written
constexpr int kExitRunInterrupted = 130;  // SIGINT

// Loads and runs the case; prints the summary and the verification checks to
// standard output and messages to standard error; returns the exit status (a
// check that warns does not change it).
int runBatchCase(const BatchRunOptions& options);

// `torvex-batch --report RESULTS_DIR`: prints the outcome and the checks of
// RESULTS_DIR/run.json; 0, or 1 with the message when it cannot be read.
int printRunReport(const std::string& resultsDirectory);

}  // namespace torvex
