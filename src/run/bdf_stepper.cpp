#include "run/bdf_stepper.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

#include <cvode/cvode.h>
#include <cvode/cvode_ls.h>
#include <cvode/cvode_proj.h>
#include <nvector/nvector_serial.h>
#include <sundials/sundials_context.h>
#include <sunlinsol/sunlinsol_band.h>
#include <sunmatrix/sunmatrix_band.h>

#include "model/number_format.h"

namespace torvex {
namespace {

// Owners of the SUNDIALS objects: each is freed by its own function, in the
// reverse order of making (the integrator before its solver, matrix and
// vectors, the context last), however the stepper ends.
struct ContextFree {
  void operator()(SUNContext context) const { SUNContext_Free(&context); }
};
struct VectorFree {
  void operator()(N_Vector vector) const { N_VDestroy(vector); }
};
struct MatrixFree {
  void operator()(SUNMatrix matrix) const { SUNMatDestroy(matrix); }
};
struct SolverFree {
  void operator()(SUNLinearSolver solver) const { SUNLinSolFree(solver); }
};
struct IntegratorFree {
  void operator()(void* memory) const { CVodeFree(&memory); }
};
using ContextPtr = std::unique_ptr<std::remove_pointer_t<SUNContext>, ContextFree>;
using VectorPtr = std::unique_ptr<std::remove_pointer_t<N_Vector>, VectorFree>;
using MatrixPtr = std::unique_ptr<std::remove_pointer_t<SUNMatrix>, MatrixFree>;
using SolverPtr = std::unique_ptr<std::remove_pointer_t<SUNLinearSolver>, SolverFree>;
using IntegratorPtr = std::unique_ptr<void, IntegratorFree>;

// CVODE's name of a return flag ("CV_CONV_FAILURE"); it allocates the text.
std::string flagName(int flag) {
  const std::unique_ptr<char, decltype(&std::free)> name(CVodeGetReturnFlagName(flag), &std::free);
  return name ? std::string(name.get()) : std::string("CV_UNRECOGNIZED_ERR");
}

// What a failure of a step means, in our words (CVODE's own messages print
// numbers in the process locale).
std::string_view explanation(int flag) {
  switch (flag) {
    case CV_TOO_MUCH_ACC: return "the tolerances ask for more accuracy than the arithmetic can give";
    case CV_ERR_FAILURE: return "the error test failed repeatedly, or with the step at its smallest: the step vanished";
    case CV_CONV_FAILURE:
      return "the Newton iteration failed to converge repeatedly, or with the step at its smallest: the step "
             "vanished";
    case CV_LSETUP_FAIL: return "the Jacobian could not be formed or factorised";
    case CV_LSOLVE_FAIL: return "the banded linear solve failed";
    case CV_RHSFUNC_FAIL: return "the right-hand side failed";
    case CV_FIRST_RHSFUNC_ERR: return "the right-hand side cannot be evaluated at the initial state";
    case CV_REPTD_RHSFUNC_ERR: return "the right-hand side asked for a smaller step repeatedly";
    case CV_UNREC_RHSFUNC_ERR: return "the right-hand side asked for a smaller step, and none could be taken";
    case CV_TOO_CLOSE: return "the stop time is too close to the start to take a step";
    case CV_PROJFUNC_FAIL: return "the projection failed";
    case CV_REPTD_PROJFUNC_ERR: return "the projection asked for a smaller step repeatedly";
    default: return {};
  }
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// The smallest step, in units of the rounding of the clock.
constexpr double kStepsInTimeResolution = 10;

// How many keys keep a Jacobian: the two temperatures of thermal cycles.
constexpr std::size_t kKeptJacobians = 2;

void accumulate(BdfStatistics& sum, const BdfStatistics& more) {
  sum.steps += more.steps;
  sum.rightHandSideEvaluations += more.rightHandSideEvaluations;
  sum.jacobianEvaluations += more.jacobianEvaluations;
  sum.linearSolverSetups += more.linearSolverSetups;
  sum.errorTestFailures += more.errorTestFailures;
  sum.nonlinearIterations += more.nonlinearIterations;
  sum.nonlinearConvergenceFailures += more.nonlinearConvergenceFailures;
  sum.projections += more.projections;
  sum.restarts += more.restarts;
  sum.jacobiansReused += more.jacobiansReused;
}

bool positiveFinite(double value) {
  return value > 0 && value < kInfinity;
}

[[noreturn]] void refuse(std::string_view what, double value, std::string_view accepted) {
  throw std::invalid_argument(std::string(what) + " " + formatGeneral(value) + ": " + std::string(accepted));
}

}  // namespace

void BandJacobian::throwOutOfBand(std::size_t i, std::size_t j) const {
  throw std::out_of_range("Jacobian entry (" + std::to_string(i) + ", " + std::to_string(j) +
                          ") lies outside the band of " + std::to_string(lower_) + " below and " +
                          std::to_string(upper_) + " above the diagonal of a " + std::to_string(size_) +
                          "-unknown system");
}

bool BdfError::stepVanished() const {
  return flag_ == CV_TOO_MUCH_ACC || flag_ == CV_ERR_FAILURE || flag_ == CV_CONV_FAILURE ||
         flag_ == CV_REPTD_RHSFUNC_ERR || flag_ == CV_UNREC_RHSFUNC_ERR || flag_ == CV_REPTD_PROJFUNC_ERR;
}

void checkBdfSystem(const BandedSystem& system, const BdfSettings& settings) {
  if (system.size == 0) throw std::invalid_argument("the system has no unknowns");
  // SUNDIALS indexes with a signed 64-bit type.
  if (system.size > static_cast<std::size_t>(std::numeric_limits<sunindextype>::max()))
    throw std::invalid_argument("the system has more unknowns than the banded solver can index");
  const auto checkBand = [&](std::size_t width, std::string_view name) {
    if (width >= system.size)
      throw std::invalid_argument("the " + std::string(name) + " half-bandwidth " + std::to_string(width) +
                                  " is not below the size of the system, " + std::to_string(system.size));
  };
  checkBand(system.lowerBandwidth, "lower");
  checkBand(system.upperBandwidth, "upper");
  if (!system.rightHandSide) throw std::invalid_argument("the system has no right-hand side");

  if (!positiveFinite(settings.relativeTolerance))
    refuse("relative tolerance", settings.relativeTolerance, "a positive, finite number is needed");
  if (settings.absoluteTolerances.empty()) {
    if (!positiveFinite(settings.absoluteTolerance))
      refuse("absolute tolerance", settings.absoluteTolerance, "a positive, finite number is needed");
  } else {
    if (settings.absoluteTolerances.size() != system.size)
      throw std::invalid_argument(std::to_string(settings.absoluteTolerances.size()) +
                                  " absolute tolerances for a system of " + std::to_string(system.size) +
                                  " unknowns: one per unknown is needed");
    for (std::size_t i = 0; i < system.size; ++i)
      if (!positiveFinite(settings.absoluteTolerances[i]))
        refuse("absolute tolerance of unknown " + std::to_string(i), settings.absoluteTolerances[i],
               "a positive, finite number is needed");
  }
  if (!(settings.firstStep >= 0 && settings.firstStep < kInfinity))
    refuse("first step", settings.firstStep, "0 (estimated) or a positive, finite step is needed");
  if (settings.firstStepAfterRestart &&
      !(*settings.firstStepAfterRestart >= 0 && *settings.firstStepAfterRestart < kInfinity))
    refuse("first step after a restart", *settings.firstStepAfterRestart,
           "0 (estimated) or a positive, finite step is needed");
  if (!(settings.largestStep > 0)) refuse("largest step", settings.largestStep, "a positive step is needed");
  if (settings.maxOrder < 1 || settings.maxOrder > 5)
    refuse("highest BDF order", settings.maxOrder, "an order from 1 to 5 is needed");
}

struct BdfStepper::Impl {
  BandedSystem system;
  // Declared in the order of making; members are destroyed in reverse.
  ContextPtr context;
  VectorPtr y;        // the state at `time`
  VectorPtr scratch;  // interpolate()'s output
  VectorPtr absoluteTolerances;
  MatrixPtr matrix;
  SolverPtr solver;
  IntegratorPtr cvode;
  double time = 0;
  double firstStepAfterRestart = 0;  // 0: estimated
  // The counters of CVODE restart at every restart; those of the earlier
  // stretches are kept here. The current stretch counts from its first step.
  BdfStatistics earlier;
  bool stretchStarted = false;
  // Set by a callback that threw, rethrown by step().
  std::exception_ptr callbackFailure;
  std::string integratorMessage;
  // BdfSettings::keepJacobians: the Jacobians kept, most recent first, the
  // key of the stretch in hand, whether the next request may take a kept
  // one; the stepper's own evaluations of the rates for Jacobians.
  struct KeptJacobian {
    double key = 0;
    MatrixPtr matrix;
  };
  std::vector<KeptJacobian> kept;
  std::optional<double> stretchKey;
  bool offerKept = false;
  VectorPtr weights;
  long differenceEvaluations = 0;
  long jacobiansReused = 0;

  [[nodiscard]] std::span<double> span(N_Vector vector) const { return {N_VGetArrayPointer(vector), system.size}; }

  // A failed SUNDIALS call while setting up or between steps.
  void check(int flag, std::string_view call) const {
    if (flag >= 0) return;
    throw BdfError(
        "the implicit integrator refused " + std::string(call) + ": " + integratorMessage + " (" + flagName(flag) + ")",
        flag, flagName(flag), time);
  }

  [[nodiscard]] BdfStatistics current() const;

  static int rightHandSideCallback(sunrealtype t, N_Vector y, N_Vector ydot, void* data);
  static int jacobianCallback(sunrealtype t, N_Vector y, N_Vector ydot, SUNMatrix matrix, void* data, N_Vector,
                              N_Vector, N_Vector);
  static int keptJacobianCallback(sunrealtype t, N_Vector y, N_Vector ydot, SUNMatrix matrix, void* data,
                                  N_Vector work1, N_Vector work2, N_Vector);
  int differenceJacobian(double t, N_Vector y, N_Vector ydot, SUNMatrix matrix, N_Vector rates, N_Vector shifted);
  void keep(double key, SUNMatrix matrix);
  static int projectionCallback(sunrealtype t, N_Vector y, N_Vector correction, sunrealtype, N_Vector, void* data);
  static void errorCallback(int code, const char*, const char*, char* message, void* data);
};

// The callbacks CVODE makes. No exception may cross the C code of the
// library: a throw is caught, kept, and reported as an unrecoverable failure,
// which makes CVODE abandon the step and return to step(), which rethrows.
int BdfStepper::Impl::rightHandSideCallback(sunrealtype t, N_Vector y, N_Vector ydot, void* data) {
  auto& impl = *static_cast<Impl*>(data);
  try {
    return impl.system.rightHandSide(t, impl.span(y), impl.span(ydot)) == BdfCallbackResult::Ok ? 0 : 1;
  } catch (...) {
    impl.callbackFailure = std::current_exception();
    return -1;
  }
}

int BdfStepper::Impl::jacobianCallback(sunrealtype t, N_Vector y, N_Vector ydot, SUNMatrix matrix, void* data, N_Vector,
                                       N_Vector, N_Vector) {
  auto& impl = *static_cast<Impl*>(data);
  try {
    BandJacobian jacobian(SUNBandMatrix_Cols(matrix), impl.system.size, impl.system.lowerBandwidth,
                          impl.system.upperBandwidth,
                          static_cast<std::size_t>(SUNBandMatrix_StoredUpperBandwidth(matrix)));
    return impl.system.jacobian(t, impl.span(y), impl.span(ydot), jacobian) == BdfCallbackResult::Ok ? 0 : 1;
  } catch (...) {
    impl.callbackFailure = std::current_exception();
    return -1;
  }
}

// The Jacobian of a stepper that keeps them: after a restart into a stretch
// whose key has one kept, that one; else formed from differences of the rates
// and kept under the stretch's key.
int BdfStepper::Impl::keptJacobianCallback(sunrealtype t, N_Vector y, N_Vector ydot, SUNMatrix matrix, void* data,
                                           N_Vector work1, N_Vector work2, N_Vector) {
  auto& impl = *static_cast<Impl*>(data);
  try {
    if (std::exchange(impl.offerKept, false) && impl.stretchKey)
      for (const KeptJacobian& kept : impl.kept)
        if (kept.key == *impl.stretchKey) {
          if (SUNMatCopy(kept.matrix.get(), matrix) != 0) break;
          ++impl.jacobiansReused;
          return 0;
        }
    const int result = impl.differenceJacobian(t, y, ydot, matrix, work1, work2);
    if (result == 0 && impl.stretchKey) impl.keep(*impl.stretchKey, matrix);
    return result;
  } catch (...) {
    impl.callbackFailure = std::current_exception();
    return -1;
  }
}

// Difference quotients of the rates by columns, grouped as the band allows:
// columns lower + upper + 1 apart touch no common row, so one evaluation
// perturbs them all. The increments are those of the integrator's own banded
// quotients: sqrt(unit roundoff) |y_j|, at least a floor from the step, the
// size and the weighted norm of the rates, over the error weight of y_j.
int BdfStepper::Impl::differenceJacobian(double t, N_Vector y, N_Vector ydot, SUNMatrix matrix, N_Vector rates,
                                         N_Vector shifted) {
  void* memory = cvode.get();
  if (CVodeGetErrWeights(memory, weights.get()) != CV_SUCCESS) return -1;
  double h = 0;
  CVodeGetCurrentStep(memory, &h);
  const std::size_t n = system.size;
  constexpr double roundoff = std::numeric_limits<double>::epsilon();
  const double root = std::sqrt(roundoff);
  const double norm = N_VWrmsNorm(ydot, weights.get());
  double floor = norm != 0 ? 1000 * std::fabs(h) * roundoff * static_cast<double>(n) * norm : 1.0;
  if (!(floor > 0)) floor = 1.0;
  const double* w = N_VGetArrayPointer(weights.get());
  const double* y0 = N_VGetArrayPointer(y);
  const double* f0 = N_VGetArrayPointer(ydot);
  const double* f1 = N_VGetArrayPointer(rates);
  double* y1 = N_VGetArrayPointer(shifted);
  std::copy(y0, y0 + n, y1);
  const std::size_t lower = system.lowerBandwidth;
  const std::size_t upper = system.upperBandwidth;
  const std::size_t width = lower + upper + 1;
  const auto increment = [&](std::size_t j) { return std::max(root * std::fabs(y0[j]), floor / w[j]); };
  for (std::size_t group = 0; group < std::min(width, n); ++group) {
    for (std::size_t j = group; j < n; j += width) y1[j] += increment(j);
    ++differenceEvaluations;
    if (system.rightHandSide(t, {y1, n}, span(rates)) != BdfCallbackResult::Ok) return 1;
    for (std::size_t j = group; j < n; j += width) {
      y1[j] = y0[j];
      const double inverse = 1.0 / increment(j);
      double* column = SUNBandMatrix_Column(matrix, static_cast<sunindextype>(j));
      const std::size_t first = j > upper ? j - upper : 0;
      const std::size_t last = std::min(j + lower, n - 1);
      for (std::size_t i = first; i <= last; ++i)
        column[static_cast<sunindextype>(i) - static_cast<sunindextype>(j)] = inverse * (f1[i] - f0[i]);
    }
  }
  return 0;
}

void BdfStepper::Impl::keep(double key, SUNMatrix matrix) {
  auto found = std::find_if(kept.begin(), kept.end(), [&](const KeptJacobian& k) { return k.key == key; });
  if (found == kept.end()) {
    if (kept.size() < kKeptJacobians) {
      MatrixPtr copy(SUNMatClone(matrix));
      if (!copy) return;
      kept.push_back({key, std::move(copy)});
    } else {
      kept.back().key = key;  // the least recent key gives way
    }
    found = kept.end() - 1;
  }
  if (SUNMatCopy(matrix, found->matrix.get()) != 0) {
    kept.erase(found);
    return;
  }
  std::rotate(kept.begin(), found, found + 1);  // most recent first
}

int BdfStepper::Impl::projectionCallback(sunrealtype t, N_Vector y, N_Vector correction, sunrealtype, N_Vector error,
                                         void* data) {
  auto& impl = *static_cast<Impl*>(data);
  try {
    return impl.system.projection(t, impl.span(y), impl.span(correction), impl.span(error)) == BdfCallbackResult::Ok
               ? 0
               : 1;
  } catch (...) {
    impl.callbackFailure = std::current_exception();
    return -1;
  }
}

// Keeps CVODE's explanation of an error for our message instead of letting
// the library print it to standard error.
void BdfStepper::Impl::errorCallback(int code, const char*, const char*, char* message, void* data) {
  if (code == CV_WARNING) return;
  try {
    static_cast<Impl*>(data)->integratorMessage = message != nullptr ? message : "";
  } catch (...) {
  }
}

BdfStatistics BdfStepper::Impl::current() const {
  BdfStatistics now;
  if (!stretchStarted) return now;
  void* memory = cvode.get();
  long rhsLinear = 0;
  CVodeGetNumSteps(memory, &now.steps);
  CVodeGetNumRhsEvals(memory, &now.rightHandSideEvaluations);
  CVodeGetNumLinRhsEvals(memory, &rhsLinear);
  now.rightHandSideEvaluations += rhsLinear;
  CVodeGetNumJacEvals(memory, &now.jacobianEvaluations);
  CVodeGetNumLinSolvSetups(memory, &now.linearSolverSetups);
  CVodeGetNumErrTestFails(memory, &now.errorTestFailures);
  CVodeGetNumNonlinSolvIters(memory, &now.nonlinearIterations);
  CVodeGetNumNonlinSolvConvFails(memory, &now.nonlinearConvergenceFailures);
  if (system.projection) CVodeGetNumProjEvals(memory, &now.projections);
  return now;
}

BdfStepper::BdfStepper(BandedSystem system, const BdfSettings& settings, double t0, std::span<const double> y0)
    : impl_(std::make_unique<Impl>()) {
  checkBdfSystem(system, settings);
  if (y0.size() != system.size)
    throw std::invalid_argument("an initial state of " + std::to_string(y0.size()) + " values for a system of " +
                                std::to_string(system.size) + " unknowns");
  for (std::size_t i = 0; i < y0.size(); ++i)
    if (!std::isfinite(y0[i]))
      refuse("initial value of unknown " + std::to_string(i), y0[i], "a finite number is needed");
  if (!std::isfinite(t0)) refuse("start time", t0, "a finite time is needed");

  Impl& impl = *impl_;
  impl.system = std::move(system);
  impl.time = t0;
  impl.firstStepAfterRestart = settings.firstStepAfterRestart.value_or(settings.firstStep);
  const auto n = static_cast<sunindextype>(impl.system.size);
  const auto lower = static_cast<sunindextype>(impl.system.lowerBandwidth);
  const auto upper = static_cast<sunindextype>(impl.system.upperBandwidth);
  const auto made = [&](auto* object, std::string_view what) {
    if (object == nullptr)
      throw BdfError("the implicit integrator could not make its " + std::string(what) + " (out of memory?)",
                     CV_MEM_FAIL, flagName(CV_MEM_FAIL), t0);
    return object;
  };

  SUNContext context = nullptr;
  if (SUNContext_Create(nullptr, &context) != 0 || context == nullptr)
    throw BdfError("the implicit integrator could not make its context", CV_MEM_FAIL, flagName(CV_MEM_FAIL), t0);
  impl.context.reset(context);
  impl.y.reset(made(N_VNew_Serial(n, context), "state vector"));
  impl.scratch.reset(made(N_VNew_Serial(n, context), "work vector"));
  std::copy(y0.begin(), y0.end(), N_VGetArrayPointer(impl.y.get()));
  impl.matrix.reset(made(SUNBandMatrix(n, upper, lower, context), "band matrix"));
  impl.solver.reset(made(SUNLinSol_Band(impl.y.get(), impl.matrix.get(), context), "band solver"));
  impl.cvode.reset(made(CVodeCreate(CV_BDF, context), "integrator"));

  void* memory = impl.cvode.get();
  impl.check(CVodeSetErrHandlerFn(memory, Impl::errorCallback, &impl), "its error handler");
  impl.check(CVodeInit(memory, Impl::rightHandSideCallback, t0, impl.y.get()), "the initial state");
  impl.check(CVodeSetUserData(memory, &impl), "its callbacks");
  if (settings.absoluteTolerances.empty()) {
    impl.check(CVodeSStolerances(memory, settings.relativeTolerance, settings.absoluteTolerance), "the tolerances");
  } else {
    impl.absoluteTolerances.reset(made(N_VNew_Serial(n, context), "tolerance vector"));
    std::copy(settings.absoluteTolerances.begin(), settings.absoluteTolerances.end(),
              N_VGetArrayPointer(impl.absoluteTolerances.get()));
    impl.check(CVodeSVtolerances(memory, settings.relativeTolerance, impl.absoluteTolerances.get()), "the tolerances");
  }
  impl.check(CVodeSetLinearSolver(memory, impl.solver.get(), impl.matrix.get()), "the band solver");
  if (impl.system.jacobian) {
    impl.check(CVodeSetJacFn(memory, Impl::jacobianCallback), "the Jacobian");
  } else if (settings.keepJacobians) {
    impl.weights.reset(made(N_VNew_Serial(n, context), "weight vector"));
    impl.check(CVodeSetJacFn(memory, Impl::keptJacobianCallback), "the Jacobian");
  }
  if (impl.system.projection) {
    impl.check(CVodeSetProjFn(memory, Impl::projectionCallback), "the projection");
    // The callback projects the error estimate too: left pointing off the
    // admissible states, it fails the error test step after step.
    impl.check(CVodeSetProjErrEst(memory, SUNTRUE), "the projection of the error");
  }
  impl.check(CVodeSetInitStep(memory, settings.firstStep), "the first step");
  // CVODE takes 0 for no limit.
  impl.check(CVodeSetMaxStep(memory, settings.largestStep < kInfinity ? settings.largestStep : 0), "the largest step");
  impl.check(CVodeSetMaxOrd(memory, settings.maxOrder), "the highest order");
  impl.check(CVodeSetStabLimDet(memory, settings.detectStabilityLimit ? SUNTRUE : SUNFALSE),
             "the stability limit detection");
  // No warnings that a step fell below the rounding of t: step() keeps the
  // smallest step above it.
  impl.check(CVodeSetMaxHnilWarns(memory, -1), "the warnings");
}

BdfStepper::~BdfStepper() = default;
BdfStepper::BdfStepper(BdfStepper&&) noexcept = default;
BdfStepper& BdfStepper::operator=(BdfStepper&&) noexcept = default;

BdfStep BdfStepper::step(double stopTime) {
  Impl& impl = *impl_;
  if (!(stopTime > impl.time) || !std::isfinite(stopTime))
    refuse("stop time", stopTime, "a finite time after the time reached, " + formatGeneral(impl.time) + ", is needed");
  void* memory = impl.cvode.get();
  // CVODE forgets the stop time once it has landed on it, so it is set anew
  // for every step.
  impl.check(CVodeSetStopTime(memory, stopTime), "the stop time");
  // A step shorter than a few units in the last place of the clock no
  // longer moves it, and CVODE would go on taking such steps: below this it
  // reports the step as failed instead.
  const double resolution = kStepsInTimeResolution * std::numeric_limits<double>::epsilon() *
                            std::max(std::abs(impl.time), std::abs(stopTime));
  impl.check(CVodeSetMinStep(memory, resolution), "the smallest step");
  impl.stretchStarted = true;
  impl.callbackFailure = nullptr;
  impl.integratorMessage.clear();
  double reached = impl.time;
  const int flag = CVode(memory, stopTime, impl.y.get(), &reached, CV_ONE_STEP);
  if (flag < 0) {
    // CVODE has put the state of the last completed step back into y.
    if (impl.callbackFailure) {
      std::exception_ptr failure = std::exchange(impl.callbackFailure, nullptr);
      std::rethrow_exception(failure);
    }
    double lastStep = 0;
    CVodeGetCurrentStep(memory, &lastStep);
    std::string message = "the implicit integrator failed after t = " + formatGeneral(impl.time) +
                          " s with the step at " + formatGeneral(lastStep) + " s: ";
    const std::string_view ours = explanation(flag);
    message += ours.empty() ? std::string_view(impl.integratorMessage) : ours;
    message += " (" + flagName(flag) + ")";
    throw BdfError(message, flag, flagName(flag), impl.time);
  }
  impl.time = reached;
  BdfStep result;
  result.time = reached;
  result.reachedStop = flag == CV_TSTOP_RETURN;
  CVodeGetLastStep(memory, &result.stepSize);
  CVodeGetLastOrder(memory, &result.order);
  return result;
}

void BdfStepper::restart(double t, std::span<const double> y) {
  Impl& impl = *impl_;
  if (y.size() != impl.system.size)
    throw std::invalid_argument("a state of " + std::to_string(y.size()) + " values for a system of " +
                                std::to_string(impl.system.size) + " unknowns");
  if (!std::isfinite(t)) refuse("restart time", t, "a finite time is needed");
  for (std::size_t i = 0; i < y.size(); ++i)
    if (!std::isfinite(y[i])) refuse("value of unknown " + std::to_string(i), y[i], "a finite number is needed");
  const BdfStatistics now = impl.current();
  std::copy(y.begin(), y.end(), N_VGetArrayPointer(impl.y.get()));
  // CVODE takes the first step it is given at the first step after every
  // (re)initialisation.
  impl.check(CVodeSetInitStep(impl.cvode.get(), impl.firstStepAfterRestart), "the first step");
  impl.check(CVodeReInit(impl.cvode.get(), t, impl.y.get()), "the restart");
  accumulate(impl.earlier, now);
  impl.earlier.restarts += 1;
  impl.stretchStarted = false;
  impl.time = t;
  impl.offerKept = impl.weights != nullptr && impl.stretchKey.has_value();
}

void BdfStepper::setJacobianKey(std::optional<double> key) {
  impl_->stretchKey = key;
}

void BdfStepper::restart() {
  // restart() copies from its argument into the state vector; a copy keeps
  // the two from overlapping.
  const std::vector<double> y(state().begin(), state().end());
  restart(impl_->time, y);
}

double BdfStepper::time() const {
  return impl_->time;
}

std::span<const double> BdfStepper::state() const {
  return impl_->span(impl_->y.get());
}

void BdfStepper::interpolate(double t, int k, std::span<double> out) {
  Impl& impl = *impl_;
  if (out.size() != impl.system.size)
    throw std::invalid_argument("room for " + std::to_string(out.size()) + " values for a system of " +
                                std::to_string(impl.system.size) + " unknowns");
  impl.integratorMessage.clear();
  const int flag = CVodeGetDky(impl.cvode.get(), t, k, impl.scratch.get());
  if (flag == CV_BAD_K || flag == CV_BAD_T)
    throw std::invalid_argument("no interpolation of derivative " + std::to_string(k) + " at t = " + formatGeneral(t) +
                                ": " + impl.integratorMessage);
  impl.check(flag, "the interpolation");
  const std::span<const double> values = impl.span(impl.scratch.get());
  std::copy(values.begin(), values.end(), out.begin());
}

BdfStatistics BdfStepper::statistics() const {
  const BdfStatistics now = impl_->current();
  BdfStatistics sum = impl_->earlier;
  accumulate(sum, now);
  // CVODE counts a kept Jacobian as evaluated, and not the stepper's own
  // evaluations of the rates for the ones it forms.
  sum.jacobianEvaluations -= impl_->jacobiansReused;
  sum.jacobiansReused = impl_->jacobiansReused;
  sum.rightHandSideEvaluations += impl_->differenceEvaluations;
  return sum;
}

double BdfStepper::nextStepSize() const {
  double h = 0;
  CVodeGetCurrentStep(impl_->cvode.get(), &h);
  return h;
}

std::size_t BdfStepper::size() const {
  return impl_->system.size;
}

}  // namespace torvex
