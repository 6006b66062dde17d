#pragma once
// The conservative form of the diffusion equations (difference scheme 3): a
// balance over cells centred on the grid points, whose faces lie halfway
// between neighbouring points. Every flux leaves one cell and enters its
// neighbour, so the amount of each component in the sample changes only by
// what crosses its two ends.
//
// The flux through a face is Darken's volume-fixed flux
//   F_i = c_i (v_i + v^D),   v^D = -sum_j c_j Omega_j v_j / sum_j c_j Omega_j,
// with c_i, B_i, Omega_i and the chemical-potential derivatives taken as the
// means of the face's two points and the driving forces from the difference
// across it. Since sum_i Omega_i F_i = 0 at every face, the volume each
// cell holds stays as it is: the frame is volume-fixed whatever key D14
// says.
//
// Cell widths: w_k = (x_{k+1} - x_{k-1}) / 2 inside, half cells of
// (x_1 - x_0) / 2 and (x_{n-1} - x_{n-2}) / 2 at the ends, so that
// sum_k w_k c_k is the trapezoid rule over the sample.

#include "model/case.h"
#include "solver/run_state.h"

namespace torvex {

// Whether any concentration differs between grid points k and k+1 (exact
// comparison): only such a face carries a diffusion flux.
bool faceHasGradient(const Case& c, const RunState& s, int k);

// Width of the cell around grid point k (cm).
double cellWidth(const Case& c, const RunState& s, int k);

// The amount of component i in the sample per unit cross-section,
// sum_k w_k c_i,k (mol/cm^2).
double inventory(const Case& c, const RunState& s, int i);

// dc/dt by the face fluxes, from the concentrations, totals and molar ratios
// the caller has computed: mobilities, boundary fluxes, faceFlux,
// faceDarkenVelocity, concentrationRate, darkenVelocity at the points (when
// the Darken velocity is on), wallInflowRate and kirkendallVelocity at
// kirkendallStagePosition. The end concentrations are left as they are.
// Throws FatalModelError when a built-in alloy model is used with r other
// than 3.
void EvaluateDerivativeConservative(const Case& c, RunState& s);

// The grid of a receding run at sample length `length` (cm): the start grid
// (RunState::startPosition) contracted uniformly toward its first point.
void placeRecedingGrid(const Case& c, RunState& s, double length);

// The drift of the lattice at x (cm/s): the Darken velocity of the last
// evaluation, linear between the faces (and toward 0 at a closed end, held
// at an open one), plus the sigma velocity of the input, linear between the
// grid points. x outside the sample counts as its nearest end.
double latticeDriftAt(const Case& c, const RunState& s, double x);

}  // namespace torvex
