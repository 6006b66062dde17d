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

TemperatureEffect temperatureEffect(const TForm1& m) {
  TemperatureEffect effect;
  std::vector<std::string>& uses = effect.dependsOnT;
  // Diffusivities: formulas (D9 = 0) and matrix entries (D9 = 1) are text;
  // the built-in Cu-Fe-Ni coefficients (D9 = 2) are fitted at one temperature.
  if ((m.diffusivityMode == 0 || m.diffusivityMode == 1) && usesTemperature(m.diffusivityFormulas))
    uses.push_back(fromFile(m.diffusivityMode == 0 ? "the diffusivity formulas" : "the diffusivity matrix",
                            m.diffusivityFileName));
  // Activities: ideal (0) has no data; the Cu-Fe-Ni fit (1) uses a fixed R T;
  // the Fe-Ni-Cr model (2) is a function of T; formulas (3) may be.
  if (m.activityMode == 2)
    uses.emplace_back("the built-in Fe-Ni-Cr activities");
  else if (m.activityMode == 3 && usesTemperature(m.activityFormulas))
    uses.push_back(fromFile("the chemical-potential formulas", m.activityFileName));
  // Boundary fluxes: formulas (1), or the selective-oxidation constants (2),
  // which share the file's formula lines.
  if ((m.boundaryFluxMode == 1 || m.boundaryFluxMode == 2) && usesTemperature(m.boundaryFluxFormulas))
    uses.push_back(fromFile(m.boundaryFluxMode == 1 ? "the boundary-flux formulas" : "the oxidation constants",
                            m.boundaryFluxFileName));
  effect.fixedDrivingForce = m.activityMode != 0;
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
