#include "study/fit.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include <ceres/ceres.h>
#include <nlohmann/json.hpp>

#include "model/data_file_keys.h"
#include "model/errors.h"
#include "model/number_format.h"
#include "results/results_files.h"
#include "results/units.h"
#include "run/integrator.h"
#include "run/refresh.h"
#include "run/run_records.h"
#include "run/simulation.h"
#include "solver/evaluate_derivative.h"
#include "study/case_template.h"
#include "study/output_folder.h"

namespace torvex {

std::string parameterText(double value) {
  return formatShortest(value);
}

namespace {

namespace fs = std::filesystem;

// A number for the table: `digits` significant digits, full stop, shortest form.
std::string brief(double value, int digits = 4) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits).ptr;
  return std::string(buffer, end);
}

// A profile of a run: positions (cm) and percentages per component.
struct SimProfile {
  std::vector<double> x;
  std::vector<std::vector<double>> atomic;
  std::vector<std::vector<double>> weight;
};

SimProfile profileOf(const Case& c, const std::vector<double>& position, const Table2<double>& concentration) {
  const Table2<double> atomic = atomicPercent(concentration);
  const Table2<double> weight = weightPercent(concentration, c.molarMass);
  SimProfile profile;
  profile.x = position;
  for (int i = 0; i < c.componentCount; ++i) {
    profile.atomic.emplace_back(atomic[i], atomic[i] + c.pointCount);
    profile.weight.emplace_back(weight[i], weight[i] + c.pointCount);
  }
  return profile;
}

SimProfile profileOf(const Case& c, const RunState& s) {
  return profileOf(c, s.position, s.concentration);
}

// A run's hand-overs without the results files and the window: the fit needs
// only the profiles at the output times (the earlier measured times) and the
// one the run ends with. The Kirkendall plane and the boundary records still
// move as in any run, so the run is the same run.
class FitRunHost : public RunHost {
 public:
  FitRunHost(Simulation& sim, long long passLimit) : sim_(sim), passLimit_(passLimit) {}
  void InitRecords() override { torvex::InitRecords(sim_.input, sim_.state, sim_.records); }
  void EvaluateDerivative() override { torvex::EvaluateDerivative(sim_.input, sim_.state); }
  void Refresh() override {
    const Case& c = sim_.input;
    RunState& s = sim_.state;
    AdvanceKirkendallPlane(c, s, sim_.records);
    if (c.boundaryFlux != BoundaryFlux::None) AppendBoundaryFluxLine(c, s, sim_.records);
    if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation) AppendFluxComparisonLine(c, s, sim_.records);
    if (s.atOutputTime) atOutputTimes_.push_back(profileOf(c, s));
  }
  void EndOfRun(const RunSummary&) override { sim_.state.stopRequested = 1; }
  // A trial step of the minimiser can ask for a diffusivity so large that
  // the stable time step becomes tiny and the run would take hours; such a
  // run is given up and the step counts as failed, so the minimiser takes a
  // shorter one.
  void afterPass(int) override {
    if (passLimit_ > 0 && ++passes_ > passLimit_) sim_.state.stopRequested = 1;
  }
  [[nodiscard]] long long passes() const { return passes_; }
  // The profiles at the output times the run passed, in time order.
  [[nodiscard]] std::vector<SimProfile>& atOutputTimes() { return atOutputTimes_; }

 private:
  Simulation& sim_;
  std::vector<SimProfile> atOutputTimes_;
  long long passLimit_;
  long long passes_ = 0;
};

// One run's profiles, one per distinct anneal time: the last at the end of
// the run, the others at its output times.
using RunProfiles = std::vector<SimProfile>;

struct Prepared {
  FitConfig config;
  // The case files, read once; every run renders them in memory.
  std::shared_ptr<const CaseTemplate> caseTemplate;
  SimProfile initial;                     // the profile every run starts from, at the initial values
  std::vector<MeasuredProfile> measured;  // positions as in the files (no shift)
  std::vector<double> times;              // distinct anneal times, ascending
  std::vector<std::size_t> timeOf;        // per profile, index into times
  double startTime = 0.0;
  std::vector<KeyOverride> runOverrides;  // the user's, without D1 and D4
  std::size_t residualCount = 0;
  std::vector<std::size_t> shiftOf;  // per profile: index among the values, or npos
  std::size_t valueCount = 0;        // parameters plus fitted shifts
};

class RunFailure : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::vector<KeyOverride> overridesFor(const Prepared& p, double time) {
  std::vector<KeyOverride> overrides = p.runOverrides;
  overrides.push_back({DataKey::D1, parameterText(p.startTime) + " " + parameterText(time)});
  if (p.config.concentrationError) overrides.push_back({DataKey::D4, parameterText(*p.config.concentrationError)});
  return overrides;
}

std::vector<CaseParameter> parametersFor(const FitConfig& config, const std::vector<double>& values) {
  std::vector<CaseParameter> parameters;
  for (std::size_t k = 0; k < config.parameters.size(); ++k)
    parameters.push_back({config.parameters[k].name, parameterText(values[k])});
  return parameters;
}

// The names the fit's schedule and output times use, which count as used
// by the case.
std::set<std::string> usedByHeatTreatment(const FitConfig& config) {
  std::set<std::string> names;
  for (const PlaceholderUse& use : placeholdersOf(config.heatTreatment)) names.insert(use.name);
  return names;
}

// The case rendered with these overrides and parameter values (with its
// schedule file, if any), and the heat treatment it runs with.
struct RenderedFitCase {
  RenderedCase files;
  RenderedHeatTreatment heat;
};

RenderedFitCase renderFitCase(const CaseTemplate& caseTemplate, const FitConfig& config,
                              const std::vector<KeyOverride>& overrides, const std::vector<CaseParameter>& parameters) {
  RenderedFitCase rendered{caseTemplate.render(overrides, parameters, usedByHeatTreatment(config)), {}};
  std::map<std::string, std::string> values;
  for (const CaseParameter& parameter : parameters) values[parameter.name] = parameter.value;
  rendered.heat = renderHeatTreatment(config.heatTreatment, values);
  addScheduleFile(rendered.files, rendered.heat);
  return rendered;
}

// The folder a fit's case stands in: messages about a rendered case name its
// files where the template's own files are (their lines are the same).
std::string templateFolder(const FitConfig& config) {
  return fs::path(config.casePath).parent_path().string();
}

// Loads the rendered case from memory into `sim`, with the schedule and the
// integrator in force;
// the output times are the caller's to set.
void loadRendered(Simulation& sim, const RenderedFitCase& rendered, const std::string& folder, Integrator integrator) {
  sim.load(loadRenderedCase(rendered.files, folder));
  sim.input.heatTreatment.schedule = rendered.heat.schedule;
  installLifeOptions(sim.input.heatTreatment, rendered.heat.life, sim.input.startTime);
  sim.input.integrator = integrator;
}

// One run to the latest measured time that writes its profile at exactly
// every earlier one (an output time), so one run serves every profile. Up to
// each measured time its steps are those of a run that ends there. The case
// is rendered and loaded in memory and nothing is written.
RunProfiles runOnce(const Prepared& p, const std::vector<double>& values, long long passLimit,
                    long long* passes = nullptr) {
  const double end = p.times.back();
  Simulation sim;
  sim.resultsDirectory.reset();
  loadRendered(sim, renderFitCase(*p.caseTemplate, p.config, overridesFor(p, end), parametersFor(p.config, values)),
               templateFolder(p.config), p.config.integrator);
  sim.input.heatTreatment.outputTimes.assign(p.times.begin(), p.times.end() - 1);
  FitRunHost host(sim, passLimit);
  const RunSummary summary = Execute(sim, host);
  if (passes != nullptr) *passes = host.passes();
  if (summary.failure) std::rethrow_exception(summary.failure);
  if (summary.end != RunEnd::Completed) {
    std::string what = "the run to t = " + formatGeneral(end) + " s did not complete";
    if (summary.end == RunEnd::Stopped) what += ": it needed more than " + std::to_string(passLimit) + " passes";
    if (summary.end == RunEnd::NonFinite) what += ": " + describeNonFinite(summary.nonFinite, sim.state.position);
    if (summary.end == RunEnd::StepVanished) what += ": the time step shrank until it could no longer move the clock";
    throw RunFailure(what);
  }
  RunProfiles simulation = std::move(host.atOutputTimes());
  simulation.push_back(profileOf(sim.input, sim.state));
  if (simulation.size() != p.times.size())
    throw RunFailure("the run to t = " + formatGeneral(end) + " s wrote " + std::to_string(simulation.size()) +
                     " profiles for " + std::to_string(p.times.size()) + " measured times");
  return simulation;
}

// Refuses an output folder that holds an input of the fit: its case/ is
// rewritten with the best case, and the template must not be what is lost.
void checkOutputFolder(const FitConfig& config, const RenderedCase& rendered) {
  InputsOutside inputs(config.output, "The fit's output folder");
  inputs.check(config.casePath);
  inputs.check(config.heatTreatment.scheduleFile);
  for (const FitProfileSetting& setting : config.profiles) inputs.check(setting.file);
  inputs.check(inputFilesOf(rendered));
}

Prepared prepare(const FitConfig& config) {
  Prepared p;
  p.config = config;
  p.caseTemplate = std::make_shared<const CaseTemplate>(config.casePath);
  for (const KeyOverride& o : config.overrides)
    if (o.key != DataKey::D1 && o.key != DataKey::D4) p.runOverrides.push_back(o);
  MeasuredProfileOptions measuredOptions;
  measuredOptions.componentNames = config.componentNames;
  for (const FitProfileSetting& setting : config.profiles)
    p.measured.push_back(ReadMeasuredProfile(setting.file, measuredOptions));

  std::vector<double> initial;
  for (const FitParameterSetting& setting : config.parameters) initial.push_back(setting.initial);
  RenderedFitCase rendered;
  Case model;
  try {
    rendered = renderFitCase(*p.caseTemplate, config, config.overrides, parametersFor(config, initial));
    model = loadRenderedCase(rendered.files, templateFolder(config));
    model.integrator = config.integrator;
    model.componentNames = config.componentNames;
    model.validate();
  } catch (const FatalModelError& error) {
    throw InputError(config.casePath + " does not load at the initial values: " + error.what() +
                     (error.detail().empty() ? "" : " (" + error.detail() + ")"));
  } catch (const InputError& error) {
    throw InputError(config.fileName + ": the case " + config.casePath +
                     " cannot be run at the initial values: " + error.what());
  }
  const RenderedHeatTreatment& heat = rendered.heat;
  checkOutputFolder(config, rendered.files);
  p.initial = profileOf(model, model.initial.position, model.initial.concentration);
  p.startTime = model.startTime;
  const double left = model.initial.position.front();
  const double right = model.initial.position.back();

  std::size_t next = config.parameters.size();
  for (std::size_t k = 0; k < config.profiles.size(); ++k) {
    const FitProfileSetting& setting = config.profiles[k];
    const MeasuredProfile& measured = p.measured[k];
    if (!(setting.timeS > model.startTime) || setting.timeS > model.endTime)
      throw InputError(config.fileName + ": profile " + setting.file +
                       " was measured at t = " + formatGeneral(setting.timeS) + " s, outside the case's process time " +
                       formatGeneral(model.startTime) + " to " + formatGeneral(model.endTime) + " s (key D1 of " +
                       config.casePath + ")");
    for (const int c : measured.components)
      if (c >= model.componentCount)
        throw InputError(setting.file + ": component " + std::to_string(c + 1) + " is measured, but the case has " +
                         std::to_string(model.componentCount) + " components (key D0)");
    for (const double x : measured.positionCm) {
      const double at = x + setting.shiftUm * 1e-4;
      if (at < left || at > right)
        throw InputError(setting.file + ": the measured position " + formatGeneral(at * 1e4) +
                         " µm (shift included) lies outside the sample, " + formatGeneral(left * 1e4) + " to " +
                         formatGeneral(right * 1e4) + " µm");
    }
    p.residualCount += measured.components.size() * measured.positionCm.size();
    p.shiftOf.push_back(setting.fitShift ? next++ : std::string::npos);
    if (std::find(p.times.begin(), p.times.end(), setting.timeS) == p.times.end()) p.times.push_back(setting.timeS);
  }
  std::sort(p.times.begin(), p.times.end());
  // The best-fit case runs to the latest measured time.
  outputTimesWithin(heat.outputTimes, model.startTime, p.times.back());
  for (const FitProfileSetting& setting : config.profiles)
    p.timeOf.push_back(
        static_cast<std::size_t>(std::find(p.times.begin(), p.times.end(), setting.timeS) - p.times.begin()));
  p.valueCount = next;
  return p;
}

class Engine {
 public:
  Engine(Prepared prepared, const FitOptions& options) : p_(std::move(prepared)), options_(options) {}

  [[nodiscard]] const Prepared& prepared() const { return p_; }
  [[nodiscard]] std::size_t modelCount() const { return p_.config.parameters.size(); }

  // Internal coordinates: ln of a log-scale parameter, the value otherwise;
  // a shift in µm.
  [[nodiscard]] double toValue(std::size_t k, double theta) const {
    return k < modelCount() && p_.config.parameters[k].logScale ? std::exp(theta) : theta;
  }
  [[nodiscard]] double toTheta(std::size_t k, double value) const {
    return k < modelCount() && p_.config.parameters[k].logScale ? std::log(value) : value;
  }
  [[nodiscard]] std::vector<double> modelValues(const double* theta) const {
    std::vector<double> values;
    for (std::size_t k = 0; k < modelCount(); ++k) values.push_back(toValue(k, theta[k]));
    return values;
  }
  [[nodiscard]] double stepOf(std::size_t k, double theta) const {
    if (p_.config.parameters[k].logScale) return p_.config.step;
    const double scale = std::max(std::fabs(theta), std::fabs(p_.config.parameters[k].initial));
    return p_.config.step * (scale > 0 ? scale : 1.0);
  }

  // Runs what is not cached yet, in parallel. Returns false when interrupted
  // or a run failed (the reason kept in lastFailure).
  bool ensure(const std::vector<std::vector<double>>& points) {
    struct Job {
      std::size_t point;
      RunProfiles result;
      std::exception_ptr error;
    };
    std::vector<Job> jobs;
    std::vector<std::size_t> missing;
    for (std::size_t i = 0; i < points.size(); ++i)
      if (cache_.find(points[i]) == cache_.end() && std::find_if(missing.begin(), missing.end(), [&](std::size_t j) {
                                                      return points[j] == points[i];
                                                    }) == missing.end()) {
        missing.push_back(i);
        jobs.push_back({i, {}, {}});
      }
    if (jobs.empty()) return true;
    if (interrupted()) return false;
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
      for (std::size_t j = next++; j < jobs.size(); j = next++) {
        if (interrupted()) {
          jobs[j].error = std::make_exception_ptr(RunFailure("interrupted"));
          continue;
        }
        try {
          long long passes = 0;
          jobs[j].result = runOnce(p_, points[jobs[j].point], passLimit_, &passes);
          // The first run sets the limit: a run may take many times the
          // passes of the one at the initial values, not without bound.
          std::lock_guard<std::mutex> lock(limitMutex_);
          if (passLimit_ == 0) firstPasses_ = std::max(firstPasses_, passes);
        } catch (...) {
          jobs[j].error = std::current_exception();
        }
      }
    };
    const std::size_t threads =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(1, options_.threads)), jobs.size());
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& thread : pool) thread.join();
    runs_ += static_cast<long long>(jobs.size());
    if (passLimit_ == 0) passLimit_ = std::max<long long>(20000, 30 * firstPasses_);
    for (Job& job : jobs) {
      if (job.error) {
        try {
          std::rethrow_exception(job.error);
        } catch (const std::exception& error) {
          lastFailure_ = error.what();
        }
        return false;
      }
      remember(points[job.point], std::move(job.result));
    }
    return true;
  }

  [[nodiscard]] const RunProfiles& simulation(const std::vector<double>& values) const { return cache_.at(values); }

  // Residuals at theta from the simulation at its parameter values; slopes
  // (d residual / d shift in µm) into `slopes` when given.
  void residuals(const RunProfiles& sim, const double* theta, double* out, std::vector<double>* slopes,
                 std::vector<ResidualRow>* rows = nullptr) const {
    std::size_t n = 0;
    for (std::size_t k = 0; k < p_.measured.size(); ++k) {
      const MeasuredProfile& m = p_.measured[k];
      const FitProfileSetting& setting = p_.config.profiles[k];
      const SimProfile& s = sim[p_.timeOf[k]];
      const double shiftUm = p_.shiftOf[k] == std::string::npos ? setting.shiftUm : theta[p_.shiftOf[k]];
      const double scale = std::sqrt(setting.weight) / setting.uncertainty.value_or(1.0);
      for (std::size_t column = 0; column < m.components.size(); ++column) {
        const auto c = static_cast<std::size_t>(m.components[column]);
        const std::vector<double>& y = m.basis == CompositionBasis::Weight ? s.weight[c] : s.atomic[c];
        for (std::size_t row = 0; row < m.positionCm.size(); ++row, ++n) {
          const double at = m.positionCm[row] + shiftUm * 1e-4;
          const auto [value, slope] = interpolateHeld(s.x, y, at);
          out[n] = (value - m.percent[column][row]) * scale;
          if (slopes != nullptr) (*slopes)[n] = slope * 1e-4 * scale;
          if (rows != nullptr) rows->push_back({k, m.components[column], at * 1e4, m.percent[column][row], value});
        }
      }
    }
  }

  bool evaluate(const double* theta, double* out, double* jacobian) {
    const std::vector<double> base = modelValues(theta);
    // A step so long that a value overflows, or a log-scale value underflows
    // to zero, is no point to run: the minimiser takes a shorter step.
    for (std::size_t k = 0; k < modelCount(); ++k)
      if (!std::isfinite(base[k]) || (p_.config.parameters[k].logScale && !(base[k] > 0))) return false;
    // A trial step that changes a log-scale value by more than a factor 10
    // from the point the minimiser stands at is refused, and the minimiser
    // shortens it. A longer step of the linearised model can run far off
    // into a region where a diffusivity no longer matters (its derivative
    // vanishes) and the fit would never come back.
    if (!centre_.empty())
      for (std::size_t k = 0; k < modelCount(); ++k)
        if (p_.config.parameters[k].logScale && std::fabs(theta[k] - centre_[k]) > kMaxLogStep) return false;
    std::vector<std::vector<double>> points{base};
    if (jacobian != nullptr)
      for (std::size_t k = 0; k < modelCount(); ++k)
        for (const double sign : {1.0, -1.0}) {
          std::vector<double> moved(theta, theta + modelCount());
          moved[k] += sign * stepOf(k, theta[k]);
          std::vector<double> values;
          for (std::size_t j = 0; j < modelCount(); ++j) values.push_back(toValue(j, moved[j]));
          points.push_back(values);
        }
    if (!ensure(points)) return false;
    const std::size_t n = p_.residualCount;
    std::vector<double> slopes(n);
    residuals(simulation(base), theta, out, &slopes);
    double cost = 0;
    for (std::size_t i = 0; i < n; ++i) cost += 0.5 * out[i] * out[i];
    if (!std::isfinite(cost)) return false;
    if (!best_ || cost < bestCost_) {
      best_ = true;
      bestCost_ = cost;
      bestTheta_.assign(theta, theta + p_.valueCount);
    }
    if (jacobian == nullptr) return true;
    const std::size_t m = p_.valueCount;
    std::vector<double> plus(n);
    std::vector<double> minus(n);
    for (std::size_t k = 0; k < modelCount(); ++k) {
      residuals(simulation(points[1 + 2 * k]), theta, plus.data(), nullptr);
      residuals(simulation(points[2 + 2 * k]), theta, minus.data(), nullptr);
      const double h = stepOf(k, theta[k]);
      for (std::size_t i = 0; i < n; ++i) jacobian[i * m + k] = (plus[i] - minus[i]) / (2 * h);
    }
    for (std::size_t k = modelCount(); k < m; ++k)
      for (std::size_t i = 0; i < n; ++i) jacobian[i * m + k] = 0;
    for (std::size_t k = 0; k < p_.measured.size(); ++k)
      if (p_.shiftOf[k] != std::string::npos) {
        std::size_t first = 0;
        for (std::size_t j = 0; j < k; ++j)
          first += p_.measured[j].components.size() * p_.measured[j].positionCm.size();
        const std::size_t count = p_.measured[k].components.size() * p_.measured[k].positionCm.size();
        for (std::size_t i = first; i < first + count; ++i) jacobian[i * m + p_.shiftOf[k]] = slopes[i];
      }
    return true;
  }

  // The point the minimiser has accepted last.
  void setCentre(const double* theta) { centre_.assign(theta, theta + modelCount()); }
  void clearCentre() { centre_.clear(); }

  [[nodiscard]] bool interrupted() const { return options_.interrupt != nullptr && options_.interrupt->load(); }
  [[nodiscard]] long long runs() const { return runs_; }
  [[nodiscard]] bool hasBest() const { return best_; }
  [[nodiscard]] const std::vector<double>& bestTheta() const { return bestTheta_; }
  [[nodiscard]] const std::string& lastFailure() const { return lastFailure_; }

 private:
  void remember(const std::vector<double>& values, RunProfiles simulation) {
    cache_[values] = std::move(simulation);
    order_.push_back(values);
    // Enough for the Jacobian at one point, its centre and a trial step.
    const std::size_t keep = 2 * modelCount() + 8;
    while (order_.size() > keep) {
      if (!best_ || modelValues(bestTheta_.data()) != order_.front()) cache_.erase(order_.front());
      order_.pop_front();
    }
  }

  Prepared p_;
  const FitOptions& options_;
  std::map<std::vector<double>, RunProfiles> cache_;
  std::deque<std::vector<double>> order_;
  static constexpr double kMaxLogStep = 2.302585092994046;  // ln 10
  std::vector<double> centre_;                              // the accepted point; empty: no limit
  long long runs_ = 0;
  long long passLimit_ = 0;  // 0 until the first runs have set it
  long long firstPasses_ = 0;
  std::mutex limitMutex_;
  bool best_ = false;
  double bestCost_ = 0.0;
  std::vector<double> bestTheta_;
  std::string lastFailure_;
};

// A run that has not changed the profile at any measured time beyond the
// round-off of its passes says nothing about the parameters: the residuals
// would not depend on them, and the minimiser would stop at once and call
// that converged. Such a fit (a measured time of 1e-300 s, say) is refused.
constexpr double kNoChangePercent = 1e-9;  // at.%; a pass's round-off leaves some 1e-15

void refuseTrivialRuns(const Prepared& p, const RunProfiles& simulation) {
  for (const SimProfile& profile : simulation)
    for (std::size_t i = 0; i < profile.atomic.size(); ++i)
      for (std::size_t k = 0; k < profile.atomic[i].size(); ++k)
        if (!(std::fabs(profile.atomic[i][k] - p.initial.atomic[i][k]) <= kNoChangePercent)) return;
  std::string times;
  for (const double time : p.times) times += (times.empty() ? "" : ", ") + formatGeneral(time);
  throw InputError(p.config.fileName + ": at the measured time" + (p.times.size() > 1 ? "s " : " ") + times +
                   " s the run at the initial values has left the initial profile as it was (no value moved by " +
                   formatGeneral(kNoChangePercent) +
                   " at.%), so the measured profiles cannot tell anything about the parameters; give the anneal "
                   "time of each profile (and check the initial values and the case's start time, key D1)");
}

class FitCost : public ceres::CostFunction {
 public:
  explicit FitCost(Engine& engine) : engine_(engine) {
    set_num_residuals(static_cast<int>(engine.prepared().residualCount));
    mutable_parameter_block_sizes()->push_back(static_cast<int>(engine.prepared().valueCount));
  }
  bool Evaluate(double const* const* parameters, double* residuals, double** jacobians) const override {
    return engine_.evaluate(parameters[0], residuals, jacobians != nullptr ? jacobians[0] : nullptr);
  }

 private:
  Engine& engine_;
};

class Progress : public ceres::IterationCallback {
 public:
  Progress(Engine& engine, const std::vector<double>& theta, const FitOptions& options)
      : engine_(engine), theta_(theta), options_(options) {}
  ceres::CallbackReturnType operator()(const ceres::IterationSummary& summary) override {
    engine_.setCentre(theta_.data());
    if (options_.progress) {
      std::vector<double> values;
      for (std::size_t k = 0; k < theta_.size(); ++k) values.push_back(engine_.toValue(k, theta_[k]));
      options_.progress(summary.iteration, summary.cost, summary.step_norm, values);
    }
    return engine_.interrupted() ? ceres::SOLVER_TERMINATE_SUCCESSFULLY : ceres::SOLVER_CONTINUE;
  }

 private:
  Engine& engine_;
  const std::vector<double>& theta_;
  const FitOptions& options_;
};

}  // namespace

void checkFit(const FitConfig& config) {
  prepare(config);
}

FitResult runFit(const FitConfig& config, const FitOptions& options) {
  const auto started = std::chrono::steady_clock::now();
  Engine engine(prepare(config), options);
  const Prepared& p = engine.prepared();
  std::vector<double> theta;
  for (std::size_t k = 0; k < config.parameters.size(); ++k)
    theta.push_back(engine.toTheta(k, config.parameters[k].initial));
  for (std::size_t k = 0; k < config.profiles.size(); ++k)
    if (p.shiftOf[k] != std::string::npos) theta.push_back(config.profiles[k].shiftUm);

  ceres::Problem problem;
  problem.AddResidualBlock(new FitCost(engine), nullptr, theta.data());
  for (std::size_t k = 0; k < config.parameters.size(); ++k) {
    const FitParameterSetting& setting = config.parameters[k];
    if (setting.lower)
      problem.SetParameterLowerBound(theta.data(), static_cast<int>(k), engine.toTheta(k, *setting.lower));
    if (setting.upper)
      problem.SetParameterUpperBound(theta.data(), static_cast<int>(k), engine.toTheta(k, *setting.upper));
  }

  // The first evaluation: a run that fails here is the case's fault.
  {
    std::vector<double> first(p.residualCount);
    if (!engine.evaluate(theta.data(), first.data(), nullptr) && !engine.interrupted())
      throw InputError(config.casePath + " at the initial values: " + engine.lastFailure());
    if (!engine.interrupted()) refuseTrivialRuns(p, engine.simulation(engine.modelValues(theta.data())));
  }

  Progress progress(engine, theta, options);
  ceres::Solver::Options solverOptions;
  solverOptions.minimizer_type = ceres::TRUST_REGION;
  solverOptions.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
  solverOptions.linear_solver_type = ceres::DENSE_QR;
  solverOptions.max_num_iterations = config.maxIterations;
  solverOptions.function_tolerance = 1e-10;
  solverOptions.parameter_tolerance = 1e-8;
  solverOptions.gradient_tolerance = 1e-14;
  solverOptions.logging_type = ceres::SILENT;
  solverOptions.minimizer_progress_to_stdout = false;
  solverOptions.update_state_every_iteration = true;
  // A first step of moderate length: in ln D, a step of a few units is a
  // factor of tens, and runs far from the data are slow and uninformative.
  solverOptions.initial_trust_region_radius = 1.0;
  solverOptions.callbacks.push_back(&progress);
  ceres::Solver::Summary summary;
  engine.setCentre(theta.data());
  if (!engine.interrupted()) ceres::Solve(solverOptions, &problem, &summary);
  engine.clearCentre();

  FitResult result;
  result.interrupted = engine.interrupted();
  result.converged = summary.termination_type == ceres::CONVERGENCE && !result.interrupted;
  result.termination = result.interrupted ? "interrupted" : summary.message;
  result.iterations = summary.iterations.empty() ? 0 : static_cast<int>(summary.iterations.size()) - 1;
  if (!engine.hasBest()) throw InputError(config.casePath + ": no run completed: " + engine.lastFailure());
  theta = engine.bestTheta();

  // Residuals and the Jacobian at the best point (cached unless interrupted).
  const std::size_t n = p.residualCount;
  const std::size_t m = p.valueCount;
  std::vector<double> r(n);
  std::vector<double> jacobian(n * m);
  const bool haveJacobian = engine.evaluate(theta.data(), r.data(), jacobian.data());
  const RunProfiles& best = engine.simulation(engine.modelValues(theta.data()));
  engine.residuals(best, theta.data(), r.data(), nullptr, &result.residuals);
  double sum = 0;
  for (const double value : r) sum += value * value;
  result.cost = 0.5 * sum;

  // Covariance of theta from the Jacobian, scaled by the residual variance.
  std::vector<double> covariance;
  if (!haveJacobian) {
    result.covarianceNote = "the fit was interrupted before the derivatives at the best point were known";
  } else if (n <= m) {
    result.covarianceNote = "there are no more residuals (" + std::to_string(n) + ") than fitted values";
  } else {
    ceres::Covariance::Options covOptions;
    covOptions.algorithm_type = ceres::DENSE_SVD;
    ceres::Covariance estimate(covOptions);
    const std::vector<std::pair<const double*, const double*>> blocks{{theta.data(), theta.data()}};
    covariance.resize(m * m);
    if (estimate.Compute(blocks, &problem) &&
        estimate.GetCovarianceBlock(theta.data(), theta.data(), covariance.data())) {
      const double variance = sum / static_cast<double>(n - m);
      for (double& c : covariance) c *= variance;
    } else {
      covariance.clear();
      std::string flat;
      for (std::size_t k = 0; k < m; ++k) {
        double norm = 0;
        for (std::size_t i = 0; i < n; ++i) norm += jacobian[i * m + k] * jacobian[i * m + k];
        if (norm == 0)
          flat += (flat.empty() ? "" : ", ") +
                  std::string(k < config.parameters.size() ? config.parameters[k].name : "a shift");
      }
      result.covarianceNote = "the data cannot determine the fitted values together (the covariance is singular)";
      if (!flat.empty()) result.covarianceNote += "; the residuals do not depend on " + flat + " at all";
    }
  }

  for (std::size_t k = 0; k < m; ++k) {
    FittedValue v;
    if (k < config.parameters.size()) {
      const FitParameterSetting& setting = config.parameters[k];
      v.name = setting.name;
      v.initial = setting.initial;
      v.logScale = setting.logScale;
      v.value = engine.toValue(k, theta[k]);
      v.atBound = (setting.lower && v.value <= *setting.lower * (1 + 1e-9)) ||
                  (setting.upper && v.value >= *setting.upper * (1 - 1e-9));
    } else {
      const auto profile =
          static_cast<std::size_t>(std::find(p.shiftOf.begin(), p.shiftOf.end(), k) - p.shiftOf.begin());
      v.name = "shift_um: " + fs::path(config.profiles[profile].file).filename().string();
      v.initial = config.profiles[profile].shiftUm;
      v.value = theta[k];
    }
    if (!covariance.empty() && covariance[k * m + k] >= 0 && std::isfinite(covariance[k * m + k])) {
      const double se = std::sqrt(covariance[k * m + k]);
      v.standardError = v.logScale ? v.value * se : se;
    }
    result.values.push_back(v);
  }
  result.correlation.assign(m, std::vector<double>(m, std::nan("")));
  if (!covariance.empty())
    for (std::size_t i = 0; i < m; ++i)
      for (std::size_t j = 0; j < m; ++j)
        result.correlation[i][j] = covariance[i * m + j] / std::sqrt(covariance[i * m + i] * covariance[j * m + j]);

  for (std::size_t k = 0; k < config.profiles.size(); ++k) {
    ProfileReport report;
    report.file = config.profiles[k].file;
    report.timeS = config.profiles[k].timeS;
    report.shiftUm = p.shiftOf[k] == std::string::npos ? config.profiles[k].shiftUm : theta[p.shiftOf[k]];
    double squares = 0;
    for (const ResidualRow& row : result.residuals)
      if (row.profile == k) {
        squares += (row.simulated - row.measured) * (row.simulated - row.measured);
        ++report.points;
      }
    report.rmsPercent = report.points > 0 ? std::sqrt(squares / static_cast<double>(report.points)) : std::nan("");
    result.profiles.push_back(report);
  }
  result.bestParameters = parametersFor(config, engine.modelValues(theta.data()));
  result.runs = engine.runs();
  result.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

namespace {

// Empties the folder (a link in its place or in it is removed, not
// followed), so that what is written there is all it holds.
void freshFolder(const std::string& folder) {
  std::error_code error;
  fs::remove_all(folder, error);
  if (error) throw FileWriteError(folder + ": cannot clear the folder (" + error.message() + ")");
}

void writeText(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) throw FileWriteError(path + ": cannot be written");
  }
  std::error_code error;
  fs::rename(temporary, path, error);
  if (error) throw FileWriteError(path + ": cannot be written: " + error.message());
}

nlohmann::ordered_json number(double value) {
  return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

}  // namespace

void writeFitReport(const FitConfig& config, const FitResult& result) {
  std::error_code error;
  fs::create_directories(config.output, error);
  if (error) throw FileWriteError(config.output + ": the folder cannot be made: " + error.message());

  nlohmann::ordered_json json;
  json["fit_file"] = config.fileName;
  json["case"] = config.casePath;
  json["status"] = result.interrupted ? "interrupted" : (result.converged ? "converged" : "not converged");
  json["termination"] = result.termination;
  nlohmann::ordered_json values = nlohmann::ordered_json::array();
  for (const FittedValue& v : result.values) {
    nlohmann::ordered_json item;
    item["name"] = v.name;
    item["value"] = number(v.value);
    item["standard_error"] = v.standardError ? number(*v.standardError) : nlohmann::ordered_json(nullptr);
    item["determined"] = v.standardError.has_value();
    item["initial"] = number(v.initial);
    item["log_scale"] = v.logScale;
    item["at_bound"] = v.atBound;
    values.push_back(item);
  }
  json["values"] = values;
  nlohmann::ordered_json correlation = nlohmann::ordered_json::array();
  for (const auto& row : result.correlation) {
    nlohmann::ordered_json line = nlohmann::ordered_json::array();
    for (const double c : row) line.push_back(number(c));
    correlation.push_back(line);
  }
  json["correlation"] = correlation;
  if (!result.covarianceNote.empty()) json["covariance_note"] = result.covarianceNote;
  nlohmann::ordered_json profiles = nlohmann::ordered_json::array();
  for (const ProfileReport& report : result.profiles) {
    nlohmann::ordered_json item;
    item["file"] = report.file;
    item["time_s"] = report.timeS;
    item["shift_um"] = number(report.shiftUm);
    item["rms_percent"] = number(report.rmsPercent);
    item["residuals"] = report.points;
    profiles.push_back(item);
  }
  json["profiles"] = profiles;
  if (!config.heatTreatment.empty()) {
    // The best case's runs follow this schedule; case/ holds it as a file.
    std::map<std::string, std::string> values;
    for (const CaseParameter& parameter : result.bestParameters) values[parameter.name] = parameter.value;
    const RenderedHeatTreatment heat = renderHeatTreatment(config.heatTreatment, values);
    nlohmann::ordered_json treatment;
    if (heat.schedule) {
      nlohmann::ordered_json rows = nlohmann::ordered_json::array();
      for (const ScheduleRow& row : heat.schedule->rows()) rows.push_back({row.time, row.temperature});
      treatment["schedule"] = {{"file", (fs::path("case") / kCaseScheduleFile).string()},
                               {"sha256", heat.schedule->sha256()},
                               {"rows", rows}};
    }
    nlohmann::ordered_json times = nlohmann::ordered_json::array();
    for (const OutputTime& output : heat.outputTimes) times.push_back(output.time);
    treatment["output_times_s"] = times;
    for (const auto& [key, life] : {std::pair{"cycles", &heat.life.cycles}, std::pair{"spall", &heat.life.spall},
                                    std::pair{"oxide", &heat.life.oxide}})
      if (life->text) treatment[key] = *life->text;
    if (heat.life.receding) treatment["receding"] = true;
    json["heat_treatment"] = treatment;
  }
  json["cost"] = number(result.cost);
  json["iterations"] = result.iterations;
  json["runs"] = result.runs;
  json["wall_time_s"] = number(result.wallSeconds);
  writeText((fs::path(config.output) / "fit.json").string(), json.dump(2) + "\n");

  std::string csv = "profile,component,x_um,measured,simulated,residual\n";
  for (const ResidualRow& row : result.residuals)
    csv += std::to_string(row.profile + 1) + ",N" + std::to_string(row.component + 1) + "," + formatGeneral(row.xUm) +
           "," + formatGeneral(row.measured) + "," + formatGeneral(row.simulated) + "," +
           formatGeneral(row.simulated - row.measured) + "\n";
  writeText((fs::path(config.output) / "residuals.csv").string(), csv);

  // The best case, run to the latest measured time with the fit's settings.
  double latest = 0;
  for (const FitProfileSetting& setting : config.profiles) latest = std::max(latest, setting.timeS);
  std::vector<KeyOverride> overrides;
  for (const KeyOverride& o : config.overrides)
    if (o.key != DataKey::D1 && o.key != DataKey::D4) overrides.push_back(o);
  const CaseTemplate caseTemplate(config.casePath);
  const RenderedFitCase probe = renderFitCase(caseTemplate, config, config.overrides, result.bestParameters);
  const double startTime = loadRenderedCase(probe.files, templateFolder(config)).startTime;
  overrides.push_back({DataKey::D1, parameterText(startTime) + " " + parameterText(latest)});
  if (config.concentrationError) overrides.push_back({DataKey::D4, parameterText(*config.concentrationError)});
  const RenderedFitCase best = renderFitCase(caseTemplate, config, overrides, result.bestParameters);
  const std::string folder = (fs::path(config.output) / kRenderedCaseFolder).string();
  freshFolder(folder);
  writeRenderedCase(best.files, folder);
}

std::string fitTable(const FitResult& result) {
  std::ostringstream out;
  out << "Fitted values (standard errors from the covariance scaled by the residual variance):\n";
  for (const FittedValue& v : result.values) {
    out << "  " << v.name << " = " << brief(v.value);
    if (v.standardError)
      out << " ± " << brief(*v.standardError) << " (" << brief(100 * *v.standardError / std::fabs(v.value)) << " %)";
    else
      out << "  undetermined";
    if (v.atBound) out << "  at its bound";
    out << "   (initial " << brief(v.initial) << ")\n";
  }
  if (!result.covarianceNote.empty()) out << "  No standard errors: " << result.covarianceNote << ".\n";
  if (result.values.size() > 1 && !result.correlation.empty() && std::isfinite(result.correlation[0][0])) {
    out << "Correlation:\n";
    for (std::size_t i = 0; i < result.values.size(); ++i) {
      out << "  ";
      for (std::size_t j = 0; j < result.values.size(); ++j) {
        char cell[32];
        const double c = result.correlation[i][j];
        const auto end = std::to_chars(cell, cell + sizeof cell, c, std::chars_format::fixed, 3).ptr;
        out << " " << (c >= 0 ? "+" : "") << std::string(cell, end);
      }
      out << "  " << result.values[i].name << "\n";
    }
  }
  out << "RMS misfit per profile:\n";
  for (const ProfileReport& report : result.profiles)
    out << "  " << report.file << " at " << brief(report.timeS) << " s: " << brief(report.rmsPercent) << " % over "
        << report.points << " values\n";
  out << result.iterations << " iterations, " << result.runs << " runs, " << brief(result.wallSeconds) << " s; "
      << (result.interrupted ? "interrupted"
          : result.converged ? "converged"
                             : "not converged")
      << "\n";
  return out.str();
}

}  // namespace torvex

namespace torvex {

void runBestCase(const FitConfig& config, const FitResult& result, std::size_t profile, const std::string& folder) {
  const Prepared p = prepare(config);
  const double time = config.profiles[profile].timeS;
  const RenderedFitCase rendered = renderFitCase(*p.caseTemplate, config, overridesFor(p, time), result.bestParameters);
  // The case is kept beside its results, and run as it was written there.
  freshFolder(folder);
  const std::string caseFolder = (fs::path(folder) / kRenderedCaseFolder).string();
  writeRenderedCase(rendered.files, caseFolder);
  Simulation sim;
  sim.resultsDirectory = folder;
  loadRendered(sim, rendered, caseFolder, config.integrator);
  sim.input.componentNames = config.componentNames;
  for (const OutputTime& output : rendered.heat.outputTimes)
    if (output.time < time) sim.input.heatTreatment.outputTimes.push_back(output.time);
  DirectRunHost host(sim);
  const RunSummary summary = Execute(sim, host);
  if (summary.failure) std::rethrow_exception(summary.failure);
}

}  // namespace torvex
