#pragma once
// Running a study: every case in a folder of its own (OUTPUT/cases/0000/ with
// the rendered inputs, so that torvex-batch alone can run it again), each run
// as a separate torvex-batch process so that one case that fails, hangs or
// crashes cannot take the others with it; N at a time on this machine, or one
// per task of a Slurm job array. OUTPUT/summary.csv gathers the cases.

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "study/study.h"

namespace torvex {

struct SweepOptions {
  std::string executable;                  // the torvex-batch that runs each case
  int jobs = 0;                            // processes at once; 0: the study's jobs, else the number of cores
  std::optional<double> timeLimitSeconds;  // overrides the study's time_limit
  bool quiet = false;
  bool bar = false;  // redraw one progress line (a terminal) instead of a line per finished case
};

// Exit statuses of a sweep.
constexpr int kSweepAllCompleted = 0;
constexpr int kSweepSomeNotCompleted = 3;  // a case failed, hung, crashed or is missing
constexpr int kSweepInterrupted = 130;

// What the sweep records beside each case's inputs (sweep-case.txt).
struct CaseRecord {
  std::string fingerprint;  // of the rendered inputs and the run options
  std::string state;        // completed, failed, timed_out, crashed, stopped
  int exitStatus = -1;
  double wallSeconds = 0.0;
};

std::optional<CaseRecord> readCaseRecord(const std::string& caseDirectory);

// Whether the case in `caseDirectory` has run to the end with exactly these
// inputs: its record says it completed (exit status 0), and its run report
// (when the run wrote one) says it reached its end, or was stopped where the
// options asked (--max-passes).
bool caseIsDone(const std::string& caseDirectory, const std::string& fingerprint);

// Runs the cases that are not done, `jobs` at a time; writes summary.csv.
// Ctrl-C (SIGINT) stops the running cases through their own Ctrl-C handling
// and records them as stopped. Progress and messages go to `log`.
int runSweep(const Study& study, const SweepOptions& options, std::ostream& log);

// Runs case `index` alone (a task of a job array), unless it is done.
// Returns the case's exit status.
int runSweepTask(const Study& study, std::size_t index, const SweepOptions& options, std::ostream& log);

// Writes OUTPUT/summary.csv from the case folders; the cases that have not
// run (or ran with other inputs) are listed in `missing`.
void writeSummary(const Study& study, std::vector<std::size_t>& missing);

// A text as one word of a shell command line (in single quotes).
std::string shellQuoted(const std::string& text);

// Renders every case folder and writes OUTPUT/sweep.sbatch, a job array with
// one task per case whose task i runs the setup lines, then
// `executable sweep STUDY --task i`. The study, the logs and the executable
// are named relative to `root` (the folder the job is submitted from, whose
// path on the cluster may differ): a path outside it stays absolute. An
// executable given as a bare name is left for the nodes' PATH (or a setup
// line) to find. Returns the script's path.
std::string writeSlurmScript(const Study& study, const SlurmSettings& settings, const std::string& executable,
                             const std::string& root);

}  // namespace torvex
