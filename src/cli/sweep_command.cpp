#include "cli/sweep_command.h"

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/command_line.h"
#include "model/errors.h"
#include "model/number_format.h"
#include "study/folder_lock.h"
#include "study/study.h"
#include "study/sweep.h"

namespace torvex {
namespace {

constexpr int kUsage = 2;
constexpr int kInvalid = 1;

constexpr const char* kSweepHelp = R"(Usage: torvex-batch sweep STUDY.toml [-j N] [--time-limit S] [--quiet]
       torvex-batch sweep STUDY.toml --slurm | --submit [--time T] [--mem M]
                    [--throttle K] [--partition P] [--root DIR]
       torvex-batch sweep STUDY.toml --task I | --collect

Runs a parameter study: one case template (a data file and its side files
with {{NAME}} placeholders) for every combination, zipped list or table row
of the study's parameters. Every case is rendered into OUTPUT/cases/NNNN/ and
run there as a torvex-batch process of its own; OUTPUT/summary.csv gets a row
per case (its parameters, how it ended, its checks, the results asked for).
Running the command again skips the cases that completed with the same
inputs. See docs/studies.md for the study file.

  -j N, --jobs N     Cases at once (default: the study's jobs, else the
                     number of cores).
  --time-limit S     Stop a case after S seconds, as by Ctrl-C.
  --quiet            No progress line.
  --slurm            Write OUTPUT/sweep.sbatch, a Slurm job array of one task
                     per case. Its paths are relative to the folder it is
                     submitted from (this one), or to DIR with --root DIR.
  --submit           Write it and submit it with sbatch; print the job id.
  --time T, --mem M, --throttle K, --partition P
                     Override the study's [slurm] time, memory, tasks at once
                     and partition.
  --task I           Run case I alone (what array task I does).
  --collect          Write OUTPUT/summary.csv from the case folders and name
                     the cases that have not run.
  --help             Show this text.

A study whose temperature cannot act on its case (no formula uses T, and no
built-in model depends on it) is told so once, before any case runs.

Exit status: 0 every case completed, 1 a study that cannot run (nothing
runs), 2 wrong usage, 3 a case did not complete (or is missing), 130 Ctrl-C.
)";

const std::vector<std::string_view> kSweepOptions = {"--jobs",     "--quiet", "--time-limit", "--slurm", "--submit",
                                                     "--collect",  "--task",  "--time",       "--mem",   "--partition",
                                                     "--throttle", "--root",  "--help"};

int usage(const std::string& message) {
  std::cerr << "torvex-batch sweep: " << message << "\nTry 'torvex-batch sweep --help'.\n";
  return kUsage;
}

// This program's own file, so that every case runs the same build.
std::string ownExecutable(const char* argv0) {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return self.string();
  return std::filesystem::absolute(argv0, error).string();
}

// Runs a command and returns its standard output; status in `status`.
std::string commandOutput(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return output;
  }
  std::array<char, 512> buffer{};
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), got);
  status = ::pclose(pipe);
  return output;
}

}  // namespace

int runSweepCommand(const std::vector<std::string>& args, const char* argv0) {
  std::string studyPath;
  SweepOptions options;
  options.executable = ownExecutable(argv0);
  options.bar = isatty(STDERR_FILENO) != 0;
  enum class Mode { Local, Slurm, Submit, Task, Collect } mode = Mode::Local;
  std::optional<long long> task;
  SlurmSettings slurmOverrides;
  std::string root;  // --root: what the script's paths are relative to
  bool throttleGiven = false;
  for (std::size_t a = 0; a < args.size(); ++a) {
    const std::string& arg = args[a];
    const auto value = [&]() -> std::optional<std::string> {
      if (a + 1 >= args.size()) return std::nullopt;
      return args[++a];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kSweepHelp;
      return 0;
    } else if (arg == "-j" || arg == "--jobs") {
      const auto text = value();
      const std::optional<int> jobs = text ? parseInteger(*text) : std::nullopt;
      if (!jobs || *jobs < 1) return usage(arg + " needs a number of processes (1 or more)");
      options.jobs = *jobs;
    } else if (arg.rfind("-j", 0) == 0 && arg.size() > 2 && parseInteger(arg.substr(2))) {
      options.jobs = *parseInteger(arg.substr(2));
      if (options.jobs < 1) return usage("-j needs a number of processes (1 or more)");
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--time-limit") {
      const auto text = value();
      const std::optional<double> seconds = text ? parseReal(*text) : std::nullopt;
      if (!seconds || !(*seconds >= kMinTimeLimitSeconds) || !std::isfinite(*seconds))
        return usage("--time-limit needs a number of seconds, at least 0.001 (1 ms)");
      options.timeLimitSeconds = *seconds;
    } else if (arg == "--slurm") {
      mode = Mode::Slurm;
    } else if (arg == "--submit") {
      mode = Mode::Submit;
    } else if (arg == "--collect") {
      mode = Mode::Collect;
    } else if (arg == "--task") {
      const auto text = value();
      const std::optional<int> index = text ? parseInteger(*text) : std::nullopt;
      if (!index || *index < 0) return usage("--task needs a case number (0 or more)");
      mode = Mode::Task;
      task = *index;
    } else if (arg == "--time" || arg == "--mem" || arg == "--partition") {
      const auto text = value();
      if (!text) return usage(arg + " needs a value");
      (arg == "--time"  ? slurmOverrides.time
       : arg == "--mem" ? slurmOverrides.memory
                        : slurmOverrides.partition) = *text;
    } else if (arg == "--root") {
      const auto text = value();
      if (!text) return usage("--root needs a folder");
      std::error_code error;
      if (!std::filesystem::is_directory(*text, error)) return usage("--root: '" + *text + "' is not a folder");
      root = *text;
    } else if (arg == "--throttle") {
      const auto text = value();
      const std::optional<int> throttle = text ? parseInteger(*text) : std::nullopt;
      if (!throttle || *throttle < 1) return usage("--throttle needs a number of tasks (1 or more)");
      slurmOverrides.throttle = *throttle;
      throttleGiven = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return usage(unknownOptionMessage(arg, kSweepOptions));
    } else if (studyPath.empty()) {
      studyPath = arg;
    } else {
      return usage("more than one study given ('" + studyPath + "', '" + arg + "')");
    }
  }
  if (studyPath.empty()) return usage("no study given");

  Study study;
  try {
    study = loadStudy(studyPath);
    if (mode == Mode::Task) {
      if (static_cast<std::size_t>(*task) >= study.caseCount())
        return usage("--task " + std::to_string(*task) + ": the study has " + std::to_string(study.caseCount()) +
                     " cases (0 to " + std::to_string(study.caseCount() - 1) + ")");
    } else if (mode != Mode::Collect) {
      CountProgress progress("Checking the cases", options, std::cerr);
      std::string temperatureWarning;
      validateStudy(
          study, [&](std::size_t done, std::size_t total) { progress(done, total); }, &temperatureWarning);
      progress.finish();
      if (!temperatureWarning.empty()) std::cerr << "\u26A0 " << temperatureWarning << "\n";
    }
  } catch (const FatalModelError& error) {
    std::cerr << "Invalid study: " << error.what() << "\n";
    if (!error.detail().empty()) std::cerr << error.detail() << "\n";
    return kInvalid;
  } catch (const InputError& error) {
    std::cerr << "Invalid study: " << error.what() << "\n";
    return kInvalid;
  }

  try {
    switch (mode) {
      case Mode::Local: return runSweep(study, options, std::cerr);
      case Mode::Task: return runSweepTask(study, static_cast<std::size_t>(*task), options, std::cerr);
      case Mode::Collect: {
        // Beside the tasks of a job array, not beside a sweep run here.
        const OutputFolderLock sharer(study.outputDirectory, FileLock::Mode::Shared);
        std::vector<std::size_t> missing;
        writeSummary(study, missing);
        std::cout << "Summary: " << (std::filesystem::path(study.outputDirectory) / "summary.csv").string() << " ("
                  << study.caseCount() - missing.size() << " of " << study.caseCount() << " cases)\n";
        if (missing.empty()) return kSweepAllCompleted;
        std::string list;
        for (const std::size_t index : missing) list += (list.empty() ? "" : " ") + std::to_string(index);
        std::cout << "Missing tasks (not run, or run with other inputs): " << list << "\n";
        return kSweepSomeNotCompleted;
      }
      case Mode::Slurm:
      case Mode::Submit: {
        SlurmSettings settings = study.slurm;
        if (!slurmOverrides.time.empty()) settings.time = slurmOverrides.time;
        if (!slurmOverrides.memory.empty()) settings.memory = slurmOverrides.memory;
        if (!slurmOverrides.partition.empty()) settings.partition = slurmOverrides.partition;
        if (throttleGiven) settings.throttle = slurmOverrides.throttle;
        // The torvex-batch of the PATH is named bare, so that the cluster's
        // own (a module, an install in the home folder) runs the tasks.
        std::error_code error;
        const std::string onPath = findOnPath("torvex-batch");
        const bool same = !onPath.empty() && std::filesystem::equivalent(onPath, options.executable, error);
        const std::string script =
            writeSlurmScript(study, settings, same ? "torvex-batch" : options.executable, root, std::cerr);
        if (mode == Mode::Slurm) {
          std::cout << "Wrote " << script << " (" << study.caseCount() << " tasks); submit it with: sbatch " << script
                    << "\n";
          return 0;
        }
        if (findOnPath("sbatch").empty()) {
          std::cerr << "torvex-batch sweep: sbatch not found: is Slurm installed here? Use --slurm to write the "
                       "script and submit it on the cluster (wrote "
                    << script << ")\n";
          return kInvalid;
        }
        int status = 0;
        const std::string chdir = root.empty() ? std::string() : " --chdir=" + shellQuoted(root);
        const std::string output = commandOutput("sbatch --parsable" + chdir + " " + shellQuoted(script), status);
        if (status != 0) {
          std::cerr << "torvex-batch sweep: sbatch " << script << " failed\n";
          return kInvalid;
        }
        const std::string jobId = output.substr(0, output.find_first_of(";\n"));
        std::cout << jobId << "\n";
        std::cerr << "Submitted " << script << " as job " << jobId << " (" << study.caseCount()
                  << " tasks); when it has finished: torvex-batch sweep " << studyPath << " --collect\n";
        return 0;
      }
    }
  } catch (const FolderBusyError& error) {
    std::cerr << "torvex-batch sweep: " << error.what() << "\n";
    return kSweepFolderBusy;
  } catch (const FileWriteError& error) {
    std::cerr << "torvex-batch sweep: " << error.what() << "\n";
    return kSweepCannotWrite;
  } catch (const InputError& error) {
    std::cerr << "torvex-batch sweep: " << error.what() << "\n";
    return kInvalid;
  }
  return 0;
}

}  // namespace torvex
