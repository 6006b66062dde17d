#pragma once
// The right-hand side of the diffusion equations: dc_i/dt at every grid point
// from the concentration profile a run's state holds.
//
// The solver reads the case and reads and writes the state's arrays; it keeps
// no state of its own. The arrays exist from RunState::prepare, so an
// evaluation allocates nothing. The case is taken as validated
// (Case::validate): a switch the solver has no equations for computes
// nothing (a difference scheme without a formula gives NaN).

#include <cmath>
#include <span>

#include "model/case.h"
#include "solver/run_state.h"

namespace torvex {

// A diffusion velocity is never allowed above this many times B_i R T (cm/s).
constexpr double kVelocityLimitFactor = 50000000.0;

// One evaluation of dc/dt from s.concentration into s.concentrationRate,
// filling every intermediate array of s on the way. Difference schemes 0-2
// expand the divergences by the product rule at the grid points; in a closed
// sample (no boundary flux) they set the end concentrations to their
// neighbours' values in place. Scheme 3 balances face fluxes over cells (see
// face_fluxes.h) and leaves the profile as it is. Throws FatalModelError when
// a built-in alloy model is used with r other than 3.
void EvaluateDerivative(const Case& c, RunState& s);

// The same on a concentration field of the caller's (r rows of n values,
// row after row): it is copied into s.concentration, evaluated, and dc/dt is
// copied into rate (same layout). For integrators that keep their own
// vectors; allocates nothing.
void EvaluateDerivative(const Case& c, RunState& s, std::span<const double> concentration, std::span<double> rate);

// totalConcentration := sum_i c_i at every grid point (mol/cm^3).
void SumConcentrations(const Case& c, RunState& s);
// molarRatio := c_i / c at every grid point.
void ComputeMolarRatios(const Case& c, RunState& s);
// molarVolume := sum_i Omega_i N_i at every grid point (cm^3/mol).
void ComputeMixtureVolume(const Case& c, RunState& s);

// Throws FatalModelError with `message`, the fixed text of a built-in alloy
// model used with r other than 3, and a detail naming the data file, the key
// that chose the model (`choice`, for example "key D9: the built-in Cu-Fe-Ni
// diffusivities (D9 = 2)") and the number of components.
[[noreturn]] void refuseComponentCount(const Case& c, const char* message, const char* choice);

// The largest diffusion velocity allowed for mobility B_i at temperature T:
// kVelocityLimitFactor B_i R T (cm/s).
inline double velocityLimit(double mobility, double temperature) {
  return mobility * kSolverGasConstant * temperature * kVelocityLimitFactor;
}

// Cuts velocity to |limit| with its sign kept when it is larger; says whether
// it did.
inline bool limitVelocity(double& velocity, double limit) {
  if (!(std::fabs(velocity) > std::fabs(limit))) return false;
  velocity = (velocity / std::fabs(velocity)) * limit;
  return true;
}

}  // namespace torvex
