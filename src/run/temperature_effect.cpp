#include "run/temperature_effect.h"

#include <algorithm>

namespace torvex {
namespace {

// Side-file formulas have every T replaced by the temperature (also inside
// a longer name), so a formula depends on T exactly when it holds one.
bool usesTemperature(const std::vector<std::string>& formulas) {
  return std::any_of(formulas.begin(), formulas.end(),
                     [](const std::string& formula) { return formula.find('T') != std::string::npos; });
}

std::string fromFile(const std::string& what, const std::string& file) {
  return file.empty() ? what : what + " (" + file + ")";
}

}  // namespace

TemperatureEffect temperatureEffect(const Case& c) {
  TemperatureEffect effect;
  std::vector<std::string>& uses = effect.dependsOnT;
  // Diffusivities: formulas and matrix entries are text; the built-in
  // Cu-Fe-Ni coefficients are fitted at one temperature.
  const bool diffusivityText =
      c.diffusivityModel == DiffusivityModel::Formulas || c.diffusivityModel == DiffusivityModel::Matrix;
  if (diffusivityText && usesTemperature(c.diffusivityFormulas))
    uses.push_back(fromFile(
        c.diffusivityModel == DiffusivityModel::Formulas ? "the diffusivity formulas" : "the diffusivity matrix",
        c.diffusivityFile.name));
  // Activities: ideal has no data; the Cu-Fe-Ni fit uses a fixed R T; the
  // Fe-Ni-Cr model is a function of T; formulas may be.
  if (c.activityModel == ActivityModel::FeNiCr)
    uses.emplace_back("the built-in Fe-Ni-Cr activities");
  else if (c.activityModel == ActivityModel::Formulas && usesTemperature(c.activityFormulas))
    uses.push_back(fromFile("the chemical-potential formulas", c.activityFile.name));
  // Boundary fluxes: formulas, or the selective-oxidation constants, which
  // share the file's formula lines.
  const bool fluxText = c.boundaryFlux == BoundaryFlux::Formulas || c.boundaryFlux == BoundaryFlux::SelectiveOxidation;
  if (fluxText && usesTemperature(c.boundaryFluxFormulas))
    uses.push_back(
        fromFile(c.boundaryFlux == BoundaryFlux::Formulas ? "the boundary-flux formulas" : "the oxidation constants",
                 c.boundaryFluxFile.name));
  effect.fixedDrivingForce = c.activityModel != ActivityModel::Ideal;
  return effect;
}

std::string temperatureNote(const TemperatureEffect& effect) {
  if (effect.acts()) return {};
  if (effect.fixedDrivingForce)
    return "The temperature enters this case only through the mobility B = D/(f R T): no side-file formula uses T, "
           "and the activities are fixed at their own temperature, so a higher temperature lowers every flux and "
           "the alloy mixes less. Give the diffusivities (and the activities) a temperature dependence, e.g. "
           "D = D0*exp(-Q/(8.314*T)), to study temperature.";
  return "The temperature changes nothing in this case: no side-file formula uses T and the activities are ideal, "
         "so the 1/T of the mobility B = D/(f R T) cancels against the R T of the driving force. Give the "
         "diffusivities a temperature dependence, e.g. D = D0*exp(-Q/(8.314*T)), to study temperature.";
}

std::string describeTemperatureEffect(const TemperatureEffect& effect, bool temperatureChosen) {
  if (!effect.acts()) return (temperatureChosen ? "\u26A0 " : "\u2139 ") + temperatureNote(effect);
  std::vector<std::string> ways = effect.dependsOnT;
  ways.emplace_back("the mobility B = D/(f R T)");
  std::string text = "through ";
  for (std::size_t k = 0; k < ways.size(); ++k) text += (k == 0 ? "" : k + 1 == ways.size() ? " and " : ", ") + ways[k];
  return text;
}

}  // namespace torvex
