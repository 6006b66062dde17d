#include "cli/fit_command.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/command_line.h"
#include "model/errors.h"
#include "model/number_format.h"
#include "study/fit.h"
#include "study/folder_lock.h"
#include "study/sweep.h"

namespace torvex {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitInvalid = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotConverged = 3;
constexpr int kExitWriteFailed = 4;
constexpr int kExitFolderBusy = 5;
constexpr int kExitInterrupted = 130;

constexpr const char* kFitHelp = R"(Usage: torvex-batch fit [-j N] [--output DIR] [--quiet] [--check] FIT.toml

Fits the named parameters of a case to measured profiles by least squares
(Levenberg-Marquardt with bounds). FIT.toml names the case, its key
overrides, the parameters (initial value, bounds, log scale) and the measured
profiles with their anneal times, x shifts and uncertainties; see the README.

  -j N           Run up to N simulations at once (default, and at most: the
                 number of cores).
  --output DIR   Where the report goes (default: the file's "output", else
                 "fit"): fit.json, residuals.csv, the best-fit case in
                 DIR/case, and with torvex-plot at hand the overlay charts.
  --quiet        No line per iteration.
  --check        Check the fit file, the case and the measured profiles,
                 run nothing.

The output folder is the fit's alone while it runs: it may not hold the
case, its side files, the schedule or the measured profiles, and a second
fit or sweep on it is refused. Ctrl-C ends the fit after the runs in hand
and writes the report of the best point so far. Exit status: 0 converged, 1
invalid input, 2 wrong usage, 3 the fit ended without converging (the report
is written), 4 the output folder or the report could not be written, 5 the
output folder is in use by another fit or sweep, 130 interrupted.
)";

std::atomic<bool> interruptRequested{false};

extern "C" void onFitInterrupt(int) {
  interruptRequested.store(true);
}

int usage(const std::string& message) {
  std::cerr << "torvex-batch fit: " << message << "\nTry 'torvex-batch fit --help'.\n";
  return kExitUsage;
}

// torvex-plot beside this program, else on the PATH; empty when neither.
std::string findPlotter(const std::string& programPath) {
  std::error_code ignored;
  const std::filesystem::path beside = std::filesystem::path(programPath).parent_path() / "torvex-plot";
  if (!programPath.empty() && ::access(beside.c_str(), X_OK) == 0) return beside.string();
  return findOnPath("torvex-plot");
}

// Runs a program with arguments, its output to our standard error; returns
// whether it succeeded.
bool runProgram(const std::vector<std::string>& args) {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // The paths torvex-plot prints are not ours to report; its errors are.
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, STDOUT_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int runFitCommand(const std::vector<std::string>& args, const std::string& programPath) {
  FitOptions options;
  options.threads = usableCores();
  std::optional<std::string> output;
  std::string fitPath;
  bool quiet = false;
  bool checkOnly = false;
  for (std::size_t a = 0; a < args.size(); ++a) {
    const std::string& arg = args[a];
    if (arg == "--help" || arg == "-h") {
      std::cout << kFitHelp;
      return kExitOk;
    } else if (arg == "-j") {
      const std::optional<int> count = a + 1 < args.size() ? parseInteger(args[a + 1]) : std::nullopt;
      if (!count || *count < 1) return usage("-j needs a number of simultaneous runs (1 or more)");
      options.threads = *count;
      ++a;
    } else if (arg == "--output") {
      if (a + 1 >= args.size()) return usage("--output needs a folder");
      output = args[++a];
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--check") {
      checkOnly = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return usage(unknownOptionMessage(arg, {"--output", "--quiet", "--check", "--help"}));
    } else if (fitPath.empty()) {
      fitPath = arg;
    } else {
      return usage("more than one fit file given ('" + fitPath + "', '" + arg + "')");
    }
  }
  if (fitPath.empty()) return usage("no fit file given");

  FitConfig config;
  try {
    config = readFitConfig(fitPath);
    if (output) config.output = *output;
    checkFit(config);
  } catch (const InputError& error) {
    std::cerr << "Invalid input: " << error.what() << "\n";
    return kExitInvalid;
  } catch (const FatalModelError& error) {
    std::cerr << "Invalid input: " << error.what() << "\n";
    return kExitInvalid;
  }
  if (checkOnly) {
    std::cout << fitPath << ": " << config.parameters.size() << " parameter(s), " << config.profiles.size()
              << " measured profile(s); the case loads at the initial values.\n";
    return kExitOk;
  }
  if (const int cores = usableCores(); options.threads > cores) {
    std::cerr << "Note: -j " << options.threads << " is more than the " << cores << (cores == 1 ? " core" : " cores")
              << " this fit may use; " << cores << " runs go at a time.\n";
    options.threads = cores;
  }

  // The output folder is claimed before the first run: one that cannot be
  // written, or that another fit is writing into, is found now and not after
  // hours of runs.
  std::optional<OutputFolderLock> owner;
  try {
    owner.emplace(config.output, FileLock::Mode::Exclusive);
  } catch (const FolderBusyError& error) {
    std::cerr << "torvex-batch fit: " << error.what() << "\n";
    return kExitFolderBusy;
  } catch (const FileWriteError& error) {
    std::cerr << "torvex-batch fit: the report could not be written: " << error.what() << "\n";
    return kExitWriteFailed;
  }

  if (!quiet)
    options.progress = [&](int iteration, double cost, double step, const std::vector<double>& values) {
      std::cerr << "iteration " << iteration << "  cost " << formatGeneral(cost) << "  step " << formatGeneral(step);
      for (std::size_t k = 0; k < values.size(); ++k)
        std::cerr << "  " << (k < config.parameters.size() ? config.parameters[k].name : "shift_um") << " "
                  << formatGeneral(values[k]);
      std::cerr << std::endl;
    };
  options.interrupt = &interruptRequested;
  std::signal(SIGINT, onFitInterrupt);

  FitResult result;
  try {
    result = runFit(config, options);
  } catch (const InputError& error) {
    std::cerr << "Invalid input: " << error.what() << "\n";
    return kExitInvalid;
  } catch (const FatalModelError& error) {
    std::cerr << "Invalid input: " << error.what() << "\n";
    return kExitInvalid;
  }
  std::signal(SIGINT, SIG_DFL);
  std::cout << fitTable(result);
  try {
    writeFitReport(config, result);
  } catch (const InputError& error) {
    std::cerr << "torvex-batch fit: the report could not be written: " << error.what() << "\n";
    return kExitWriteFailed;
  }
  std::cout << "Report in " << config.output << "/ (fit.json, residuals.csv, case/)\n";

  const std::string plotter = findPlotter(programPath);
  if (!plotter.empty() && !result.interrupted) {
    for (std::size_t k = 0; k < config.profiles.size(); ++k) {
      const std::string folder = (std::filesystem::path(config.output) / ("run-" + std::to_string(k + 1))).string();
      try {
        runBestCase(config, result, k, folder);
      } catch (const std::exception& error) {
        std::cerr << "torvex-batch fit: the best run for the chart of " << config.profiles[k].file
                  << " failed: " << error.what() << "\n";
        continue;
      }
      const std::string charts = (std::filesystem::path(config.output) / ("overlay-" + std::to_string(k + 1))).string();
      if (!runProgram({plotter, folder, "--measured", config.profiles[k].file, "--shift-um",
                       formatGeneral(result.profiles[k].shiftUm), "--measured-time",
                       formatGeneral(config.profiles[k].timeS), "--out", charts}))
        std::cerr << "torvex-batch fit: torvex-plot could not draw " << charts << "\n";
      else
        std::cout << "Overlay charts of " << config.profiles[k].file << " in " << charts << "/\n";
    }
  }
  if (result.interrupted) return kExitInterrupted;
  return result.converged ? kExitOk : kExitNotConverged;
}

}  // namespace torvex
