#pragma once
// Progress of a batch run on standard error: a bar redrawn in place on a
// terminal, a plain line now and then otherwise (a log file stays readable),
// or nothing at all.

#include <chrono>
#include <cstdio>
#include <string>

#include "model/case.h"
#include "solver/run_state.h"

namespace torvex {

enum class ProgressStyle { Bar, Lines, Quiet };

class ProgressReporter {
 public:
  ProgressReporter(ProgressStyle style, std::FILE* out);
  // Reports the run's state when the last report is old enough.
  void update(const Case& c, const RunState& s);
  // Clears the bar line (on a terminal) before the summary is printed.
  void finish();
  [[nodiscard]] double elapsedSeconds() const;

  // One report: simulated time reached of the end time, step, passes,
  // Kirkendall position, elapsed and estimated remaining wall time.
  [[nodiscard]] static std::string describe(const Case& c, const RunState& s, double elapsedSeconds);

 private:
  ProgressStyle style_;
  std::FILE* out_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastReport_;
  bool barShown_ = false;
};

// Wall time as "42.3 s", "12 min 05 s" or "3 h 02 min".
std::string formatDuration(double seconds);

}  // namespace torvex
