#pragma once
// Whether the temperature of a case can change its results. T enters the
// equations in two ways: through data that depend on it (side-file formulas
// with T, the built-in Fe-Ni-Cr activities) and through the mobility
// B = D / (f R T). Without the first, the mobility alone is left: with ideal
// activities its 1/T cancels against the R T of the driving force, so the
// temperature changes nothing; with activities fixed at their own temperature
// (the built-in Cu-Fe-Ni model, or formulas without T) a higher temperature
// only lowers the mobility, and the alloy mixes less. The model is right to
// do what its data say, but a user who varies the temperature must be told.

#include <string>
#include <vector>

#include "model/case.h"

namespace torvex {

struct TemperatureEffect {
  // What depends on T beyond the mobility ("the diffusivity formulas
  // (inter_diff.dfv)", "the built-in Fe-Ni-Cr activities", ...); empty when
  // nothing does.
  std::vector<std::string> dependsOnT;
  // Without anything that depends on T: whether the driving forces are fixed
  // at their own temperature (then a higher T lowers the fluxes) rather than
  // ideal (then T cancels).
  bool fixedDrivingForce = false;

  [[nodiscard]] bool acts() const { return !dependsOnT.empty(); }
};

// The analysis of a loaded case: reads the modes and the formulas of the
// side files in use; changes nothing.
TemperatureEffect temperatureEffect(const Case& c);

// One sentence for a case where the temperature cannot act (empty when it
// can): what T changes, why, and what to do about it.
std::string temperatureNote(const TemperatureEffect& effect);

// The summary line of `--check` and of a run: "through ..." when the
// temperature acts, else the note after a sign: a warning (⚠) when the user
// chose the temperature (a key override of D8, a schedule, a study over it),
// else a note (ℹ).
std::string describeTemperatureEffect(const TemperatureEffect& effect, bool temperatureChosen);

}  // namespace torvex
