#pragma once
// Least-squares fit of a case's named parameters to measured profiles.
//
// Each residual is a simulated minus a measured percentage at a measured
// point, the simulated profile interpolated linearly onto the measured
// position (shifted by the profile's x shift), divided by the stated
// uncertainty and multiplied by the square root of the weight. Every
// evaluation runs the case (rendered with the parameter values in memory) once per
// distinct anneal time. The minimiser is Levenberg-Marquardt with bounds;
// derivatives with respect to the case parameters are central differences
// (in ln of a log-scale parameter), whose runs go to parallel threads;
// derivatives with respect to an x shift are the slopes of the interpolated
// profile, which need no run.

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/measured_profile.h"
#include "study/fit_config.h"

namespace torvex {

struct FitOptions {
  int threads = 1;
  // Set from a signal handler: no new run starts, the fit ends with the best
  // point so far.
  const std::atomic<bool>* interrupt = nullptr;
  // Called after every iteration of the minimiser.
  std::function<void(int iteration, double cost, double stepNorm, const std::vector<double>& values)> progress;
};

struct FittedValue {
  std::string name;  // the parameter, or "shift: FILE"
  double value = 0.0;
  double initial = 0.0;
  std::optional<double> standardError;  // none when the data do not determine it
  bool logScale = false;
  bool atBound = false;
};

struct ProfileReport {
  std::string file;
  double timeS = 0.0;
  double shiftUm = 0.0;
  double rmsPercent = 0.0;  // of simulated minus measured, unweighted
  std::size_t points = 0;   // residuals (points times components)
};

struct ResidualRow {
  std::size_t profile = 0;
  int component = 0;  // 0-based
  double xUm = 0.0;   // measured position, shift included
  double measured = 0.0;
  double simulated = 0.0;
};

struct FitResult {
  std::vector<FittedValue> values;  // the parameters, then the fitted shifts
  // Correlation of the determined values, [values][values]; NaN where a value
  // is undetermined.
  std::vector<std::vector<double>> correlation;
  std::string covarianceNote;  // why standard errors are missing, if they are
  std::vector<ProfileReport> profiles;
  std::vector<ResidualRow> residuals;
  double cost = 0.0;  // half the sum of squared (weighted) residuals
  int iterations = 0;
  long long runs = 0;
  double wallSeconds = 0.0;
  bool interrupted = false;
  bool converged = false;
  std::string termination;                    // the minimiser's message
  std::vector<CaseParameter> bestParameters;  // as rendered into the best runs
};

// Checks the fit before any run: reads the measured profiles, renders and
// loads the case at the initial values (refusing a parameter the case does
// not use, a case that does not load), refuses a measured point outside the
// sample and a time beyond the case's end time (key D1). Throws InputError
// naming the parameter, file or key.
void checkFit(const FitConfig& config);

// Runs the fit (checkFit first). Throws InputError for bad input; a run that
// fails at the initial values is an InputError too.
FitResult runFit(const FitConfig& config, const FitOptions& options);

// Writes fit.json, residuals.csv and the best-fit case (case/, run to the
// latest measured time) into config.output. Throws FileWriteError.
void writeFitReport(const FitConfig& config, const FitResult& result);

// The report as a table for a terminal.
std::string fitTable(const FitResult& result);

// The value as a parameter is rendered into the case: the shortest text that
// reads back as the same double.
std::string parameterText(double value);

}  // namespace torvex

namespace torvex {

// Runs the best-fit case to the anneal time of profile `profile` with its
// results files written into `folder` (the case rendered into folder/case),
// for charts. Throws what a run throws.
void runBestCase(const FitConfig& config, const FitResult& result, std::size_t profile, const std::string& folder);

}  // namespace torvex
