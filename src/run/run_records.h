#pragma once
// The run's side of its three records (results/records.h): opening them,
// and after every accepted pass moving the Kirkendall plane and adding the
// lines the pass gives. They are written to disk at the saves.

#include "model/case.h"
#include "results/records.h"
#include "solver/run_state.h"

namespace torvex {

// Opens the records of a run, once before its first pass (openRecords).
// Under selective oxidation it first brings the total concentration, the
// molar ratios and the mobilities up to the concentrations held (the
// mobilities of the case's diffusivity model; FatalModelError from the
// built-in model when r is not 3), evaluates the five oxidation constants
// and sets the starting thickness of the oxide scale (cm).
void InitRecords(const Case& c, RunState& s, RunRecords& records);

// Moves the Kirkendall plane with the drift velocity (Darken plus sigma)
// interpolated linearly at its initial position: x_K = x_K0 + 2 v t. Stores
// it in kirkendallPosition and adds "t x_K" to the Kirkendall record. With
// the conservative scheme (D16 = 3) the integrator has already moved the
// plane with the drift at its current position, stage by stage; only the
// record line is added.
void AdvanceKirkendallPlane(const Case& c, RunState& s, RunRecords& records);

// Adds the boundary line (flux modes 1 and 2): the molar ratios as the run
// loop leaves them, the boundary fluxes, and under selective oxidation the
// scale while it grows (kp >= 0).
void AppendBoundaryFluxLine(const Case& c, const RunState& s, RunRecords& records);

// Selective oxidation, after an accepted pass: updates the five constants and
// kp, and adds t, N1 at both ends, the alloy flux of component 1 at the
// surface and the flux taken up by the scale to the flux-comparison record.
void AppendFluxComparisonLine(const Case& c, RunState& s, RunRecords& records);

}  // namespace torvex
