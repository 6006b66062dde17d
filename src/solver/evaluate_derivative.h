#pragma once
// The right-hand side of the diffusion equations: dc_i/dt at every grid point
// from the concentration profile the model holds.
//
// The solver reads and writes the model's arrays and keeps no state of its
// own; the arrays exist from the load, so an evaluation allocates nothing.

#include <cmath>

#include "model/tform1.h"

namespace torvex {

// The gas constant of the solver, J/(mol K). Exactly 8, not 8.314: results
// are compared with earlier runs of the same input, which used this value.
constexpr double kSolverGasConstant = 8.0;

// A diffusion velocity is never allowed above this many times B_i R T (cm/s).
constexpr double kVelocityLimitFactor = 50000000.0;

// One evaluation of dc/dt from `concentration` into `concentrationRate`,
// filling every intermediate array on the way. Difference schemes 0-2 expand
// the divergences by the product rule at the grid points; in a closed sample
// (boundary flux mode 0) they set the end concentrations to their
// neighbours' values in place. Scheme 3 balances face fluxes over cells
// (see face_fluxes.h) and leaves the profile as it is. Throws InputError before touching anything when a switch has a
// value the solver has no equations for (see checkSolverModes), and FatalModelError when a built-in alloy model is used
// with r other than 3.
void EvaluateDerivative(TForm1& model);

// totalConcentration := sum_i c_i at every grid point (mol/cm^3).
void SumConcentrations(TForm1& model);
// molarRatio := c_i / c at every grid point.
void ComputeMolarRatios(TForm1& model);
// molarVolume := sum_i Omega_i N_i at every grid point (cm^3/mol).
void ComputeMixtureVolume(TForm1& model);

// Refuses switch values that the solver has no equations for: difference
// scheme (D16) above 3, constitutive equations (D13) other than 0
// and 1, activities (D12) above 3. Throws InputError naming the data file,
// the key, the value and the values accepted. Runs call it before they
// start, so such a case fails at once with the reason instead of running.
void checkSolverModes(const TForm1& model);

// Throws FatalModelError with `message`, the fixed text of a built-in alloy
// model used with r other than 3, and a detail naming the data file, the key
// that chose the model (`choice`, for example "key D9: the built-in Cu-Fe-Ni
// diffusivities (D9 = 2)") and the number of components.
[[noreturn]] void refuseComponentCount(const TForm1& model, const char* message, const char* choice);

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
