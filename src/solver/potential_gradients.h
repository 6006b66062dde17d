#pragma once
// Gradients of the chemical potentials (J/(mol cm)) for non-ideal
// activities, by the chain rule over the first r-1 molar ratios:
// dmu_q/dx = sum_{l < r-1} phi_ql dN_l/dx with phi_ql = dmu_q/dN_l.
// Each mode sets the gradient to 0 at both ends of the sample.

#include "model/case.h"
#include "solver/run_state.h"

namespace torvex {

// Activity mode 1: the built-in Cu-Fe-Ni fit. Throws FatalModelError when r
// is not 3.
void ComputePotentialGradientsCuFeNi(const Case& c, RunState& s);
// Activity mode 2: the built-in Fe-Ni-Cr model at the run's temperature.
// Throws FatalModelError when r is not 3.
void ComputePotentialGradientsFeNiCr(const Case& c, RunState& s);
// Activity mode 3: phi from the r x r formulas of the activities file, at the
// interior points where the profile is not flat; elsewhere the gradient of
// the previous evaluation stays.
void ComputePotentialGradientsFromFile(const Case& c, RunState& s);

}  // namespace torvex
