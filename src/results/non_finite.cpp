#include "results/non_finite.h"

#include <cmath>

#include "model/number_format.h"

namespace torvex {
namespace {

// " (x = 0.01 cm)" when the point lies on the grid.
std::string positionOf(const NonFiniteValue& v, const std::vector<double>& position) {
  const auto point = static_cast<std::size_t>(v.point);
  return point < position.size() ? " (x = " + formatGeneral(position[point]) + " cm)" : "";
}

}  // namespace

std::string describeNonFinite(const NonFiniteValue& v, const std::vector<double>& position) {
  const char* kind = std::isnan(v.value) ? "NaN" : "an infinite value";
  if (!v.formula.empty())
    return v.formula + " gave " + kind + " at grid point " + formatInteger(v.point) + positionOf(v, position) +
           " at the start of pass " + formatInteger(v.pass) + ", t = " + formatGeneral(v.time) +
           " s; no smaller step can mend it, so the run ended there";
  return std::string(v.inRates ? "the rates of change dc/dt of the profile" : "the profile") +
         " turned non-finite: " + kind + " first appeared in component " + formatInteger(v.component + 1) +
         " at grid point " + formatInteger(v.point) + positionOf(v, position) + " at the start of pass " +
         formatInteger(v.pass) + ", t = " + formatGeneral(v.time) +
         " s; no smaller step can mend it, so the run ended there";
}

std::string describeNonFiniteProfile(const NonFiniteValue& v, const std::vector<double>& position) {
  const char* kind = std::isnan(v.value) ? "NaN" : "an infinite concentration";
  return "the profile holds non-finite values: " + std::string(kind) + " first appeared in component " +
         formatInteger(v.component + 1) + " at grid point " + formatInteger(v.point) + positionOf(v, position) +
         " after pass " + formatInteger(v.pass) + ", t = " + formatGeneral(v.time) + " s";
}

}  // namespace torvex
