// torvex-batch: the headless runner. It shares the simulation core with the
// desktop program and reports through standard output, standard error and
// its exit status.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "cli/batch_run.h"
#include "cli/case_summary.h"
#include "cli/command_line.h"
#include "cli/fit_command.h"
#include "cli/sweep_command.h"
#include "model/errors.h"
#include "model/number_format.h"
#include "model/sample_files.h"
#include "results/results_files.h"
#include "run/simulation.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitInvalidInput = 1;
constexpr int kExitUsage = 2;

// The help text; the results files are named as the results library names them.
const std::string kHelp = std::string(R"(Usage: torvex-batch [--pace] [--max-passes N] [--quiet] [--textual-formulas]
                    [--set KEY=VALUE]... [--param NAME=VALUE]... [--results DIR]
                    [--schedule FILE] [--output-times LIST] [--integrator rk|bdf]
                    [--sync-interval S] [--names LIST] [LIFE OPTIONS] CASE.dat
       torvex-batch --check [--set KEY=VALUE]... [--param NAME=VALUE]...
                    [--schedule FILE] [--output-times LIST] [--integrator rk|bdf]
                    [--names LIST] [LIFE OPTIONS] CASE.dat
       torvex-batch --report RESULTS_DIR
       torvex-batch sweep STUDY.toml [-j N] [--time-limit S] [--quiet]
       torvex-batch sweep STUDY.toml --slurm | --submit [--time T] [--mem M]
                    [--throttle K] [--partition P]
       torvex-batch sweep STUDY.toml --task I | --collect
       torvex-batch fit [-j N] [--output DIR] [--quiet] [--check] FIT.toml
       torvex-batch --write-samples DIR
       torvex-batch --help | --version
       torvex-batch sweep --help | fit --help

Torvex simulates one-dimensional interdiffusion in a multicomponent alloy.
This is its headless runner.

  CASE.dat              Run the case to its end time in the current working
                        directory: side files are read from there and the
                        results files are written to its folder "results", as
                        in the desktop program. Progress goes to standard
                        error (a bar on a terminal, a line every 10 s
                        otherwise); a summary goes to standard output.
                        Ctrl-C stops the run after the pass in hand and
                        writes the results. Besides the results files, a run
                        leaves )") +
                          std::string(torvex::kHistoryFile) +
                          R"( (the profile at every save),
                        )" +
                          std::string(torvex::kSeriesFile) + R"( (one row per accepted pass) and )" +
                          std::string(torvex::kRunReportFile) +
                          R"(
                        (how the run was made and ended, and its
                        verification checks); the checks are printed after
                        the summary, and one that warns does not change the
                        exit status.
  --sync-interval S     Make the results safe from a power cut (wait until
                        they are on the disk) at most every S seconds
                        (default 5; 0: at every save) and at the end of the
                        run. A killed process loses nothing either way.
  --pace                Sleep the case's per-pass delay (key D18) after every
                        pass, as the desktop program does. Off by default.
  --max-passes N        Stop after N passes (accepted and rejected), like the
                        STOP command; the results are written.
  --quiet               No progress report.
  --textual-formulas    Evaluate side-file formulas with variables by
                        substituting the values into the text and parsing it
                        anew at every evaluation, instead of from the formula
                        parsed once. The results are the same; this is the
                        slow reference, for comparisons and timing. Setting
                        the environment variable TORVEX_TEXTUAL_FORMULAS=1
                        does the same.
  --set KEY=VALUE       Replace the value line of key KEY (D0 … D9, D9a,
                        D10 … D23) before loading: --set D8=1373,
                        --set "D1=0 3600", --set "D9=1 couple.dfv". For D23
                        the profile rows are separated by ';'. Repeatable.
  --param NAME=VALUE    Put VALUE wherever {{NAME}} stands in the data file
                        and in the side files it names. Repeatable. A
                        placeholder without a value, or a parameter that no
                        file uses, is refused and nothing runs.
  --results DIR         Write the results files to DIR instead of "results".
                        Every run also writes the case as it was run (data
                        file and side files, after --set and --param) into
                        DIR/case, so that running DIR/case/CASE.dat repeats
                        it; side files are looked for beside the data file
                        first, then in the working directory.
  --schedule FILE       Follow a temperature schedule instead of the single
                        temperature of key D8: FILE is a CSV file with the
                        header time_s,T_K and rows of increasing time (s) and
                        temperature (K), read as a piecewise-linear T(t),
                        constant before the first row and after the last; two
                        rows at one time are a step. Every derivative
                        evaluation uses T at its own time (mobilities, the T
                        of side-file formulas, the built-in parameters, the
                        oxidation constants); no pass steps over a row's time.
                        )" +
                          std::string(torvex::kRunReportFile) +
                          R"( records the file, its SHA-256 and its rows.
  --output-times LIST   Also write the results at exactly these times (s):
                        a comma-separated list (600,1800,3600), an even
                        spacing start:stop:count (600:3600:6 gives every
                        600 s from 600 s on), or a file of times separated by
                        commas or line ends. A spacing that reads as written
                        from another habit (3600:39600:3600) is refused with
                        what it would mean. The run clips its step to land on each,
                        as on the end time; each must lie after the start and
                        not after the end of the run. )" +
                          std::string(torvex::kRunReportFile) +
                          R"( records them.
  --cycles TEXT         Thermal cycling, COUNT:HOT_S@T_HOT,COLD_S@T_COLD
                        [,ramp=UP_S[/DOWN_S]] (1000:3600@1373,600@300: 1000
                        cycles of 1 h at 1373 K and 10 min at 300 K). The
                        cycles follow the schedule's last row, or start at the
                        start of the run; passes land on every corner. Kept
                        as this text, so 10 000 cycles cost what one does.
  --spall Q0[,ALPHA]    At every cool-down the retained oxide scale of
                        thickness X loses the fraction Q0 (X / 1 um)^ALPHA of
                        it (at most all); needs --cycles and D21 = 2.
  --oxide NU[,M_OX]     The scale holds NU oxygen atoms per atom of component
                        1 (1.5 for M2O3), M_OX g/mol each (default 15.999):
                        series.csv and the report get the specific mass change
                        (mg/cm^2, oxygen retained minus metal spalled).
  --critical COND       End of life: the run stops when the condition first
                        holds (N1<0.04: component 1 at the oxidising surface;
                        min(N1)<0.04: anywhere; N3>0.5, max(N3)>0.5), with
                        the time interpolated between passes; exit 0. The
                        summary and the report give the life (life_s), or
                        "not reached".
  --receding            The oxidising surface recedes: the sample's length
                        shrinks by the volume of the metal the scale takes,
                        the grid contracts with it, and no alloy refills the
                        surface. Every inventory is kept to round-off;
                        series.csv gets length_cm and the report the final
                        length. Needs D21 = 2, D16 = 3, D15 = 1 and
                        --integrator rk.
  --integrator rk|bdf   How the profile is integrated in time. rk (the
                        default): the explicit Cash-Karp loop, every pass
                        within the concentration error D4 at every point,
                        steps from D3 to D5. bdf: the implicit BDF method
                        with a banded Jacobian, one pass per step, for fine
                        grids and long anneals; D4 gives its tolerances
                        (absolute D4 mol/cm3, relative D4 divided by the
                        largest total concentration), D3 is its first step
                        and D5 its largest, D6 and D7 are not used. )" +
                          std::string(torvex::kRunReportFile) + R"(
                        records it and its work.
  --names LIST          Name the components, in their order: --names Cu,Fe,Ni.
                        The names go beside the numbers in )" +
                          std::string(torvex::kHistoryFile) + R"( (a
                        column "name"), into the headers of )" +
                          std::string(torvex::kSeriesFile) + R"(, into
                        )" +
                          std::string(torvex::kRunReportFile) +
                          R"( and onto the charts. Each starts with a
                        letter and holds letters, digits and '_'; one per
                        component, all different. The data file is not
                        changed.
  --check CASE.dat      Load the input data file CASE.dat and the side files it
                        names (relative names resolve against the current
                        working directory, as in the desktop program), then
                        print a short summary of the case with the
                        temperature, schedule and output times the run would
                        follow and whether the temperature can act on it, or
                        the error that makes it invalid (including switch
                        values the solver has no equations for, run settings
                        no run can use and values that describe no physical
                        case, as a run would refuse them).
  --report RESULTS_DIR  Print the outcome, the schedule and output times (when
                        the run had them) and the verification checks of the
                        run whose results are in RESULTS_DIR (its )" +
                          std::string(torvex::kRunReportFile) +
                          R"().
  sweep STUDY.toml      Run a parameter study (see 'torvex-batch sweep --help'
                        and docs/studies.md): every case
                        is rendered into OUTPUT/cases/NNNN/ and run there as
                        a torvex-batch process of its own, N at a time (-j N;
                        default: the study's jobs, else the number of cores);
                        OUTPUT/summary.csv gets a row per case. Rerunning
                        skips the cases that completed with the same inputs
                        and whose results are still those recorded.
                        --time-limit S stops a case after S seconds (as by
                        Ctrl-C; at least 0.001). Ctrl-C stops the running
                        cases, their results written; exit 130. The sweep
                        owns OUTPUT while it runs (OUTPUT/torvex.lock); its
                        runs end with it. Exit 0 when every case completed,
                        3 when one did not, 1 for a study that cannot run
                        (nothing runs then), 4 when OUTPUT cannot be
                        written, 5 when another sweep or fit holds it.
    --slurm             Write OUTPUT/sweep.sbatch, a Slurm job array of one
                        task per case (--time, --mem, --throttle, --partition
                        override the study's [slurm] table); --submit also
                        submits it with sbatch and prints the job id.
    --task I            Run case I alone (what array task I does).
    --collect           Write OUTPUT/summary.csv from the case folders and
                        name the cases that have not run (exit 3 then).
  fit FIT.toml          Fit named case parameters to measured profiles; see
                        'torvex-batch fit --help'.
  --write-samples DIR   Write the seven sample files (interdiffusion.dat,
                        oxidation.dat, oxid_diff.dfv, inter_diff.dfv,
                        activities.act, fluxes_funct.flx, oxid_flux.flx) into
                        the existing directory DIR, replacing files of the same
                        names.
  --help                Show this text.
  --version             The version, source revision, build type and vector
                        path of this program, and how to cite it.

Exit status: 0 success, 1 invalid input or a fatal model error (the message
goes to standard error), 2 wrong usage, 3 the run went numerically wrong (a
pass started from NaN or an infinite value, which no smaller step can mend, or
the final profile holds one, or the step shrank until it could no longer move
the clock; the results are still written), 4 a results file could not
be written (the message names it and the reason; the run ends there, the
files that can be written are, the others keep their last complete version),
130 stopped by Ctrl-C.
)";

// The options of a run, for suggestions after a typo.
const std::vector<std::string_view> kRunOptions = {
    "--pace",    "--max-passes",    "--quiet",        "--textual-formulas", "--set",    "--param",
    "--results", "--schedule",      "--output-times", "--sync-interval",    "--check",  "--report",
    "--help",    "--write-samples", "--version",      "--integrator",       "--cycles", "--spall",
    "--oxide",   "--critical",      "--names",        "--receding"};

int usageError(const std::string& message) {
  std::cerr << "torvex-batch: " << message << "\nTry 'torvex-batch --help'.\n";
  return kExitUsage;
}

int checkCase(torvex::BatchRunOptions options) {
  const std::string path = options.casePath;
  // A changed case is loaded from memory, and messages name its files as
  // the user's (their lines are the same); nothing is written.
  options.renderDirectory = "";
  torvex::Simulation sim;
  try {
    torvex::loadBatchCase(sim, options);
    sim.input.validate();
  } catch (const torvex::FatalModelError& error) {
    std::cout.flush();
    std::cerr << error.what() << "\n";
    if (!error.detail().empty()) std::cerr << error.detail() << "\n";
    return kExitInvalidInput;
  } catch (const torvex::InputError& error) {
    std::cout.flush();
    std::cerr << "Invalid input: " << error.what() << "\n";
    return kExitInvalidInput;
  }
  std::cout << torvex::describeCase(sim.input, path, torvex::temperatureChosen(options));
  if (!options.overrides.empty() || !options.parameters.empty())
    std::cout << "With " << options.overrides.size() << " key override(s) and " << options.parameters.size()
              << " parameter(s) applied.\n";
  return kExitOk;
}

int writeSamples(const std::string& directory) {
  try {
    torvex::WriteSampleFiles(directory);
  } catch (const torvex::InputError& error) {
    std::cerr << "torvex-batch: " << error.what() << "\n";
    return kExitInvalidInput;
  }
  std::cout << "Wrote the seven sample files into " << directory << "\n";
  return kExitOk;
}

// Parses the options of a run; returns the usage error, or an empty text.
std::string parseRunOptions(const std::vector<std::string>& args, torvex::BatchRunOptions& options) {
  options.progress = isatty(STDERR_FILENO) ? torvex::ProgressStyle::Bar : torvex::ProgressStyle::Lines;
  const char* textual = std::getenv("TORVEX_TEXTUAL_FORMULAS");
  options.textualFormulas = textual != nullptr && std::string_view(textual) == "1";
  for (std::size_t a = 0; a < args.size(); ++a) {
    const std::string& arg = args[a];
    if (arg == "--pace") {
      options.pace = true;
    } else if (arg == "--quiet") {
      options.progress = torvex::ProgressStyle::Quiet;
    } else if (arg == "--textual-formulas") {
      options.textualFormulas = true;
    } else if (arg == "--receding") {
      options.life.receding = true;
    } else if (arg == "--cycles" || arg == "--spall" || arg == "--oxide" || arg == "--critical") {
      if (a + 1 >= args.size()) return arg + " needs a value";
      torvex::LifeOptionTexts& life = options.life;
      (arg == "--cycles"  ? life.cycles
       : arg == "--spall" ? life.spall
       : arg == "--oxide" ? life.oxide
                          : life.critical)
          .text = args[++a];
    } else if (arg == "--set" || arg == "--param" || arg == "--results" || arg == "--schedule" ||
               arg == "--output-times" || arg == "--names") {
      if (a + 1 >= args.size()) return arg + " needs a value";
      const std::string& value = args[++a];
      if (arg == "--set")
        options.overrides.push_back(torvex::parseKeyOverride(value));
      else if (arg == "--param")
        options.parameters.push_back(torvex::parseCaseParameter(value));
      else if (arg == "--schedule")
        options.schedulePath = value;
      else if (arg == "--output-times")
        options.outputTimes = value;
      else if (arg == "--names")
        options.componentNames = value;
      else
        options.resultsDirectory = value;
    } else if (arg == "--integrator") {
      const std::optional<torvex::Integrator> integrator =
          a + 1 < args.size() ? torvex::integratorNamed(args[a + 1]) : std::nullopt;
      if (!integrator)
        return "--integrator needs rk or bdf" + (a + 1 < args.size() ? ", not '" + args[a + 1] + "'" : std::string());
      options.integrator = *integrator;
      ++a;
    } else if (arg == "--check") {
      options.checkOnly = true;
    } else if (arg == "--sync-interval") {
      const std::optional<double> seconds = a + 1 < args.size() ? torvex::parseReal(args[a + 1]) : std::nullopt;
      if (!seconds || !(*seconds >= 0) || !(*seconds <= 86400))
        return "--sync-interval needs a number of seconds from 0 to 86400";
      options.syncIntervalSeconds = *seconds;
      ++a;
    } else if (arg == "--max-passes") {
      const std::optional<int> count = a + 1 < args.size() ? torvex::parseInteger(args[a + 1]) : std::nullopt;
      if (!count || *count < 0) return "--max-passes needs a number of passes (0 or more)";
      options.maxPasses = *count;
      ++a;
    } else if (arg == "--help" || arg == "--version" || arg == "--report" || arg == "--write-samples") {
      return "'" + arg + "' is a command of its own: torvex-batch " + arg +
             (arg == "--report"          ? " RESULTS_DIR"
              : arg == "--write-samples" ? " DIR"
                                         : "");
    } else if (!arg.empty() && arg[0] == '-') {
      return torvex::unknownOptionMessage(arg, kRunOptions);
    } else if (options.casePath.empty()) {
      options.casePath = arg;
    } else {
      return "more than one case given ('" + options.casePath + "', '" + arg + "')";
    }
  }
  return options.casePath.empty() ? "no case given" : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  // A file size limit (ulimit -f) would otherwise kill the process in the
  // middle of a save; ignored, the write fails and the save is reported.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
      std::cout << kHelp;
      return kExitOk;
    }
    if (args.size() == 1 && args[0] == "--version") {
      std::cout << torvex::versionText("torvex-batch");
      return kExitOk;
    }
    if (args.size() == 2 && args[0] == "--write-samples") return writeSamples(args[1]);
    if (args.size() == 2 && args[0] == "--report") return torvex::printRunReport(args[1]);
    if (args.empty()) return usageError("no command given");
    if (args[0] == "fit") return torvex::runFitCommand({args.begin() + 1, args.end()}, argv[0]);
    if (args[0] == "sweep") return torvex::runSweepCommand({args.begin() + 1, args.end()}, argv[0]);
    if (args[0] == "--write-samples" || args[0] == "--report")
      return usageError("incomplete command '" + args[0] + "'");
    torvex::BatchRunOptions options;
    options.commandLine.assign(argv, argv + argc);
    try {
      if (const std::string error = parseRunOptions(args, options); !error.empty()) {
        if (options.checkOnly && options.casePath.empty()) return usageError("incomplete command '--check'");
        return usageError(error);
      }
    } catch (const torvex::InputError& error) {
      // A --set or --param that cannot mean anything: invalid input.
      std::cerr << "Invalid input: " << error.what() << "\n";
      return kExitInvalidInput;
    }
    return options.checkOnly ? checkCase(options) : torvex::runBatchCase(options);
  } catch (const std::exception& error) {
    std::cerr << "torvex-batch: internal error: " << error.what() << "\n";
    return kExitInvalidInput;
  }
}
