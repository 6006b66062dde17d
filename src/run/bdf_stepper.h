#pragma once
// An implicit integrator for stiff systems of ordinary differential equations
// dy/dt = f(t, y) whose Jacobian ∂f/∂y is banded: the variable-order BDF
// method (orders 1 to 5) with Newton iteration and a banded direct linear
// solver, from the CVODE integrator of SUNDIALS.
//
// Diffusion on a grid is such a system: a point's rate depends only on a few
// neighbours, so with the unknowns ordered point by point the Jacobian has a
// few diagonals either side, and one Newton step costs a banded LU solve,
// O(size · bandwidth²). The stable step of an explicit method falls as h²/D;
// this one is limited by the accuracy asked for alone.
//
// The stepper knows nothing of the model: it is given the size, the two
// half-bandwidths and a right-hand side (plus, optionally, the Jacobian), and
// is driven one internal step at a time, so a run loop can count, refresh and
// save after each step as it does after a Runge-Kutta pass. Every SUNDIALS
// object (its context included) belongs to one stepper, so several steppers
// run in parallel threads.

#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace torvex {

// What a right-hand side or Jacobian callback reports. A callback that cannot
// evaluate at all throws: the step is abandoned and the exception reaches the
// caller of BdfStepper::step.
enum class BdfCallbackResult {
  Ok,
  // The state of this trial step cannot be evaluated (a concentration below
  // zero from a step that was too long, say): the integrator retries with a
  // smaller step. Repeated, it ends the step with a BdfError.
  Retry,
};

// The banded Jacobian ∂f_i/∂y_j a Jacobian callback fills. Only entries with
// −lower ≤ j − i ≤ upper exist; every entry is 0 when the callback starts.
class BandJacobian {
 public:
  BandJacobian(double** columns, std::size_t size, std::size_t lower, std::size_t upper, std::size_t storedUpper)
      : columns_(columns), size_(size), lower_(lower), upper_(upper), storedUpper_(storedUpper) {}

  // The entry of row i, column j. Throws std::out_of_range outside the band.
  double& operator()(std::size_t i, std::size_t j) {
    if (i >= size_ || j >= size_ || i + upper_ < j || j + lower_ < i) throwOutOfBand(i, j);
    return columns_[j][storedUpper_ + i - j];
  }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::size_t lowerBandwidth() const { return lower_; }
  [[nodiscard]] std::size_t upperBandwidth() const { return upper_; }

 private:
  [[noreturn]] void throwOutOfBand(std::size_t i, std::size_t j) const;

  double** columns_;
  std::size_t size_;
  std::size_t lower_;
  std::size_t upper_;
  std::size_t storedUpper_;
};

// The system: `size` unknowns; ∂f_i/∂y_j is zero unless
// −lowerBandwidth ≤ j − i ≤ upperBandwidth.
struct BandedSystem {
  using RightHandSide = std::function<BdfCallbackResult(double t, std::span<const double> y, std::span<double> ydot)>;
  // ydot holds f(t, y) at the same state.
  using Jacobian = std::function<BdfCallbackResult(double t, std::span<const double> y, std::span<const double> ydot,
                                                   BandJacobian& jacobian)>;

  std::size_t size = 0;
  std::size_t lowerBandwidth = 0;
  std::size_t upperBandwidth = 0;
  // f(t, y) into ydot; required.
  RightHandSide rightHandSide;
  // ∂f/∂y; when empty the Jacobian is formed from differences of f, in
  // lowerBandwidth + upperBandwidth + 1 evaluations. The band must hold
  // every dependence of f: the difference quotients perturb columns
  // lowerBandwidth + upperBandwidth + 1 apart together and credit a row's
  // change to the one column within its band, so a dependence outside the
  // band corrupts entries inside it (and, through Newton's convergence
  // test, the solution).
  Jacobian jacobian;
  // Optional: after every step that converged, the correction that takes
  // the new state y onto the admissible states (a normalisation, a floor):
  // the step ends at y + correction and the integrator goes on from there
  // with its history, instead of starting afresh. `error` holds the step's
  // estimated local error and must be projected too, linearised about y
  // (for a rescaling y·S/Σy: error − y·Σerror/Σy): the error test and the
  // next step's size are decided from it, and an error that still points
  // off the admissible states makes the steps collapse. Meant for
  // corrections of the size of the local error (a drift off a constraint
  // that the equations keep only approximately); Retry rejects the step
  // and retries it shorter.
  using Projection = std::function<BdfCallbackResult(double t, std::span<const double> y, std::span<double> correction,
                                                     std::span<double> error)>;
  Projection projection;
};

// How closely and how far the stepper steps. The local error of a step in
// unknown i is held to relativeTolerance · |y_i| + the absolute tolerance of
// i (a weighted root mean square over all unknowns at most 1).
struct BdfSettings {
  double relativeTolerance = 1e-6;
  // One absolute tolerance for every unknown, in the units of y...
  double absoluteTolerance = 1e-10;
  // ...or one per unknown (then of the system's size), for unknowns of
  // different scales.
  std::vector<double> absoluteTolerances;
  // The first step (and the first after each restart); 0 lets the
  // integrator estimate it from the rates and the tolerances.
  double firstStep = 0;
  // The first step after a restart; when empty, firstStep again. A restart
  // follows a jump of the rates or of the state, which the steps before it
  // say little about: 0 lets the integrator estimate the step from the
  // rates at the new state.
  std::optional<double> firstStepAfterRestart;
  // No step is longer.
  double largestStep = std::numeric_limits<double>::infinity();
  // The highest order of the BDF formulas, 1 to 5. Every order is stable
  // for the real, negative eigenvalues of pure diffusion; above order 2 the
  // formulas lose stability near the imaginary axis (strong drift), where
  // the order-reducing detection of the stability limit helps.
  int maxOrder = 5;
  bool detectStabilityLimit = false;
  // Keep the Jacobians formed during stretches named by a key (see
  // BdfStepper::setJacobianKey), and offer them after a restart into a
  // stretch of the same key, so that a restart need not form the Jacobian
  // anew. Without a Jacobian of the system's own, the stepper then forms it
  // from differences of the rates itself (as the integrator would).
  bool keepJacobians = false;
};

// Counters of the work done since the stepper was made (restarts included).
struct BdfStatistics {
  long steps = 0;
  long rightHandSideEvaluations = 0;  // including those that formed Jacobians
  long jacobianEvaluations = 0;
  long linearSolverSetups = 0;  // LU factorisations
  long errorTestFailures = 0;
  long nonlinearIterations = 0;
  long nonlinearConvergenceFailures = 0;
  long projections = 0;
  long restarts = 0;
  long jacobiansReused = 0;  // kept Jacobians taken after a restart instead of new ones
};

// One internal step taken.
struct BdfStep {
  double time = 0;           // the time reached
  double stepSize = 0;       // the step that reached it
  int order = 0;             // of the BDF formula it used
  bool reachedStop = false;  // time is the stop time, exactly
};

// A failure of the integrator: its flag (a negative CVODE return value), the
// flag's name (CV_TOO_MUCH_ACC, CV_CONV_FAILURE …), the time the stepper had
// reached, and the integrator's own explanation in the message.
class BdfError : public std::runtime_error {
 public:
  BdfError(const std::string& message, int flag, std::string flagName, double time)
      : std::runtime_error(message), flag_(flag), flagName_(std::move(flagName)), time_(time) {}
  [[nodiscard]] int flag() const { return flag_; }
  [[nodiscard]] const std::string& flagName() const { return flagName_; }
  [[nodiscard]] double time() const { return time_; }
  // The step fell to round-off of the time without passing the error or the
  // convergence test, or a callback asked for smaller steps until none was
  // left: no smaller step can go on.
  [[nodiscard]] bool stepVanished() const;

 private:
  int flag_;
  std::string flagName_;
  double time_;
};

// Refuses a system or settings the stepper cannot work with: no unknowns, a
// half-bandwidth of size or more, no right-hand side; a relative or absolute
// tolerance that is not positive and finite, a per-unknown list of the wrong
// length; a first step (also after a restart) that is negative or not
// finite, a largest step that is
// not positive; an order outside 1-5. Throws std::invalid_argument naming the
// setting and its value.
void checkBdfSystem(const BandedSystem& system, const BdfSettings& settings);

class BdfStepper {
 public:
  // Starts at time t0 from y0 (of the system's size, every value finite).
  // Throws what checkBdfSystem throws, std::invalid_argument for a y0 of the
  // wrong size or with a value that is not finite, BdfError when SUNDIALS
  // cannot set up. Evaluates nothing yet.
  BdfStepper(BandedSystem system, const BdfSettings& settings, double t0, std::span<const double> y0);
  ~BdfStepper();
  BdfStepper(BdfStepper&&) noexcept;
  BdfStepper& operator=(BdfStepper&&) noexcept;
  BdfStepper(const BdfStepper&) = delete;
  BdfStepper& operator=(const BdfStepper&) = delete;

  // One internal step, never past stopTime (> time()): a step that would
  // pass it is shortened to land on it, and the time returned is then
  // stopTime exactly. The integrator's history carries over to the next
  // step. An exception thrown by a callback is rethrown here; a failure of the
  // integrator throws BdfError. Either way the stepper stays at the last step
  // it completed (time() unchanged, state() to rounding: the integrator takes
  // its prediction back) and can step again. A step that would be shorter
  // than about ten units in the last place of the time fails (the step
  // vanished) instead of leaving the clock where it is. A stop time within
  // rounding of the time reached is landed on without a step.
  BdfStep step(double stopTime);

  // Starts the integrator afresh at time t from y, as after construction:
  // for a right-hand side that changed discontinuously (a temperature step)
  // or a state changed from outside. The step history is dropped; the
  // statistics go on.
  void restart(double t, std::span<const double> y);
  // The same at the current time and state.
  void restart();

  // With BdfSettings::keepJacobians: the key of the stretch from now on (a
  // constant the rates depend on besides t and y, such as the temperature
  // of a hold), or none for a stretch whose Jacobians are not to be kept.
  // The Jacobians formed in a stretch with a key are kept under it (the
  // last one of each of the two most recent keys); the first Jacobian the
  // integrator asks for after the next restart is the one kept under the
  // key, if any. A Jacobian from a nearby state is good enough for Newton's
  // iteration; where it is not, the iteration fails to converge and the
  // integrator asks again, and gets a new one. Without keepJacobians this
  // does nothing.
  void setJacobianKey(std::optional<double> key);

  // The time reached and the state there.
  [[nodiscard]] double time() const;
  [[nodiscard]] std::span<const double> state() const;

  // The integrator's interpolating polynomial of the last step: the k-th
  // time derivative (k from 0 to the order used) of y at t, which must lie
  // within that step, into out (of the system's size).
  void interpolate(double t, int k, std::span<double> out);

  [[nodiscard]] BdfStatistics statistics() const;
  // The step the integrator will try next.
  [[nodiscard]] double nextStepSize() const;
  [[nodiscard]] std::size_t size() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace torvex
