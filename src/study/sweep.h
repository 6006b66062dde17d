#pragma once
// Running a study: every case in a folder of its own (OUTPUT/cases/0000/ with
// the rendered inputs, so that torvex-batch alone can run it again), each run
// as a separate torvex-batch process so that one case that fails, hangs or
// crashes cannot take the others with it; N at a time on this machine, or one
// per task of a Slurm job array. OUTPUT/summary.csv gathers the cases.

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "study/case_folder.h"
#include "study/study.h"

namespace torvex {

struct SweepOptions {
  std::string executable;                  // the torvex-batch that runs each case
  int jobs = 0;                            // processes at once; 0: the study's jobs, else the number of cores
  std::optional<double> timeLimitSeconds;  // overrides the study's time_limit
  bool quiet = false;
  bool bar = false;  // redraw one progress line (a terminal) instead of a line per finished case
};

// A count of the work done, on `log`, while a long preparation goes on (a
// study of many cases is checked and rendered before its first case runs):
// nothing for the first second, then in place on a terminal (options.bar),
// a line every 10 s otherwise; nothing at all when quiet.
class CountProgress {
 public:
  CountProgress(std::string what, const SweepOptions& options, std::ostream& log);
  void operator()(std::size_t done, std::size_t total);
  // Clears the line shown in place.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  std::string what_;
  bool bar_;
  bool quiet_;
  std::ostream& log_;
  Clock::time_point start_;
  Clock::time_point last_{};
  bool shown_ = false;
};

// Exit statuses of a sweep.
constexpr int kSweepAllCompleted = 0;
constexpr int kSweepSomeNotCompleted = 3;  // a case failed, hung, crashed or is missing
constexpr int kSweepCannotWrite = 4;       // the output folder or a case folder cannot be written
constexpr int kSweepFolderBusy = 5;        // another sweep or fit owns the output folder
constexpr int kSweepInterrupted = 130;

// The cores this process may run on (its affinity mask, which a batch
// system sets), at least 1.
int usableCores();

// Whether the case in `caseDirectory` has run to the end with exactly these
// inputs: its record says it completed (exit status 0), every results file
// it names is there with the digest it recorded, and the run report (when
// the run wrote one) says the run reached its end, or was stopped where the
// options asked (--max-passes).
bool caseIsDone(const std::string& caseDirectory, const std::string& fingerprint);

// The sweep owns the output folder while it runs (a second sweep or fit on
// it is refused with FolderBusyError naming the holder); a case process left
// running there by an earlier sweep that was killed is ended before its case
// is touched. Inputs that lie in the output folder are refused (InputError)
// before anything is written, and a folder that cannot be written is
// reported (FileWriteError) before any case runs.

// Runs the cases that are not done, `jobs` at a time (no more than the
// usable cores); writes summary.csv. Ctrl-C (SIGINT) stops the running cases
// through their own Ctrl-C handling and records them as stopped. A case's
// process ends with the sweep however the sweep ends. Progress and messages
// go to `log`.
int runSweep(const Study& study, const SweepOptions& options, std::ostream& log);

// Runs case `index` alone (a task of a job array), unless it is done. The
// tasks share the output folder; a case being run by another process is
// refused. Returns the case's exit status.
int runSweepTask(const Study& study, std::size_t index, const SweepOptions& options, std::ostream& log);

// Writes OUTPUT/summary.csv from the case folders; the cases that have not
// run (or ran with other inputs, or whose results changed since) are listed
// in `missing`. The caller holds the output folder.
void writeSummary(const Study& study, std::vector<std::size_t>& missing);

// A text as one word of a shell command line (in single quotes).
std::string shellQuoted(const std::string& text);

// Renders every case folder and writes OUTPUT/sweep.sbatch, a job array with
// one task per case whose task i runs the setup lines, then
// `executable sweep STUDY --task i`. The study, the logs and the executable
// are named relative to `root` (the folder the job is submitted from, whose
// path on the cluster may differ): a path outside it stays absolute. An
// executable given as a bare name is left for the nodes' PATH (or a setup
// line) to find. Holds the output folder while it writes; progress goes to
// `log`. Returns the script's path.
std::string writeSlurmScript(const Study& study, const SlurmSettings& settings, const std::string& executable,
                             const std::string& root, std::ostream& log);

}  // namespace torvex
