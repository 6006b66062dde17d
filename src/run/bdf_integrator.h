#pragma once
// The implicit time loop of a run (Integrator::Bdf): the variable-order BDF
// method of bdf_stepper.h on the model's own right-hand side, one internal
// step per pass, for fine grids and long anneals where the explicit loop's
// stable step (falling as h²/D) makes it slow.
//
// The unknowns are ordered point by point, y[k r + i] = c_i at point k, so
// that the Jacobian is banded: a point's rate reaches two points either side
// in the interior and three at the ends with the product-rule schemes
// (half-bandwidth 4r - 1), one point with the conservative scheme (2r - 1).
// Under selective oxidation the oxide thickness is one more unknown after the
// last point, integrated with the profile (dX/dt = kp / X).
//
// What a pass does differently from a Runge-Kutta pass:
//   - the step is the integrator's, held to the tolerances D4 maps to
//     (bdfTolerances); D3 is its first step and D5 its largest (the first
//     step after a corner is estimated from the rates there); D6 and D7
//     are not used;
//   - the normalisation and the molar-ratio floor are applied after every
//     step as a projection that keeps the integrator's history (the
//     estimated error is projected with the state);
//   - the right-hand side is evaluated at its own time: the temperature of
//     the schedule and the clock of the boundary-flux formulas are those of
//     each evaluation, not of the start of the pass;
//   - the surface flux of selective oxidation is not capped by the stage
//     step (that cap makes the rates depend on the step); where kp would
//     fall below 0 (the surface at the content where the oxygen pressures
//     balance) kp and the flux are 0, so the scale stops growing there
//     instead of giving metal back;
//   - with the conservative scheme the Kirkendall plane and the flows
//     through the ends are integrated over each step by two-point Gauss
//     quadrature of the integrator's interpolant;
//   - before Refresh the rates are evaluated once more at the state the step
//     reached, so that the records hold the velocities, fluxes and kp of the
//     profile they are written with.
// A pass lands exactly on the end time, a corner of the schedule and an
// output time; after a corner the integrator starts afresh (the rates may
// jump there), and after a cool-down that spalled the scale it starts from
// the thinner scale the life books left.

#include <cstddef>
#include <optional>
#include <vector>

#include "model/case.h"
#include "run/bdf_stepper.h"
#include "run/integrator.h"
#include "solver/run_state.h"

namespace torvex {

// The tolerances D4 maps to: the absolute tolerance is D4 / (10 sqrt(r n))
// (mol/cm^3, the units of the explicit loop's bound on the error estimate of
// every entry), so that the integrator's root-mean-square error test bounds
// every entry's local error by D4 / 10; the relative one is that divided by
// the largest total concentration of the initial profile. A relative
// tolerance is at most 0.1.
struct BdfTolerances {
  double relative = 0;
  double absolute = 0;  // mol/cm^3
};
BdfTolerances bdfTolerances(const Case& c);

// How one implicit pass came out.
struct BdfPass {
  bool accepted = false;  // a step was taken (and Refresh called)
  int rejected = 0;       // tries the integrator rejected before it (error test, Newton)
  bool vanished = false;  // no step could be taken: the step vanished
};

class BdfIntegrator {
 public:
  // After the run's records are opened (the oxide thickness set) and the
  // clock reset: normalises and floors the profile as a Runge-Kutta pass
  // would, and starts the integrator from it at the state's time. Throws
  // BdfError when the integrator cannot be set up.
  BdfIntegrator(const Case& c, RunState& s);

  // One step towards the next landing, then (when taken) the state's clock,
  // step, profile, oxide and Kirkendall plane at its end, one evaluation
  // there, and the common end of an accepted pass (FinishAcceptedPass). A
  // failure of the integrator other than a vanished step throws BdfError; an
  // exception of a hand-over is passed on; a non-finite state or rate at the
  // start of the run or the end of the step throws NonFinitePass. Counts the pass and its rejected
  // tries in the state's stepCount.
  BdfPass pass(RunHost& host);

  [[nodiscard]] BdfStatistics statistics() const;

 private:
  [[nodiscard]] BandedSystem system();
  BdfCallbackResult evaluate(double t, const double* y);
  BdfCallbackResult project(std::span<const double> y, std::span<double> correction, std::span<double> error) const;
  void setEvaluationClock(double t);
  void loadState(std::span<const double> y);
  void integrateConservativeTerms(double from, double to);
  void refuseNonFinite(double time);

  const Case& c_;
  RunState& s_;
  RunHost* host_ = nullptr;
  bool oxidation_ = false;
  std::size_t profileSize_ = 0;  // r n
  double stepStart_ = 0;         // s, the time the step in hand starts from
  double landing_ = 0;           // s, the time it may not pass
  std::vector<double> buffer_;   // one state, for the interpolant
  std::optional<BdfStepper> stepper_;
  long failuresSoFar_ = 0;
  bool startChecked_ = false;
};

}  // namespace torvex
