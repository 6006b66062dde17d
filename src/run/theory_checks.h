#pragma once
// Checks of a finished run against what its equations are known to do, for
// the run summary and the run report. Each check names a property of the
// chosen form that a scientist comparing the profile with closed-form theory
// must know about: the check passes when the property does not affect the
// case, and is a note (with its value and one sentence of meaning) when it
// does. A note is information, not a failure: the run's numbers stand. A
// value that cannot be computed (a non-finite profile) is a warning.

#include <string>
#include <vector>

#include "model/case.h"
#include "results/run_report.h"
#include "run/run_checks.h"
#include "solver/run_state.h"

namespace torvex {

// The checks that apply to the case, in this order:
//  - "frame.volume_fixed_unequal_volumes" (volume-fixed form, D14 = 0, with
//    the three-point differences: not with the conservative scheme D16 = 3,
//    which carries Darken's volume-fixed fluxes whatever D14 says): the
//    largest relative difference between the partial molar volumes of the
//    components at any grid point, at most 0.01; the meaning gives the range
//    of Omega_i / Omega over the current profile.
//  - "open_sample.inventory.<i>" (a boundary flux, D21 = 1 or 2), one per
//    component i (1-based) without a boundary flux at either end: the
//    relative change of its amount since startInventories, near 0 within
//    0.001. Without a usable start inventory (size other than r, or not
//    positive) the value is NaN and the check warns.
// Reads the current profile; changes nothing.
std::vector<RunCheck> theoryChecks(const Case& c, const RunState& s, const std::vector<double>& startInventories);

}  // namespace torvex
