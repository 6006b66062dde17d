#include "cli/batch_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/case_summary.h"
#include "model/component_names.h"
#include "model/errors.h"
#include "model/heat_treatment.h"
#include "model/number_format.h"
#include "model/text_list.h"
#include "results/non_finite.h"
#include "results/results_files.h"
#include "results/run_report.h"
#include "run/integrator.h"
#include "run/refresh.h"
#include "run/run_journal.h"
#include "run/simulation.h"
#include "run/temperature_effect.h"
#include "solver/evaluate_derivative.h"
#include "solver/face_fluxes.h"

namespace torvex {

namespace {

// Ctrl-C asks the run to stop like the STOP command: the pass in hand is
// finished, the results are written, and a second Ctrl-C ends the process at
// once (the handler is reset after the first).
std::atomic<std::uint8_t>* gStopFlag = nullptr;
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void onInterrupt(int) {
  gInterrupted = 1;
  if (gStopFlag != nullptr) gStopFlag->store(1);
}

class InterruptGuard {
 public:
  explicit InterruptGuard(std::atomic<std::uint8_t>& flag) {
    gStopFlag = &flag;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptGuard() {
    sigaction(SIGINT, &previous_, nullptr);
    gStopFlag = nullptr;
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction previous_ {};
};

class BatchHost : public DirectRunHost {
 public:
  BatchHost(Simulation& sim, const BatchRunOptions& options, const RenderedCase& rendered)
      : DirectRunHost(sim), options_(options), rendered_(rendered), progress_(options.progress, stderr) {}

  void afterPass(int delayMilliseconds) override {
    if (options_.pace && delayMilliseconds > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMilliseconds));
    if (!nonFinite_.seen) lookForNonFinite();
    if (options_.maxPasses && sim_.state.stepCount >= *options_.maxPasses) sim_.state.stopRequested = 1;
    progress_.update(sim_.input, sim_.state);
  }

  // A save that fails ends the run (its error leaves Refresh). The final save
  // writes every file it still can (EndOfRunWritingEveryFile).
  void EndOfRun(const RunSummary& summary) override {
    struct RaiseStopFlag {
      RunState& s;
      ~RaiseStopFlag() { s.stopRequested = 1; }
    } raise{sim_.state};
    saveFailures_ = EndOfRunWritingEveryFile(sim_, summary);
    if (!saveFailures_.empty()) throw FileWriteError(saveFailures_.front());
    // The case as it was run, beside its results: running this copy repeats
    // the run. Written after the results, so a full disk names those first.
    try {
      writeRenderedCase(rendered_, renderedCaseDirectory(options_));
    } catch (const FileWriteError& error) {
      saveFailures_.emplace_back(error.what());
      throw;
    }
  }

  // The messages of the files the final save could not write.
  [[nodiscard]] const std::vector<std::string>& saveFailures() const { return saveFailures_; }
  [[nodiscard]] const NonFiniteValue& nonFinite() const { return nonFinite_; }
  [[nodiscard]] ProgressReporter& progress() { return progress_; }

  // The profile after the run, checked once more (a failure may have left
  // non-finite values without a completed pass).
  void lookForNonFinite() {
    const RunState& s = sim_.state;
    for (int i = 0; i < sim_.input.componentCount; ++i)
      for (int k = 0; k < sim_.input.pointCount; ++k)
        if (!std::isfinite(s.concentration[i][k])) {
          nonFinite_ = {.seen = true,
                        .inRates = false,
                        .component = i,
                        .point = k,
                        .value = s.concentration[i][k],
                        .time = s.currentTime,
                        .pass = s.stepCount,
                        .formula = {}};
          return;
        }
  }

 private:
  const BatchRunOptions& options_;
  const RenderedCase& rendered_;
  ProgressReporter progress_;
  NonFiniteValue nonFinite_;
  std::vector<std::string> saveFailures_;
};

const char* describeEnd(RunEnd end) {
  switch (end) {
    case RunEnd::Completed: return "the run reached its end time";
    case RunEnd::NoPass:
      return "no pass ran (the time step is 0 or the run starts after its end); "
             "the results hold the initial profile";
    case RunEnd::Stopped: return "the run was stopped before its end time";
    case RunEnd::StepVanished:
      return "the time step shrank until it could no longer move the clock, before the end time";
    case RunEnd::NonFinite: return "the run stopped at a pass that started from a non-finite value";
    case RunEnd::Failed: return "the run failed";
    case RunEnd::CriticalContent: return "the run reached its critical content (end of life)";
  }
  return "";
}

// The conservative scheme: its frame, and the amount of every component at
// the start and at the end beside what crossed the ends, so that a change
// the fluxes do not account for (the per-pass normalisation, the molar-ratio
// floor) shows.
void printConservation(const Simulation& sim, const std::vector<double>& startInventory) {
  std::cout << "  reference frame   " << kConservativeFrameText << "\n";
  for (int i = 0; i < sim.input.componentCount; ++i) {
    const double start = startInventory[static_cast<std::size_t>(i)];
    const double end = inventory(sim.input, sim.state, i);
    std::cout << "  component " << formatInteger(i + 1) << " inventory start " << formatGeneral(start) << ", end "
              << formatGeneral(end) << " mol/cm^2, change " << formatGeneral(end - start) << " (relative "
              << formatGeneral((end - start) / start) << "), in through the ends "
              << formatGeneral(sim.state.wallInflow[static_cast<std::size_t>(i)]) << "\n";
  }
}

void printSummary(const Simulation& sim, const RunSummary& summary, const std::string& path, double wallSeconds) {
  const Case& c = sim.input;
  const RunState& s = sim.state;
  std::error_code ignored;
  const auto results = std::filesystem::absolute(sim.resultsDirectory.value_or(""), ignored).string();
  std::cout << "Run of " << path << ": " << describeEnd(summary.end) << ".\n"
            << "  passes            " << formatInteger(summary.acceptedPasses + summary.rejectedPasses) << " ("
            << formatInteger(summary.acceptedPasses) << " accepted, " << formatInteger(summary.rejectedPasses)
            << " rejected)\n"
            << "  final time        " << formatGeneral(s.currentTime) << " s (end time " << formatGeneral(c.endTime)
            << " s)\n"
            << "  largest step      " << formatGeneral(s.largestTimeStep) << " s\n"
            << "  Kirkendall plane  " << formatGeneral(s.kirkendallPosition) << " cm\n"
            << "  wall time         " << formatDuration(wallSeconds) << "\n"
            << "  results           " << results << "\n";
}

// The verification checks, one line each, after the summary.
void printChecks(const std::vector<RunCheck>& checks) {
  if (checks.empty()) return;
  std::cout << "Checks:\n";
  for (const RunCheck& check : checks) std::cout << "  " << describeCheck(check) << "\n";
}

// A save that failed: which files, why, and what the results folder holds.
int reportSaveFailure(const RunState& s, const std::string& first, const std::vector<std::string>& finalFailures) {
  std::cerr << "torvex-batch: the results could not be saved: " << first << "\n";
  for (const std::string& failure : finalFailures)
    if (failure != first) std::cerr << "torvex-batch: the results could not be saved: " << failure << "\n";
  std::cerr << "torvex-batch: the run ended at t = " << formatGeneral(s.currentTime)
            << " s; the results files that could be written hold the profile of that time, any other keeps its "
               "last complete version\n";
  return kExitSaveFailed;
}

// The message of a failure that is a results file that could not be written.
std::optional<std::string> saveFailureOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const FileWriteError& error) {
    return std::string(error.what());
  } catch (...) {
    return std::nullopt;
  }
}

// The failure that ended a run, on standard error; its exit status.
int reportFailure(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const FatalModelError& error) {
    std::cerr << error.what() << "\n";
    if (!error.detail().empty()) std::cerr << error.detail() << "\n";
  } catch (const InputError& error) {
    std::cerr << "Invalid input: " << error.what() << "\n";
  } catch (const std::exception& error) {
    std::cerr << "torvex-batch: the run failed: " << error.what() << "\n";
  }
  return kExitRunInvalid;
}

// The schedule and the output times of the options, into the loaded case.
void installHeatTreatment(Case& c, const BatchRunOptions& options) {
  c.heatTreatment = HeatTreatment();
  if (!options.schedulePath.empty())
    c.heatTreatment.schedule = std::make_shared<const TemperatureSchedule>(readScheduleFile(options.schedulePath));
  if (!options.outputTimes.empty())
    c.heatTreatment.outputTimes = outputTimesWithin(parseOutputTimes(options.outputTimes), c.startTime, c.endTime);
  installLifeOptions(c.heatTreatment, options.life, c.startTime);
}

// The life of a life run and its scale's books, after the summary.
void printLife(const RunReport& report) {
  if (!report.life) return;
  const LifeRecord& life = *report.life;
  if (!life.condition.empty())
    std::cout << "  life              " << describeLife(life) << " (" << life.condition << ")\n";
  if (life.receding)
    std::cout << "  receding surface  " << formatGeneral(life.startLength - life.length)
              << " cm consumed, sample length " << formatGeneral(life.length) << " cm (from "
              << formatGeneral(life.startLength) << " cm)\n";
  if (!life.scale) return;
  std::cout << "  scale             " << formatGeneral(life.retainedThickness) << " cm retained, "
            << formatInteger(life.spalls) << " spalls, " << formatGeneral(life.spalledMetal)
            << " mol/cm^2 of component 1 spalled, " << formatGeneral(life.consumedMetal) << " mol/cm^2 consumed\n";
  if (!life.oxide.empty())
    std::cout << "  mass change       " << formatGeneral(life.massChange) << " mg/cm^2 (oxygen "
              << formatGeneral(life.oxygenGain) << ", spalled metal " << formatGeneral(life.spallLoss) << ")\n";
}

}  // namespace

bool temperatureChosen(const BatchRunOptions& options) {
  return !options.schedulePath.empty() || options.life.cycles.text ||
         std::any_of(options.overrides.begin(), options.overrides.end(),
                     [](const KeyOverride& override) { return override.key == DataKey::D8; });
}

std::string renderedCaseDirectory(const BatchRunOptions& options) {
  return options.resultsDirectory + "/" + kRenderedCaseFolder;
}

RenderedCase loadBatchCase(Simulation& sim, const BatchRunOptions& options) {
  sim.resultsDirectory = options.resultsDirectory;
  // Rendering first also refuses a template whose placeholders have no value.
  RenderedCase rendered = renderCase(options.casePath, options.overrides, options.parameters);
  const bool changed = rendered.dataFile.changed || std::any_of(rendered.sideFiles.begin(), rendered.sideFiles.end(),
                                                                [](const RenderedFile& file) { return file.changed; });
  if (!changed) {
    sim.load(options.casePath, {.sideFileDirectory = std::filesystem::path(options.casePath).parent_path().string()});
  } else {
    const std::string directory = options.renderDirectory.value_or(renderedCaseDirectory(options));
    // A run keeps the case it runs beside its results from the start.
    if (!options.checkOnly) writeRenderedCase(rendered, directory);
    try {
      sim.load(loadRenderedCase(rendered, directory));
    } catch (...) {
      sim.clear();
      throw;
    }
  }
  installHeatTreatment(sim.input, options);
  sim.input.componentNames = parseComponentNames(options.componentNames, sim.input.componentCount, "--names");
  sim.input.integrator = options.integrator;
  return rendered;
}

int runBatchCase(const BatchRunOptions& options) {
  Simulation sim;
  sim.state.formulas.compiled = !options.textualFormulas;
  sim.writer.sync.setInterval(options.syncIntervalSeconds);
  RenderedCase rendered;
  try {
    rendered = loadBatchCase(sim, options);
    sim.input.validate();
    // A results folder that cannot be written is found now, not at the
    // first save after the run has started.
    MakeWritableFolder(options.resultsDirectory);
  } catch (const FileWriteError& error) {
    std::cerr << "torvex-batch: the results cannot be saved: " << error.what() << "\n";
    return kExitSaveFailed;
  } catch (const std::exception&) {
    std::cout.flush();
    return reportFailure(std::current_exception());
  }
  const Case& c = sim.input;
  const RunState& s = sim.state;

  std::vector<double> startInventory;
  if (c.differenceScheme == DifferenceScheme::Conservative)
    for (int i = 0; i < c.componentCount; ++i) startInventory.push_back(inventory(c, s, i));

  RunProvenance provenance{
      .program = "torvex-batch", .commandLine = options.commandLine, .overrides = {}, .parameters = {}};
  for (const KeyOverride& override : options.overrides)
    provenance.overrides.push_back({keyName(override.key), override.value});
  for (const CaseParameter& parameter : options.parameters)
    provenance.parameters.push_back({parameter.name, parameter.value});
  sim.journal.setProvenance(std::move(provenance));
  BatchHost host(sim, options, rendered);
  RunSummary summary;
  {
    InterruptGuard guard(sim.state.stopRequested);
    summary = Execute(sim, host);
  }
  host.progress().finish();
  std::cout.flush();
  if (!host.nonFinite().seen) host.lookForNonFinite();

  printSummary(sim, summary, options.casePath, host.progress().elapsedSeconds());
  std::cout << describeHeatTreatment(HeatTreatmentOf(c), s.currentTime);
  // A case the temperature cannot act on is told so after every run: its
  // results would be the same at any temperature, or vary backwards.
  if (const TemperatureEffect effect = temperatureEffect(c); !effect.acts())
    std::cout << "  effect of T       " << describeTemperatureEffect(effect, temperatureChosen(options)) << "\n";
  if (c.differenceScheme == DifferenceScheme::Conservative) printConservation(sim, startInventory);
  if (const RunReport* report = sim.journal.lastReport()) {
    printLife(*report);
    printChecks(report->checks);
  }
  std::cout.flush();
  if (summary.failure) {
    if (const auto saveFailure = saveFailureOf(summary.failure))
      return reportSaveFailure(s, *saveFailure, host.saveFailures());
    return reportFailure(summary.failure);
  }
  if (summary.end == RunEnd::NonFinite) {
    std::cerr << "torvex-batch: " << describeNonFinite(summary.nonFinite, s.position) << "\n";
    return kExitRunWentWrong;
  }
  if (host.nonFinite().seen) {
    std::cerr << "torvex-batch: " << describeNonFiniteProfile(host.nonFinite(), s.position) << "\n";
    return kExitRunWentWrong;
  }
  if (summary.end == RunEnd::StepVanished) {
    std::cerr << "torvex-batch: " << describeEnd(summary.end) << " at t = " << formatGeneral(s.currentTime) << " s\n";
    return kExitRunWentWrong;
  }
  if (gInterrupted != 0) return kExitRunInterrupted;
  return kExitRunComplete;
}

int printRunReport(const std::string& resultsDirectory) {
  RunReport report;
  try {
    report = readRunReport(resultsDirectory);
  } catch (const InputError& error) {
    std::cerr << "torvex-batch: " << error.what() << "\n";
    return kExitRunInvalid;
  } catch (const std::bad_alloc&) {
    std::cerr << "torvex-batch: " << resultsDirectory << "/" << kRunReportFile
              << ": not enough memory to read the run report\n";
    return kExitRunInvalid;
  }
  const RunOutcome& o = report.outcome;
  std::string data;
  for (const InputFileDigest& file : report.inputFiles)
    if (file.role == "data") data = file.path;
  std::cout << "Run of " << (data.empty() ? std::string("an unnamed case") : data) << " (" << report.provenance.program
            << " " << report.version << ", revision " << report.gitRevision << ", started " << report.startedUtc
            << "): " << (o.message.empty() ? o.end : o.message) << ".\n"
            << "  passes            " << formatInteger(o.acceptedPasses + o.rejectedPasses) << " ("
            << formatInteger(o.acceptedPasses) << " accepted, " << formatInteger(o.rejectedPasses) << " rejected)\n"
            << "  final time        " << formatGeneral(o.finalTime) << " s (end time " << formatGeneral(o.endTime)
            << " s)\n"
            << "  wall time         " << formatDuration(o.wallSeconds) << "\n";
  if (!report.componentNames.empty()) {
    std::string names;
    for (const std::string& name : report.componentNames) names += (names.empty() ? "" : ", ") + name;
    std::cout << "  components        " << names << "\n";
  }
  std::cout << describeHeatTreatment(report.heatTreatment, o.finalTime);
  printLife(report);
  printChecks(report.checks);
  return kExitRunComplete;
}

}  // namespace torvex
