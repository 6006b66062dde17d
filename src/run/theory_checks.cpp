#include "run/theory_checks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

#include "model/formula.h"
#include "model/number_format.h"

namespace torvex {
namespace {

// Partial molar volumes 1 % apart move the volume-fixed form's profile of a
// couple with an 80 % step by 3e-4 in the volume fraction, four times the
// grid error bound of a 400-point grid.
constexpr double kVolumeSpreadLimit = 0.01;
// A component that crosses neither end keeps its amount in a closed sample
// to far better than this; a larger change comes from the open end.
constexpr double kInventoryChangeLimit = 1e-3;

// Three significant digits, full stop whatever the locale: for sentences.
std::string brief(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 3);
  return std::string(text, result.ptr);
}

std::string signedPercent(double share) {
  return (share >= 0 ? "+" : "") + brief(100 * share) + " %";
}

bool warns(const RunCheck& check) {
  if (!std::isfinite(check.value)) return true;
  switch (check.comparison) {
    case CheckComparison::AtMost: return !(check.value <= check.threshold);
    case CheckComparison::AtLeast: return !(check.value >= check.threshold);
    case CheckComparison::Near: return !(std::fabs(check.value - check.expected) <= check.threshold);
  }
  return true;
}

// The volume-fixed form carries component i's diffusive flux as c Omega_i c_i
// v_i = (Omega_i / Omega) c_i v_i, so unequal partial molar volumes scale the
// fluxes unequally; the classic form with the Darken velocity keeps c_i v_i.
RunCheck volumeFixedCheck(const Case& c, const RunState& s) {
  RunCheck check;
  check.id = "frame.volume_fixed_unequal_volumes";
  check.title = "volume-fixed form with unequal molar volumes";
  check.threshold = kVolumeSpreadLimit;
  check.comparison = CheckComparison::AtMost;

  const int r = c.componentCount;
  double spread = 0;  // largest max_i Omega_i / min_i Omega_i - 1 over the grid
  double lowest = std::numeric_limits<double>::infinity();
  double highest = -lowest;  // Omega_i / Omega over components and points
  bool finite = true;
  for (int k = 0; k < c.pointCount; ++k) {
    double total = 0, smallest = std::numeric_limits<double>::infinity(), largest = 0;
    for (int i = 0; i < r; ++i) {
      total += s.concentration[i][k];
      smallest = std::min(smallest, s.partialMolarVolume[i][k]);
      largest = std::max(largest, s.partialMolarVolume[i][k]);
    }
    spread = std::max(spread, (largest - smallest) / smallest);
    double mixture = 0;  // Omega = sum_i N_i Omega_i
    for (int i = 0; i < r; ++i) mixture += s.concentration[i][k] / total * s.partialMolarVolume[i][k];
    for (int i = 0; i < r; ++i) {
      const double share = s.partialMolarVolume[i][k] / mixture;
      finite = finite && std::isfinite(share) && std::isfinite(spread);
      lowest = std::min(lowest, share);
      highest = std::max(highest, share);
    }
  }
  if (finite && c.pointCount > 0) check.value = spread;
  check.warn = warns(check);
  check.note = check.warn && std::isfinite(check.value);
  if (std::isnan(check.value))
    check.meaning =
        "The ratio of the partial molar volumes could not be computed: the profile holds non-finite values.";
  else if (check.warn)
    check.meaning = "The partial molar volumes differ, so Omega_i/Omega ranges from " + brief(lowest) + " to " +
                    brief(highest) +
                    " over the profile, and the volume-fixed form (D14 = 0) scales each component's diffusive flux "
                    "by that ratio: the profile departs from Darken's volume-fixed interdiffusion, which the classic "
                    "form with the Darken velocity (D14 = 1) gives.";
  else
    check.meaning =
        "The partial molar volumes are equal within 1 %, so the volume-fixed form gives Darken's volume-fixed "
        "interdiffusion.";
  return check;
}

// Whether component i is held in the sample at both ends: selective
// oxidation takes component 1 only; boundary-flux formulas hold a component
// when both of its formulas are the number 0.
bool hasNoBoundaryFlux(const Case& c, int i) {
  if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation) return i > 0;
  if (c.boundaryFlux != BoundaryFlux::Formulas || static_cast<std::size_t>(i) >= c.boundaryFluxFormulas.size())
    return false;
  std::string_view right = trimmedView(c.boundaryFluxFormulas[static_cast<std::size_t>(i)]);
  const std::string_view left = takeFormula(right);
  const auto zero = [](std::string_view formula) {
    const std::optional<double> value = parseReal(formula);
    return value && *value == 0;
  };
  return zero(left) && zero(right);
}

RunCheck inventoryCheck(const Case& c, int i, const std::vector<double>& start, const std::vector<double>& now) {
  const std::string name = formatInteger(i + 1);
  RunCheck check;
  check.id = "open_sample.inventory." + name;
  check.title = "inventory of component " + name + " (no boundary flux)";
  check.threshold = kInventoryChangeLimit;
  check.comparison = CheckComparison::Near;
  check.expected = 0;
  const auto index = static_cast<std::size_t>(i);
  if (start.size() == now.size() && start[index] > 0) {
    const double change = (now[index] - start[index]) / start[index];
    if (std::isfinite(change)) check.value = change;
  }
  check.warn = warns(check);
  check.note = check.warn && std::isfinite(check.value);
  if (std::isnan(check.value))
    check.meaning = "The amount of component " + name +
                    " could not be compared with its amount at the start (no start amount, or a non-finite profile).";
  else if (check.warn && c.differenceScheme == DifferenceScheme::Conservative)
    check.meaning = "Component " + name + " crosses neither end, yet its amount in the sample changed by " +
                    signedPercent(check.value) +
                    ": the sample keeps its length, and the volume the leaving components free is filled again "
                    "by the others, which the face fluxes do not account for (see the inventories above).";
  else if (check.warn)
    check.meaning = "Component " + name + " crosses neither end, yet its amount in the sample changed by " +
                    signedPercent(check.value) +
                    ": the Darken velocity at the open end carries the lattice, and every component on it, across "
                    "the fixed end of the sample, which refills the sample instead of letting the surface recede.";
  else
    check.meaning = "Component " + name + " crosses neither end, and its amount in the sample stayed within 0.1 %.";
  return check;
}

}  // namespace

std::vector<RunCheck> theoryChecks(const Case& c, const RunState& s, const std::vector<double>& startInventories) {
  std::vector<RunCheck> checks;
  if (c.componentCount < 2 || c.pointCount < 2) return checks;
  // The conservative scheme (D16 = 3) carries Darken's volume-fixed fluxes
  // whatever D14 says.
  if (c.frame == Frame::VolumeFixed && c.differenceScheme != DifferenceScheme::Conservative)
    checks.push_back(volumeFixedCheck(c, s));
  if (c.boundaryFlux != BoundaryFlux::None) {
    const std::vector<double> now = componentInventories(c, s);
    for (int i = 0; i < c.componentCount; ++i)
      if (hasNoBoundaryFlux(c, i)) checks.push_back(inventoryCheck(c, i, startInventories, now));
  }
  return checks;
}

}  // namespace torvex
