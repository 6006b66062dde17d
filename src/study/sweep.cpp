#include "study/sweep.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <sstream>
#include <thread>

#include "model/case.h"
#include "model/errors.h"
#include "model/number_format.h"
#include "model/text_list.h"
#include "results/results_files.h"
#include "results/run_data.h"
#include "results/run_report.h"
#include "study/case_folder.h"
#include "study/folder_lock.h"
#include "study/output_folder.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kKillGraceSeconds = 10.0;  // after a Ctrl-C sent for a time limit, before SIGKILL

std::atomic<int> gInterrupts{0};

void onInterrupt(int) {
  gInterrupts.fetch_add(1);
}

// Ctrl-C while the sweep runs: counted, acted on by the pool's loop.
class SweepInterruptGuard {
 public:
  SweepInterruptGuard() {
    gInterrupts = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~SweepInterruptGuard() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
  }
  SweepInterruptGuard(const SweepInterruptGuard&) = delete;
  SweepInterruptGuard& operator=(const SweepInterruptGuard&) = delete;

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The outcome and the checks of the case's run report, when it has one.
struct ReportSummary {
  bool present = false;
  std::string end;  // completed, stopped, ...; "unreadable" when the file is not a report
  std::vector<std::pair<std::string, std::string>> checks;  // id, status
  std::optional<double> lifeSeconds;                        // a life run's life; none: not reached, or none asked
};

// The folder a case's run writes its results to.
std::string resultsOf(const std::string& caseDirectory) {
  return (fs::path(caseDirectory) / kDefaultResultsFolder).string();
}

ReportSummary readReport(const std::string& caseDirectory) {
  ReportSummary summary;
  const std::string results = resultsOf(caseDirectory);
  std::error_code ignored;
  if (!fs::is_regular_file(fs::path(results) / kRunReportFile, ignored)) return summary;
  summary.present = true;
  try {
    RunVerdicts verdicts = readRunVerdicts(results);
    summary.end = std::move(verdicts.end);
    summary.checks = std::move(verdicts.checks);
    summary.lifeSeconds = verdicts.lifeSeconds;
  } catch (const std::exception&) {
    summary.end = "unreadable";
    summary.checks.clear();
  }
  return summary;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c == '\n' || c == '\r' ? ' ' : c;
  }
  return quoted + "\"";
}

// The last line of the case's standard error that says something.
std::string stderrTail(const std::string& caseDirectory) {
  const std::string text = readWhole((fs::path(caseDirectory) / "stderr.txt").string());
  std::string last;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // A progress bar redraws with carriage returns: its last state counts.
    if (const auto cr = line.find_last_of('\r'); cr != std::string::npos) line = line.substr(cr + 1);
    if (!trimmed(line).empty()) last = trimmed(line);
  }
  return last.size() > 300 ? last.substr(0, 300) + "..." : last;
}

// The scalar results the study asks for, from the results files of the case.
std::vector<std::string> scalarResults(const Study& study, const std::string& caseDirectory,
                                       const std::string& dataFileName) {
  std::vector<std::string> cells(study.results.size());
  if (study.results.empty()) return cells;
  const FinalResults final = ReadFinalResults(resultsOf(caseDirectory));
  const std::vector<FinalResults::BoundaryRow>& boundary = final.boundary;
  for (std::size_t r = 0; r < study.results.size(); ++r) {
    const StudyResult& result = study.results[r];
    switch (result.kind) {
      case StudyResult::Kind::KirkendallShift: {
        if (!final.kirkendallPosition) break;
        // Where the plane started, as the case's load places it.
        Case rendered;
        try {
          rendered = loadCase((fs::path(caseDirectory) / dataFileName).string(), {.sideFileDirectory = caseDirectory});
        } catch (const std::exception&) {
          break;
        }
        cells[r] = formatGeneral(*final.kirkendallPosition - rendered.initialKirkendallPosition);
        break;
      }
      case StudyResult::Kind::OxideThickness:
        if (!boundary.empty() && boundary.back().oxideThicknessCm)
          cells[r] = formatGeneral(*boundary.back().oxideThicknessCm);
        break;
      case StudyResult::Kind::Recession:
        // The run's report holds the lengths a receding surface started and
        // ended with; a run without one, or one without a readable report,
        // leaves the cell empty.
        try {
          const RunReport report = readRunReport(resultsOf(caseDirectory));
          if (report.life && report.life->receding)
            cells[r] = formatGeneral(report.life->startLength - report.life->length);
        } catch (const std::exception&) {
        }
        break;
      case StudyResult::Kind::MolarRatio: {
        if (final.atomicPercent.empty()) break;
        const std::vector<double>& percent = result.left ? final.atomicPercent.front() : final.atomicPercent.back();
        if (static_cast<std::size_t>(result.component) > percent.size()) break;
        cells[r] = formatGeneral(percent[static_cast<std::size_t>(result.component) - 1] / 100.0);
        break;
      }
      case StudyResult::Kind::FirstTimeBelow: {
        // The molar ratios at the ends after every pass (written while a flux
        // crosses an end).
        const auto component = static_cast<std::size_t>(result.component) - 1;
        if (boundary.empty() || component >= boundary.back().leftRatio.size()) break;
        for (const FinalResults::BoundaryRow& row : boundary) {
          const std::vector<double>& ratio = result.left ? row.leftRatio : row.rightRatio;
          if (component < ratio.size() && ratio[component] < result.threshold) {
            cells[r] = formatGeneral(row.timeS);
            break;
          }
        }
        break;
      }
    }
  }
  return cells;
}

struct PreparedCase {
  std::size_t index = 0;
  std::string directory;
  std::string dataPath;
  std::string fingerprint;
  std::vector<std::string> caseOptions;  // the case's own run options, its files named by their paths
  bool done = false;
};

// How a sweep may take a case folder whose lock is held: a sweep that owns
// the output folder ends the process left there by an earlier sweep; a task
// of a job array, which shares it, refuses.
enum class CaseClaim { EndLeftover, Refuse };

// Renders case `index` into its folder unless it is done with these inputs.
// A folder that is not done is cleared first (an earlier, different or
// unfinished run leaves nothing behind), after a process still running in it
// has been ended. Refuses inputs that lie in the output folder before
// anything there is touched.
PreparedCase prepareCase(const Study& study, std::size_t index, CaseClaim claim, InputsOutside& inputs,
                         std::ostream& log) {
  PreparedCase prepared;
  prepared.index = index;
  prepared.directory = caseDirectory(study, index);
  const RenderedCase rendered = renderStudyCase(study, index);
  inputs.check(inputFilesOf(rendered));
  prepared.fingerprint = inputFingerprint(rendered, study.runOptions);
  prepared.dataPath = (fs::path(prepared.directory) / rendered.dataFile.name).string();
  for (std::size_t k = 0; k < rendered.runOptions.size(); ++k) {
    const bool file = k > 0 && rendered.runOptions[k - 1] == "--schedule";
    prepared.caseOptions.push_back(file ? (fs::path(prepared.directory) / rendered.runOptions[k]).string()
                                        : rendered.runOptions[k]);
  }
  const FileLock lock = claimCaseFolder(prepared.directory, claim == CaseClaim::EndLeftover, log);
  prepared.done = caseIsDone(prepared.directory, prepared.fingerprint);
  if (prepared.done) return prepared;
  clearCaseFolder(prepared.directory);
  writeRenderedCase(rendered, prepared.directory);
  return prepared;
}

struct RunningCase {
  PreparedCase prepared;
  pid_t pid = -1;
  Clock::time_point started;
  bool timedOut = false;
  bool stopped = false;
  std::optional<Clock::time_point> killAt;
};

// Starts the run of a prepared case; -1 when it cannot be started. The case's
// process takes over the case's lock: it holds it while it runs, and a later
// sweep that finds it held knows that process was left behind.
pid_t startCase(const PreparedCase& prepared, const Study& study, const SweepOptions& options) {
  std::vector<std::string> args{options.executable, "--quiet"};
  args.insert(args.end(), study.runOptions.begin(), study.runOptions.end());
  args.insert(args.end(), prepared.caseOptions.begin(), prepared.caseOptions.end());
  args.insert(args.end(), {"--results", resultsOf(prepared.directory), prepared.dataPath});
  const std::string out = (fs::path(prepared.directory) / "stdout.txt").string();
  const std::string err = (fs::path(prepared.directory) / "stderr.txt").string();
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::optional<FileLock> lock =
      FileLock::tryTake((fs::path(prepared.directory) / kCaseLockName).string(), FileLock::Mode::Exclusive, true);
  if (!lock) return -1;
  const pid_t sweep = ::getpid();
  const pid_t pid = ::fork();
  if (pid != 0) {
    if (pid > 0) {
      LockHolder holder = thisProcess();
      holder.pid = pid;
      holder.command = "run of " + prepared.directory + " for " + holder.command;
      lock->describe(holder);
    }
    return pid;  // our descriptor of the lock closes here; the case's process keeps its own
  }
  // The child: a process group of its own, so that the terminal's Ctrl-C
  // reaches the sweep alone, which passes it on; and ended with the sweep,
  // however the sweep ends, so that no run goes on writing into a folder
  // that a later sweep clears.
  ::setpgid(0, 0);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != sweep) ::_exit(125);  // the sweep ended before the line above
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  sigaction(SIGINT, &defaults, nullptr);
  sigaction(SIGTERM, &defaults, nullptr);
  // The folder was cleared: these are new files, and a link put in their
  // place meanwhile is not followed.
  const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (outFd < 0 || errFd < 0 || nullFd < 0) ::_exit(126);
  ::dup2(nullFd, STDIN_FILENO);
  ::dup2(outFd, STDOUT_FILENO);
  ::dup2(errFd, STDERR_FILENO);
  ::execv(argv[0], argv.data());
  const char* message = "torvex-batch sweep: cannot start the run\n";
  [[maybe_unused]] const auto written = ::write(STDERR_FILENO, message, std::strlen(message));
  ::_exit(127);
}

CaseRecord finishedRecord(const RunningCase& running, int waitStatus) {
  CaseRecord record;
  record.fingerprint = running.prepared.fingerprint;
  record.wallSeconds = std::chrono::duration<double>(Clock::now() - running.started).count();
  if (WIFEXITED(waitStatus)) {
    record.exitStatus = WEXITSTATUS(waitStatus);
    if (record.exitStatus == 0)
      record.state = "completed";
    else if (running.timedOut)
      record.state = "timed_out";
    else if (record.exitStatus == 130)
      record.state = "stopped";
    else
      record.state = "failed";
  } else {
    const int signal = WIFSIGNALED(waitStatus) ? WTERMSIG(waitStatus) : 0;
    record.exitStatus = 128 + signal;
    record.state = running.timedOut ? "timed_out" : running.stopped && signal == SIGINT ? "stopped" : "crashed";
  }
  return record;
}

std::string duration(double seconds) {
  const long long s = static_cast<long long>(seconds + 0.5);
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
  return std::to_string(s / 3600) + " h " + std::to_string((s % 3600) / 60) + " min";
}

class Pool {
 public:
  Pool(const Study& study, const SweepOptions& options, std::ostream& log)
      : study_(study), options_(options), log_(log) {
    limit_ = options.timeLimitSeconds ? options.timeLimitSeconds : study.timeLimitSeconds;
  }
  // Leaving early (an error while recording a case) ends the runs in hand:
  // none goes on without its sweep.
  ~Pool() {
    for (const RunningCase& running : running_) {
      ::kill(-running.pid, SIGKILL);
      int status = 0;
      ::waitpid(running.pid, &status, 0);
    }
  }
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  // Runs the cases; returns whether Ctrl-C stopped the sweep.
  bool run(std::vector<PreparedCase> queue, int jobs) {
    total_ = queue.size();
    const SweepInterruptGuard guard;
    const Clock::time_point start = Clock::now();
    std::size_t next = 0;
    int interruptsSeen = 0;
    while (next < queue.size() || !running_.empty()) {
      const int interrupts = gInterrupts.load();
      if (interrupts != interruptsSeen) {
        interruptsSeen = interrupts;
        interrupted_ = true;
        for (RunningCase& running : running_) {
          running.stopped = true;
          ::kill(-running.pid, SIGINT);
        }
      }
      while (!interrupted_ && next < queue.size() && static_cast<int>(running_.size()) < jobs) {
        RunningCase running;
        running.prepared = queue[next++];
        running.started = Clock::now();
        running.pid = startCase(running.prepared, study_, options_);
        if (running.pid < 0) {
          writeCaseRecord(running.prepared.directory, {running.prepared.fingerprint, "failed", 126, 0.0, {}});
          ++failed_;
          continue;
        }
        ::setpgid(running.pid, running.pid);  // also here, so that no signal can race the child's own call
        running_.push_back(running);
      }
      if (interrupted_ && next < queue.size()) next = queue.size();  // the rest stays to be run
      reap();
      enforceLimits();
      progress(start, false);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    progress(start, true);
    return interrupted_;
  }

 private:
  void reap() {
    for (auto it = running_.begin(); it != running_.end();) {
      int status = 0;
      const pid_t got = ::waitpid(it->pid, &status, WNOHANG);
      if (got != it->pid) {
        ++it;
        continue;
      }
      CaseRecord record = finishedRecord(*it, status);
      // The record goes last: only a case whose record names these very
      // results counts as done.
      if (record.state == "completed") record.results = digestResults(it->prepared.directory);
      try {
        writeCaseRecord(it->prepared.directory, record);
      } catch (const FileWriteError& error) {
        log_ << "torvex-batch sweep: " << error.what() << "\n";
      }
      if (record.state == "completed") {
        ++completed_;
        runSeconds_ += record.wallSeconds;
      } else if (record.state == "stopped") {
        ++stopped_;
      } else {
        ++failed_;
      }
      if (!options_.quiet && !options_.bar)
        log_ << "case " << fs::path(it->prepared.directory).filename().string() << " " << record.state << " after "
             << duration(record.wallSeconds)
             << (record.exitStatus != 0 ? " (exit status " + std::to_string(record.exitStatus) + ")" : "") << "\n";
      it = running_.erase(it);
      changed_ = true;
    }
  }

  void enforceLimits() {
    const Clock::time_point now = Clock::now();
    for (RunningCase& running : running_) {
      if (limit_ && !running.timedOut && std::chrono::duration<double>(now - running.started).count() > *limit_) {
        // Past its time: stopped as by Ctrl-C, so that it writes its results.
        running.timedOut = true;
        ::kill(-running.pid, SIGINT);
        running.killAt =
            now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kKillGraceSeconds));
      }
      if (running.stopped && !running.killAt) running.killAt = now + std::chrono::seconds(60);
      if (running.killAt && now > *running.killAt) {
        ::kill(-running.pid, SIGKILL);
        running.killAt.reset();
      }
    }
  }

  void progress(Clock::time_point start, bool last) {
    if (options_.quiet) return;
    const Clock::time_point now = Clock::now();
    if (options_.bar) {
      if (!last && !changed_ && now - lastDrawn_ < std::chrono::seconds(1)) return;
    } else if (!last && !changed_) {
      return;
    }
    changed_ = false;
    lastDrawn_ = now;
    const std::size_t finished = completed_ + failed_ + stopped_;
    std::string line = std::to_string(finished) + "/" + std::to_string(total_) + " cases done, " +
                       std::to_string(failed_) + " failed, " + std::to_string(running_.size()) + " running";
    if (stopped_ > 0) line += ", " + std::to_string(stopped_) + " stopped";
    if (completed_ > 0 && finished < total_ && !interrupted_) {
      const double elapsed = std::chrono::duration<double>(now - start).count();
      const double perCase = elapsed / static_cast<double>(finished);
      line += ", about " + duration(perCase * static_cast<double>(total_ - finished)) + " left";
    }
    if (options_.bar) {
      constexpr int kWidth = 24;
      const int filled = total_ == 0 ? kWidth : static_cast<int>(kWidth * finished / total_);
      log_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
           << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << line << "\033[K";
      if (last) log_ << "\n";
    } else if (last) {
      log_ << line << "\n";
    }
    log_.flush();
  }

  const Study& study_;
  const SweepOptions& options_;
  std::ostream& log_;
  std::optional<double> limit_;
  std::vector<RunningCase> running_;
  std::size_t total_ = 0, completed_ = 0, failed_ = 0, stopped_ = 0;
  double runSeconds_ = 0.0;
  bool interrupted_ = false;
  bool changed_ = true;
  Clock::time_point lastDrawn_{};
};

// The cases run at once: as asked, but no more than the cores this process
// may use (more only make each case slower and the machine sluggish),
// saying so on `log`.
int defaultJobs(const Study& study, const SweepOptions& options, std::ostream& log) {
  const int cores = usableCores();
  const int asked = options.jobs > 0 ? options.jobs : study.jobs.value_or(0);
  if (asked == 0) return cores;
  if (asked > cores) {
    log << "Note: " << (options.jobs > 0 ? "-j " : "jobs = ") << asked << " is more than the " << cores
        << (cores == 1 ? " core" : " cores") << " this sweep may use; " << cores << " cases run at a time.\n";
    return cores;
  }
  return asked;
}

// Renders every case that is not done into its folder, with progress.
std::vector<PreparedCase> prepareCases(const Study& study, const SweepOptions& options, std::ostream& log,
                                       std::size_t& skipped) {
  InputsOutside inputs = studyInputsOutside(study);
  CountProgress progress("Preparing the case folders", options, log);
  std::vector<PreparedCase> queue;
  skipped = 0;
  for (std::size_t c = 0; c < study.caseCount(); ++c) {
    progress(c, study.caseCount());
    PreparedCase prepared = prepareCase(study, c, CaseClaim::EndLeftover, inputs, log);
    if (prepared.done)
      ++skipped;
    else
      queue.push_back(std::move(prepared));
  }
  progress.finish();
  return queue;
}

}  // namespace

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CountProgress::CountProgress(std::string what, const SweepOptions& options, std::ostream& log)
    : what_(std::move(what)), bar_(options.bar), quiet_(options.quiet), log_(log), start_(Clock::now()) {}

void CountProgress::operator()(std::size_t done, std::size_t total) {
  if (quiet_) return;
  const Clock::time_point now = Clock::now();
  const auto interval = bar_ ? std::chrono::seconds(1) : std::chrono::seconds(10);
  if (now - start_ < std::chrono::seconds(1) || (shown_ && now - last_ < interval)) return;
  last_ = now;
  shown_ = true;
  const std::string line = what_ + ": " + std::to_string(done) + " of " + std::to_string(total);
  if (bar_)
    log_ << "\r" << line << "\033[K" << std::flush;
  else
    log_ << line << "\n" << std::flush;
}

void CountProgress::finish() {
  if (shown_ && bar_) log_ << "\r\033[K" << std::flush;
  shown_ = false;
}

int usableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

bool caseIsDone(const std::string& caseDirectory, const std::string& fingerprint) {
  const std::optional<CaseRecord> record = readCaseRecord(caseDirectory);
  if (!record || record->fingerprint != fingerprint || record->state != "completed") return false;
  if (!resultsMatch(caseDirectory, record->results)) return false;
  // A run stopped by --max-passes among the study's options ends with status
  // 0 as asked: done as well.
  const ReportSummary report = readReport(caseDirectory);
  return !report.present || report.end == "completed" || report.end == "stopped" || report.end == "critical_content";
}

void writeSummary(const Study& study, std::vector<std::size_t>& missing) {
  missing.clear();
  struct Row {
    std::optional<CaseRecord> record;
    ReportSummary report;
    std::vector<std::string> results;
    std::string message;
  };
  std::vector<Row> rows(study.caseCount());
  std::vector<std::string> checkIds;
  for (std::size_t c = 0; c < study.caseCount(); ++c) {
    const std::string directory = caseDirectory(study, c);
    Row& row = rows[c];
    const RenderedCase rendered = renderStudyCase(study, c);
    row.record = readCaseRecord(directory);
    // A completed case whose results are no longer those its record names
    // (removed, changed) has no results to show.
    if (!row.record || row.record->fingerprint != inputFingerprint(rendered, study.runOptions) ||
        (row.record->state == "completed" && !resultsMatch(directory, row.record->results))) {
      row.record.reset();
      missing.push_back(c);
      continue;
    }
    row.report = readReport(directory);
    for (const auto& check : row.report.checks)
      if (std::find(checkIds.begin(), checkIds.end(), check.first) == checkIds.end()) checkIds.push_back(check.first);
    row.results = scalarResults(study, directory, rendered.dataFile.name);
    if (row.record->state != "completed") {
      row.message = stderrTail(directory);
      if (row.record->state == "timed_out")
        row.message = "stopped at the time limit" + (row.message.empty() ? std::string() : ": " + row.message);
    }
  }

  std::string csv = "case";
  for (const StudyParameter& parameter : study.parameters) csv += "," + csvField(parameter.name);
  csv += ",status,exit_status,outcome";
  // Only a study with a critical content has the life column (empty: not
  // reached), so the summaries of other studies stay as they were.
  const bool life = study.heatTreatment.critical.has_value() ||
                    std::find(study.runOptions.begin(), study.runOptions.end(), "--critical") != study.runOptions.end();
  if (life) csv += ",life_s";
  for (const std::string& id : checkIds) csv += "," + csvField("check_" + id);
  for (const StudyResult& result : study.results) csv += "," + csvField(result.name);
  csv += ",wall_time_s,message\n";
  for (std::size_t c = 0; c < study.caseCount(); ++c) {
    const Row& row = rows[c];
    csv += fs::path(caseDirectory(study, c)).filename().string();
    for (const std::string& value : study.values[c]) csv += "," + csvField(value);
    if (!row.record) {
      csv += ",missing,,";
    } else {
      csv += "," + row.record->state + "," + std::to_string(row.record->exitStatus) + "," + csvField(row.report.end);
    }
    if (life) csv += "," + (row.report.lifeSeconds ? formatGeneral(*row.report.lifeSeconds) : std::string());
    for (const std::string& id : checkIds) {
      std::string status;
      for (const auto& check : row.report.checks)
        if (check.first == id) status = check.second;
      csv += "," + status;
    }
    for (std::size_t r = 0; r < study.results.size(); ++r) csv += "," + (row.results.empty() ? "" : row.results[r]);
    csv += "," + (row.record ? formatGeneral(row.record->wallSeconds) : std::string()) + "," + csvField(row.message) +
           "\n";
  }
  MakeWritableFolder(study.outputDirectory);
  ReplaceFileContent((fs::path(study.outputDirectory) / "summary.csv").string(), csv);
}

int runSweep(const Study& study, const SweepOptions& options, std::ostream& log) {
  const OutputFolderLock owner(study.outputDirectory, FileLock::Mode::Exclusive);
  std::size_t skipped = 0;
  std::vector<PreparedCase> queue = prepareCases(study, options, log, skipped);
  const int jobs = defaultJobs(study, options, log);
  if (!options.quiet)
    log << "Study " << study.path << ": " << study.caseCount() << " cases in " << study.outputDirectory << ", "
        << queue.size() << " to run" << (skipped > 0 ? " (" + std::to_string(skipped) + " done already)" : "") << ", "
        << jobs << " at a time.\n";
  Pool pool(study, options, log);
  const bool interrupted = pool.run(std::move(queue), jobs);
  std::vector<std::size_t> missing;
  writeSummary(study, missing);
  if (!options.quiet) log << "Summary: " << (fs::path(study.outputDirectory) / "summary.csv").string() << "\n";
  if (interrupted) return kSweepInterrupted;
  for (std::size_t c = 0; c < study.caseCount(); ++c) {
    const std::optional<CaseRecord> record = readCaseRecord(caseDirectory(study, c));
    if (!record || record->state != "completed") return kSweepSomeNotCompleted;
  }
  return kSweepAllCompleted;
}

int runSweepTask(const Study& study, std::size_t index, const SweepOptions& options, std::ostream& log) {
  // The tasks of a job array share the output folder; each owns its case.
  const OutputFolderLock sharer(study.outputDirectory, FileLock::Mode::Shared);
  InputsOutside inputs = studyInputsOutside(study);
  PreparedCase prepared = prepareCase(study, index, CaseClaim::Refuse, inputs, log);
  if (prepared.done) {
    if (!options.quiet) log << "case " << index << " is done already\n";
    return 0;
  }
  SweepOptions quiet = options;
  quiet.bar = false;
  Pool pool(study, quiet, log);
  const bool interrupted = pool.run({prepared}, 1);
  if (interrupted) return kSweepInterrupted;
  const std::optional<CaseRecord> record = readCaseRecord(prepared.directory);
  return record ? record->exitStatus : 1;
}

namespace {

// `path` relative to `root` when it lies inside it; else absolute.
std::string relativeTo(const fs::path& path, const fs::path& root) {
  std::error_code ignored;
  const fs::path absolute = fs::weakly_canonical(fs::absolute(path, ignored), ignored);
  const fs::path relative = absolute.lexically_relative(root);
  if (relative.empty() || *relative.begin() == "..") return absolute.string();
  return relative.string();
}

}  // namespace

std::string writeSlurmScript(const Study& study, const SlurmSettings& settings, const std::string& executable,
                             const std::string& root, std::ostream& log) {
  const OutputFolderLock owner(study.outputDirectory, FileLock::Mode::Exclusive);
  SweepOptions options;
  options.bar = false;
  std::size_t skipped = 0;
  prepareCases(study, options, log, skipped);
  std::error_code ignored;
  const fs::path base = fs::weakly_canonical(fs::absolute(root.empty() ? "." : root, ignored), ignored);
  const fs::path output = fs::absolute(study.outputDirectory, ignored);
  MakeWritableFolder((output / "slurm").string());
  std::string script = "#!/bin/bash\n";
  script += "#SBATCH --job-name=" + fs::path(study.path).stem().string() + "\n";
  script += "#SBATCH --array=0-" + std::to_string(study.caseCount() - 1) +
            (settings.throttle > 0 ? "%" + std::to_string(settings.throttle) : std::string()) + "\n";
  script += "#SBATCH --ntasks=1\n#SBATCH --cpus-per-task=1\n";
  if (!settings.time.empty()) script += "#SBATCH --time=" + settings.time + "\n";
  if (!settings.memory.empty()) script += "#SBATCH --mem=" + settings.memory + "\n";
  if (!settings.partition.empty()) script += "#SBATCH --partition=" + settings.partition + "\n";
  script += "#SBATCH --output=" + relativeTo(output / "slurm", base) + "/%A_%a.out\n";
  for (const std::string& option : settings.options) script += "#SBATCH " + option + "\n";
  script +=
      "# Submit it from the folder its paths are relative to (where it was written with --slurm, or\n"
      "# the --root given then), here or on the cluster. Task i runs case i of the study;\n"
      "# torvex-batch sweep --collect gathers the summary.\n";
  for (const std::string& line : settings.setup) script += line + "\n";
  // A bare name is looked up on the nodes' PATH.
  std::string program = executable;
  if (executable.find('/') != std::string::npos) {
    program = relativeTo(executable, base);
    if (program.find('/') == std::string::npos) program = "./" + program;
  }
  script += "exec " + shellQuoted(program) + " sweep " + shellQuoted(relativeTo(study.path, base)) +
            " --task \"$SLURM_ARRAY_TASK_ID\"\n";
  const std::string path = (output / "sweep.sbatch").string();
  ReplaceFileContent(path, script);
  return path;
}

}  // namespace torvex
