#pragma once
// Checks of a finished run against what its equations are known to do, for
// the run summary and the run report. Each check names a property of the
// chosen form that a scientist comparing the profile with closed-form theory
// must know about: the check passes when the property does not affect the
// case, and warns (with its value and one sentence of meaning) when it does.
// A warning is information, not a failure: the run's numbers stand.

#include <limits>
#include <string>
#include <vector>

#include "model/tform1.h"

namespace torvex {

// ---- The check record, field for field the one of the run report ----
// (When the run report's own definitions are present, these five
// declarations are theirs: delete them here and include its header.)

// How a check's value is compared with its threshold.
enum class CheckComparison {
  AtMost,   // passes when value <= threshold
  AtLeast,  // passes when value >= threshold
  Near,     // passes when |value - expected| <= threshold
};

// One check of a run.
struct RunCheck {
  std::string id;                                               // stable key, e.g. "open_sample.inventory.2"
  std::string title;                                            // short name shown in listings
  double value = std::numeric_limits<double>::quiet_NaN();      // what was measured; NaN when it could not be
  double threshold = std::numeric_limits<double>::quiet_NaN();  // the bound the value is held to
  bool warn = false;                                            // the value is outside the bound (or unknown)
  std::string meaning;                                          // one sentence: what the value says about this run
  CheckComparison comparison = CheckComparison::AtMost;
  double expected = 0;  // the value aimed at (Near only)
};

// One line for a terminal: a check mark or a warning sign, the title, the
// value (15 significant digits, full stop) and its bound; a warning adds the
// meaning. UTF-8, no line end.
std::string describeCheck(const RunCheck& check);

// The amount of every component in the sample, integral of c_i dx over the
// grid by the trapezoidal rule [mol/cm^2]; r entries (none without arrays).
std::vector<double> componentInventories(const TForm1& m);

// The checks that apply to the model's case, in this order:
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
std::vector<RunCheck> theoryChecks(const TForm1& m, const std::vector<double>& startInventories);

}  // namespace torvex
