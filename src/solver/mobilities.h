#pragma once
// Mobilities B_i = D_i / (f R T) from the self-diffusion coefficients D_i
// (cm^2/s), by the diffusivity mode (key D9). R is the solver's gas constant.

#include "model/case.h"
#include "solver/run_state.h"

namespace torvex {

// True when the molar ratios change on either side of interior point k
// (exact comparison): only there does the profile need transport
// coefficients, since everything is flat elsewhere.
bool profileVariesAt(const Case& c, const RunState& s, int k);

// The mobilities of the current diffusivity mode (below); a mode without
// equations leaves every mobility as it is.
void ComputeMobilities(const Case& c, RunState& s);

// Mode 0: one formula per component from the diffusivity file. Points that
// need no coefficients get mobility 0.
void ComputeMobilitiesFromFormulas(const Case& c, RunState& s);
// Mode 1: a matrix of formulas; one log-mean diffusivity for every
// component, D = exp(sum_j N_j ln M_jj + sum_{s<t, M_st != 0} N_s N_t ln M_st).
// Points that need no coefficients keep their previous mobilities, unless
// one of them is not a finite number (left by a rejected pass).
void ComputeMobilitiesFromMatrix(const Case& c, RunState& s);
// Mode 2: the built-in Cu-Fe-Ni alloy (components Cu, Fe, Ni). Throws
// FatalModelError when r is not 3.
void ComputeMobilitiesCuFeNi(const Case& c, RunState& s);

}  // namespace torvex
