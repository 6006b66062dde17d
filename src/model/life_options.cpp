#include "model/life_options.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/case.h"
#include "model/errors.h"
#include "model/formula.h"
#include "model/heat_treatment.h"
#include "model/number_format.h"

namespace torvex {
namespace {

constexpr std::size_t kQuotedLength = 80;  // longest piece of a text quoted in a message
constexpr double kMicrometre = 1e-4;       // cm

[[noreturn]] void refuse(const std::string& place, std::string_view text, const std::string& why) {
  std::string shown(text.substr(0, kQuotedLength));
  if (text.size() > kQuotedLength) shown += "...";
  throw InputError(place + ": '" + shown + "': " + why);
}

// One or two comma-separated finite numbers; `form` names them in a refusal.
std::vector<double> numbers(std::string_view text, const std::string& place, const char* form) {
  const std::vector<std::string_view> pieces = splitTrimmed(text, ',');
  if (pieces.size() > 2) refuse(place, text, std::string("expected ") + form);
  std::vector<double> values;
  for (std::string_view piece : pieces) {
    const std::optional<double> value = parseReal(piece);
    if (!value || !std::isfinite(*value))
      refuse(place, text, "'" + std::string(piece) + "' is not a number; expected " + form);
    values.push_back(*value);
  }
  return values;
}

}  // namespace

double SpallLaw::fraction(double thickness) const {
  if (q0 == 0 || !(thickness > 0)) return 0;
  // pow may overflow for a thick scale and a steep law: then all of it spalls.
  const double f = alpha == 0 ? q0 : q0 * std::pow(thickness / kMicrometre, alpha);
  return std::min(f, 1.0);
}

std::string SpallLaw::text() const {
  return formatShortest(q0) + "," + formatShortest(alpha);
}

SpallLaw parseSpall(std::string_view text, const std::string& place) {
  const std::vector<double> values = numbers(text, place, "Q0[,ALPHA]");
  SpallLaw law{values[0], values.size() > 1 ? values[1] : 0.0};
  if (law.q0 < 0) refuse(place, text, "the spalled fraction Q0 cannot be below 0");
  if (law.alpha < 0)
    refuse(place, text,
           "the exponent ALPHA cannot be below 0 (a thicker scale spalls a larger fraction, not a smaller)");
  return law;
}

std::string OxideComposition::text() const {
  return formatShortest(oxygenPerMetal) + "," + formatShortest(oxygenMolarMass);
}

OxideComposition parseOxide(std::string_view text, const std::string& place) {
  const std::vector<double> values = numbers(text, place, "NU[,M_OX]");
  OxideComposition oxide;
  oxide.oxygenPerMetal = values[0];
  if (values.size() > 1) oxide.oxygenMolarMass = values[1];
  if (!(oxide.oxygenPerMetal > 0)) refuse(place, text, "the oxygen atoms per atom of component 1 (NU) must be above 0");
  if (!(oxide.oxygenMolarMass > 0)) refuse(place, text, "the molar mass M_OX must be above 0 g/mol");
  return oxide;
}

std::string CriticalContent::text() const {
  const std::string name = "N" + formatInteger(component + 1);
  const std::string subject =
      where == Where::kSurface ? name : (where == Where::kLowest ? "min(" : "max(") + name + ")";
  return subject + (below ? "<" : ">") + formatShortest(value);
}

CriticalContent parseCritical(std::string_view text, const std::string& place) {
  constexpr const char* kForm = "expected Nk<VALUE, Nk>VALUE, min(Nk)<VALUE or max(Nk)>VALUE";
  const std::string_view trimmed = trimmedView(text);
  const auto at = trimmed.find_first_of("<>");
  if (at == std::string_view::npos) refuse(place, text, kForm);
  CriticalContent critical;
  critical.below = trimmed[at] == '<';
  std::string_view subject = trimmedView(trimmed.substr(0, at));
  std::string_view valueText = trimmedView(trimmed.substr(at + 1));
  if (!valueText.empty() && valueText.front() == '=')
    refuse(place, text, "use < or >: a content equal to the value is not told apart from one just beside it");

  if (subject.substr(0, 4) == "min(" || subject.substr(0, 4) == "max(") {
    if (subject.back() != ')') refuse(place, text, kForm);
    critical.where = subject[1] == 'i' ? CriticalContent::Where::kLowest : CriticalContent::Where::kHighest;
    subject = trimmedView(subject.substr(4, subject.size() - 5));
    if (critical.where == CriticalContent::Where::kLowest && !critical.below)
      refuse(place, text, "min(...) goes with <: the lowest content falling below a value");
    if (critical.where == CriticalContent::Where::kHighest && critical.below)
      refuse(place, text, "max(...) goes with >: the highest content rising above a value");
  }
  if (subject.size() < 2 || (subject[0] != 'N' && subject[0] != 'n'))
    refuse(place, text, "'" + std::string(subject) + "' is no component; name it N1, N2, ...");
  const std::optional<int> number = parseInteger(subject.substr(1));
  if (!number || *number < 1 || subject.substr(1).find_first_of(" +-") != std::string_view::npos)
    refuse(place, text, "'" + std::string(subject) + "' is no component; name it N1, N2, ...");
  critical.component = *number - 1;

  const std::optional<double> value = parseReal(valueText);
  if (!value || !std::isfinite(*value)) refuse(place, text, "'" + std::string(valueText) + "' is not a number");
  if (!(*value > 0 && *value < 1))
    refuse(place, text,
           "the value must be a molar fraction between 0 and 1, both excluded" +
               std::string(*value >= 1 && *value < 100 ? " (a fraction, not a percentage)" : ""));
  critical.value = *value;
  return critical;
}

void checkLifeSettings(const LifeSettings& settings, const LifeCase& lifeCase) {
  const bool oxidation = lifeCase.boundaryFluxMode == 2;
  if (settings.hasSpall && !settings.hasCycles)
    throw InputError("--spall: the scale spalls when a cycle cools down; give the cycles (--cycles) too");
  if (settings.hasSpall && !oxidation)
    throw InputError("--spall: the case grows no scale; spallation needs selective oxidation (D21 = 2)");
  if (settings.hasOxide && !oxidation)
    throw InputError("--oxide: the case grows no scale; oxide data need selective oxidation (D21 = 2)");
  if (settings.receding && !oxidation)
    throw InputError("--receding: no surface is consumed; a receding surface needs selective oxidation (D21 = 2)");
  if (settings.receding && lifeCase.differenceScheme != 3)
    throw InputError("--receding: works with the conservative scheme only (D16 = 3, the case has D16 = " +
                     formatInteger(lifeCase.differenceScheme) +
                     "): only its cell balances keep every inventory while the grid follows the surface");
  if (settings.hasCritical && settings.critical.component >= lifeCase.componentCount)
    throw InputError("--critical: '" + settings.critical.text() + "': the case has " +
                     formatInteger(lifeCase.componentCount) + " components, N1 to N" +
                     formatInteger(lifeCase.componentCount));
}

void installLifeOptions(HeatTreatment& heat, const LifeOptionTexts& texts, double runStart) {
  LifeSettings& life = heat.life;
  if (texts.cycles.text) {
    const ThermalCycles cycles = parseCycles(*texts.cycles.text, texts.cycles.place, runStart);
    heat.schedule = std::make_shared<const TemperatureSchedule>(
        TemperatureSchedule::withCycles(heat.schedule.get(), cycles, runStart));
    life.hasCycles = true;
  }
  if (texts.spall.text) {
    life.spall = parseSpall(*texts.spall.text, texts.spall.place);
    life.hasSpall = true;
  }
  if (texts.oxide.text) {
    life.oxide = parseOxide(*texts.oxide.text, texts.oxide.place);
    life.hasOxide = true;
  }
  if (texts.critical.text) {
    life.critical = parseCritical(*texts.critical.text, texts.critical.place);
    life.hasCritical = true;
  }
  if (texts.receding) life.receding = true;
}

}  // namespace torvex
