#pragma once
// Diffusion velocities, the Darken velocity and the rates dc_i/dt. Each
// function reads what the earlier steps of an evaluation wrote into the state
// (mobilities, gradients, boundary velocities) and writes its own arrays.
// R is the solver's gas constant (8).

#include "model/case.h"
#include "solver/run_state.h"

namespace torvex {

// Fick (ideal activities): v_i = -(B_i / c_i) R T dc_i/dx at the interior
// points; the end points keep the velocities the boundary fluxes set.
void ComputeVelocitiesFick(const Case& c, RunState& s);
// Nernst-Planck: v_i = -B_i dmu_i/dx at the interior points.
void ComputeVelocitiesNernstPlanck(const Case& c, RunState& s);

// Onsager coefficients at every point, with S = sum_l N_l B_l:
// L_ii = (sum_{l != i} N_l B_l) c_i B_i / S, L_ij = -c_i B_i N_j B_j / S.
void ComputeOnsagerCoefficients(const Case& c, RunState& s);
// v_i = sum_j (1 / c_i) L_ij (-R T / c_j) dc_j/dx at every point.
void ComputeVelocitiesOnsagerIdeal(const Case& c, RunState& s);
// v_i = sum_j (1 / c_i) L_ij (-dmu_j/dx) at every point.
void ComputeVelocitiesOnsager(const Case& c, RunState& s);

// Cuts every v_i to the velocity limit with its sign kept.
// diffusionVelocityGradient is left as it is.
void LimitVelocities(const Case& c, RunState& s);

// Darken velocity v^D = -P / Q with P = sum_i c_i Omega_i v_i and
// Q = sum_i c_i Omega_i (cm/s), and its derivative by the quotient rule.
void ComputeDarkenVelocity(const Case& c, RunState& s);
void ComputeDarkenVelocityGradient(const Case& c, RunState& s);

// dc_i/dt in the volume-fixed frame:
// -d(c_i v^D)/dx - d(c Omega_i c_i v_i)/dx, expanded by the product rule.
void ComputeRatesVolumeFixed(const Case& c, RunState& s);
// dc_i/dt in the classic frame: -d(c_i (v^D + v_i))/dx by the product rule.
void ComputeRatesClassic(const Case& c, RunState& s);

}  // namespace torvex
