#pragma once
// Fluxes through the two ends of the sample (mol/(cm^2 s), positive toward
// increasing x) and the end-point diffusion velocities v_i = J_i / c_i they
// impose. Called after the molar ratios and mobilities of an evaluation.

#include "model/case.h"
#include "solver/run_state.h"

namespace torvex {

// Boundary flux mode 1: a left and a right formula per component. Formulas
// are evaluated only once the clock has started; velocities beyond the
// velocity limit are cut and their fluxes reduced to match.
void ComputeBoundaryFluxFormulas(const Case& c, RunState& s);

// The five selective-oxidation constants of the first boundary-flux formula
// line (blank-separated; the fifth field is the rest of the line), each from
// its cache or evaluated at the surface point n-1, into the scale's
// diffusivity (cm^2/s), molar concentration (mol/cm^3), inner pressure (p'),
// external pressure (p'') and flux multiplier. A constant the parser rejects
// counts as 0. Formulas with variables see molarRatio at point n-1.
void UpdateOxidationConstants(const Case& c, RunState& s);

// Boundary flux mode 2: selective oxidation of component 1 at the right
// surface. Sets the five oxidation constants, the parabolic rate constant kp
// of the scale and the surface flux c_ox kp / xi, reduced where it would
// deplete the surface point below 1 % of the total concentration within one
// stage step (with the explicit integrator only: with Integrator::Bdf the
// surface flux is c_ox kp / xi as it stands).
void ComputeBoundaryFluxOxidation(const Case& c, RunState& s);

// Boundary flux mode 2 for the conservative scheme (D16 = 3): as above, but
// the limit comes from the balance of the half cell at the surface, into
// which component 1 arrives with innerFlux (mol/(cm^2 s), toward +x) through
// its inner face: the cell keeps at least 1 % of the total concentration
// over one stage step (again with the explicit integrator only).
void ComputeBoundaryFluxOxidationHalfCell(const Case& c, RunState& s, double innerFlux);

}  // namespace torvex
