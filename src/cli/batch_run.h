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
  bool textualFormulas = false;  // substitute and parse formulas at every evaluation (the slow reference)
};

// Exit statuses of a run.
constexpr int kExitRunComplete = 0;
constexpr int kExitRunInvalid = 1;        // invalid input or a fatal model error
constexpr int kExitRunWentWrong = 3;      // non-finite profile, or the step shrank to 0 before the end
constexpr int kExitSaveFailed = 4;        // a results file could not be written
constexpr int kExitRunInterrupted = 130;  // SIGINT

// Loads and runs the case; prints the summary to standard output and
// messages to standard error; returns the exit status.
int runBatchCase(const BatchRunOptions& options);

}  // namespace torvex
