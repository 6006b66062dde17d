#pragma once
// A short human description of a loaded case, printed by `torvex-batch --check`.

#include <string>

#include "model/case.h"

namespace torvex {

// The reference frame of the conservative difference scheme (D16 = 3), as
// the check and the run report give it.
inline constexpr const char* kConservativeFrameText =
    "volume-fixed, conservative face fluxes (D16 = 3); key D14 has no effect with D16 = 3";

// Describes components, grid, times, step control, the temperature or
// schedule and the output times the run follows, whether the temperature can
// act on the case (a warning when `temperatureChosen`: the user set D8 or a
// schedule), modes, side files and the initial compositions at both ends of
// a case that loaded without error.
std::string describeCase(const Case& c, const std::string& path, bool temperatureChosen = false);

}  // namespace torvex
