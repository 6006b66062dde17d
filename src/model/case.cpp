#include "model/case.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/component_names.h"
#include "model/errors.h"
#include "model/formula.h"
#include "model/heat_treatment.h"
#include "model/number_format.h"

namespace torvex {

void Case::setShape(int r, int n) {
  const auto rSize = static_cast<std::size_t>(r);
  const auto nSize = static_cast<std::size_t>(n);
  componentCount = r;
  pointCount = n;
  molarMass.assign(rSize, 0.0);
  partialMolarVolume.assign(rSize, 0.0);
  diffusivityFormulas.assign(rSize, std::string());
  activityFormulas.assign(rSize * rSize, std::string());
  boundaryFluxFormulas.assign(rSize, std::string());
  initial.lines.clear();
  initial.weightPercent.release();
  initial.position.assign(nSize, 0.0);
  initial.sampleWidth = 0.0;
  initial.molarRatio.resize(r, n);
  initial.concentration.resize(r, n);
  for (auto* values : {&initial.totalConcentration, &initial.molarVolume, &initial.darkenVelocity,
                       &initial.sigmaVelocity, &initial.pressure})
    values->assign(nSize, 0.0);
}

const char* integratorName(Integrator integrator) {
  return integrator == Integrator::Bdf ? "bdf" : "rk";
}

std::optional<Integrator> integratorNamed(std::string_view name) {
  if (name == "rk") return Integrator::RungeKutta;
  if (name == "bdf") return Integrator::Bdf;
  return std::nullopt;
}

// ---- Texts in front of the disk ----

void CaseFiles::add(const std::string& path, std::string text) {
  texts_[path] = std::move(text);
}

bool CaseFiles::exists(const std::string& path) const {
  if (texts_.count(path) != 0) return true;
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

void CaseFiles::read(const std::string& path, TextList& lines) const {
  const auto held = texts_.find(path);
  if (held == texts_.end()) {
    lines.loadFromFile(path);
    return;
  }
  lines.loadFromText(held->second, path);
}

// ---- Validation ----

namespace {

// How far below zero the last component of a line may come out when the
// typed contents sum to exactly 100 %: the load subtracts each content / 100
// from 1, and every content and every subtraction may round by a unit in the
// last place of 1.
constexpr double kRoundingPerContent = 4 * std::numeric_limits<double>::epsilon();

[[noreturn]] void refuse(const Case& c, const std::string& where, const std::string& what) {
  const std::string file = c.dataFileName.empty() ? std::string() : c.dataFileName + ", ";
  throw InputError(file + where + ": " + what);
}

std::string componentName(int i) {
  return "component " + formatInteger(i + 1);
}

// Switch values that the solver has no equations for.
void checkSolverModes(const Case& c) {
  const auto refuseMode = [&c](const char* key, const std::string& what, const char* accepted) {
    refuse(c, std::string("key ") + key, what + " cannot be computed; use " + accepted);
  };
  if (keyValue(c.differenceScheme) > 3)
    refuseMode("D16", "the type of differentiation " + std::to_string(keyValue(c.differenceScheme)),
               "0 (central), 1 (forward), 2 (backward) or 3 (conservative)");
  if (keyValue(c.constitutive) > 1)
    refuseMode("D13", "the constitutive equations " + std::to_string(keyValue(c.constitutive)),
               "0 (Nernst-Planck, Fick with ideal activities) or 1 (Onsager)");
  if (keyValue(c.activityModel) > 3)
    refuseMode("D12", "the thermodynamic activities " + std::to_string(keyValue(c.activityModel)),
               "0 (ideal), 1 (Cu-Fe-Ni alloy), 2 (Fe-Ni-Cr alloy) or 3 (molar fraction derivatives from file)");
}

// Settings the time loop cannot work with. The load corrects D6 and D7
// itself; a case built in memory may not have.
// A run needs at least (end - start) / D5 passes; beyond this many it would
// not end in any reasonable time (at a tenth of a millisecond a pass, about
// a day).
constexpr double kMostPasses = 1e9;

void checkRunSettings(const Case& c) {
  if (!std::isfinite(c.startTime) || !std::isfinite(c.endTime))
    refuse(c, "key D1",
           "the start and end times (" + formatGeneral(c.startTime) + ", " + formatGeneral(c.endTime) +
               ") must be finite numbers");
  if (!(c.endTime > c.startTime))
    refuse(c, "key D1",
           "the run would end at " + formatGeneral(c.endTime) + " s, not after its start at " +
               formatGeneral(c.startTime) + " s, so no pass would run (an end time below 0 or before the start reads " +
               "as 0)");
  if (c.timeStep < 0) refuse(c, "key D3", "the initial time step " + formatGeneral(c.timeStep) + " is negative");
  if (c.timeStep == 0) refuse(c, "key D3", "the initial time step is 0, so no pass would run");
  if (!(c.maxTimeStep > 0))
    refuse(c, "key D5", "the maximal time step " + formatGeneral(c.maxTimeStep) + " must be positive");
  if ((c.endTime - c.startTime) / c.maxTimeStep > kMostPasses)
    refuse(c, "key D1",
           "the run from " + formatGeneral(c.startTime) + " s to " + formatGeneral(c.endTime) + " s needs at least " +
               formatGeneral((c.endTime - c.startTime) / c.maxTimeStep) + " passes at the largest time step " +
               formatGeneral(c.maxTimeStep) +
               " s (key D5); a run of more than 10^9 passes would not end in any reasonable time");
  if (c.timeStepChangeInterval < 1)
    refuse(
        c, "key D6",
        "the number of passes between step changes " + formatInteger(c.timeStepChangeInterval) + " must be at least 1");
  if (!(c.timeStepMultiplier > 1))
    refuse(c, "key D7",
           "the time step multiplier " + formatGeneral(c.timeStepMultiplier) +
               " must be greater than 1 (a rejected step is divided by it)");
  if (c.refreshInterval < 1 || c.saveInterval < 1)
    refuse(c, "key D17",
           "the numbers of passes between refreshes and between saves (" + formatInteger(c.refreshInterval) + ", " +
               formatInteger(c.saveInterval) + ") must be at least 1");
}

void checkScalars(const Case& c) {
  if (!(c.concentrationError > 0))
    refuse(c, "key D4",
           "the concentration error " + formatGeneral(c.concentrationError) +
               " must be positive (no pass could keep its error estimate within it)");
  if (!(c.temperature > 0))
    refuse(c, "key D8", "the temperature " + formatGeneral(c.temperature) + " K must be above 0 K");
  if (!(c.correlationFactor > 0))
    refuse(c, "key D9a",
           "the correlation factor " + formatGeneral(c.correlationFactor) +
               " must be positive (the mobilities are the diffusivities divided by it)");
}

void checkComponentConstants(const Case& c) {
  for (int i = 0; i < c.componentCount; ++i) {
    const auto index = static_cast<std::size_t>(i);
    if (index < c.molarMass.size() && !(c.molarMass[index] > 0))
      refuse(c, "key D10",
             "the molar mass of " + componentName(i) + " is " + formatGeneral(c.molarMass[index]) +
                 " g/mol; molar masses must be positive");
    if (index < c.partialMolarVolume.size() && c.pointCount > 0 && c.partialMolarVolume[index] < 0)
      refuse(c, "key D11",
             "the molar volume of " + componentName(i) + " is " + formatGeneral(c.partialMolarVolume[index]) +
                 " cm^3/mol; molar volumes must not be negative");
  }
}

// A marker plane is placed in the sample; outside it there is no lattice to
// follow.
void checkKirkendallPlane(const Case& c) {
  if (c.initial.position.empty()) return;
  const double left = c.initial.position.front();
  const double right = left + c.initial.sampleWidth;
  const double x = c.initialKirkendallPosition;
  if (x < left || x > right)
    refuse(c, "key D20",
           "the Kirkendall plane position " + formatGeneral(x) + " cm lies outside the sample; it must lie from " +
               formatGeneral(left) + " to " + formatGeneral(right) + " cm");
}

void checkMinimalMolarFraction(const Case& c) {
  if (c.boundaryFlux != BoundaryFlux::Formulas && c.boundaryFlux != BoundaryFlux::SelectiveOxidation) return;
  const double theta = c.minimalMolarFraction;
  if (theta < 0 || !(theta * c.componentCount < 1))
    refuse(c, "key D21",
           "the minimal molar fraction " + formatGeneral(theta) + " must be at least 0 and below 1/" +
               formatInteger(c.componentCount) + " (no composition keeps every one of the " +
               formatInteger(c.componentCount) + " components above a larger one)");
}

// The selective-oxidation constants that are plain numbers; a formula is
// evaluated during the run and any non-finite result shows there.
void checkOxideConstants(const Case& c) {
  if (c.boundaryFlux != BoundaryFlux::SelectiveOxidation || c.boundaryFluxFormulas.empty()) return;
  struct Constant {
    const char* name;
    const char* unit;
    bool zeroAllowed;
    const char* why;
  };
  static constexpr Constant kConstants[5] = {
      {"the oxide diffusivity", " cm^2/s", false, "the scale would start with no thickness"},
      {"the oxide molar concentration", " mol/cm^3", false, "the scale must hold the oxidised component"},
      {"the oxide pressure p'", "", true, "a pressure cannot be negative"},
      {"the external pressure p''", "", true, "a pressure cannot be negative"},
      {"the flux multiplier", "", true, "a negative one would reverse the oxidation"},
  };
  std::string_view rest = trimmedView(c.boundaryFluxFormulas[0]);
  for (int j = 0; j < 5; ++j) {
    const std::string_view field = j < 4 ? takeFormula(rest) : rest;
    const std::optional<double> value = parseReal(field);
    if (!value) continue;
    const Constant& constant = kConstants[j];
    if (*value < 0 || (*value == 0 && !constant.zeroAllowed))
      refuse(c, "key D21, boundary flux file " + c.boundaryFluxFile.name,
             std::string(constant.name) + " " + formatGeneral(*value) + constant.unit + " must be " +
                 (constant.zeroAllowed ? "at least 0" : "positive") + " (" + constant.why + ")");
  }
}

// Diffusivities given as plain numbers: a self-diffusion coefficient below 0
// drives diffusion up the gradient, and the matrix's entries enter through
// their logarithms. Formulas are evaluated during the run.
void checkDiffusivities(const Case& c) {
  if (c.diffusivityModel != DiffusivityModel::Formulas && c.diffusivityModel != DiffusivityModel::Matrix) return;
  const std::string where = "key D9, diffusivity file " + c.diffusivityFile.name;
  for (int i = 0; i < c.componentCount && static_cast<std::size_t>(i) < c.diffusivityFormulas.size(); ++i) {
    std::string_view rest = trimmedView(c.diffusivityFormulas[static_cast<std::size_t>(i)]);
    if (c.diffusivityModel == DiffusivityModel::Formulas) {
      const std::optional<double> D = parseReal(rest);
      if (D && *D < 0)
        refuse(c, where,
               "the self-diffusion coefficient of " + componentName(i) + " is " + formatGeneral(*D) +
                   " cm^2/s; it must not be negative");
      continue;
    }
    // Row i of the matrix; the entries below the diagonal are not used.
    for (int j = 0; j < c.componentCount; ++j) {
      const std::string_view entry = j + 1 < c.componentCount ? takeFormula(rest) : rest;
      const std::optional<double> value = j >= i ? parseReal(entry) : std::nullopt;
      if (value && *value < 0)
        refuse(c, where,
               "the matrix entry in row " + formatInteger(i + 1) + ", column " + formatInteger(j + 1) + " is " +
                   formatGeneral(*value) +
                   " cm^2/s; the diffusivities enter through their logarithms and must "
                   "not be negative");
    }
  }
}

std::vector<std::string_view> blankSeparated(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto start = text.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const auto end = std::min(text.find(' ', start), text.size());
    tokens.push_back(text.substr(start, end - start));
    at = end;
  }
  return tokens;
}

// The contents (atomic %) of components 1 .. r-1 on each initial profile
// line; the last component takes what they leave of 100 %.
void checkInitialContents(const Case& c) {
  const int r = c.componentCount;
  for (std::size_t line = 0; line < c.initial.lines.size(); ++line) {
    const std::string& text = c.initial.lines[line];
    const auto tokens = blankSeparated(text);
    const std::string where = "key D23";
    const std::string quoted =
        "initial profile line " + formatInteger(static_cast<long long>(line) + 1) + " (\"" + text + "\")";
    double balance = 1.0;  // the last component's molar ratio, as the load computes it
    double sum = 0.0;      // %
    for (int i = 0; i + 1 < r; ++i) {
      const auto column = static_cast<std::size_t>(i) + 1;
      const std::optional<double> content = column < tokens.size() ? parseReal(tokens[column]) : std::nullopt;
      if (!content) return;  // the load has refused such a line already
      if (*content < 0 || *content > 100)
        refuse(c, where,
               "the content of " + componentName(i) + " on " + quoted + " is " + formatGeneral(*content) +
                   " %; a content must lie from 0 to 100 %");
      balance -= *content * 0.01;
      sum += *content;
    }
    if (balance < -kRoundingPerContent * (r - 1))
      refuse(c, where,
             "the contents on " + quoted + " sum to " + formatGeneral(sum) + " %, which leaves " +
                 formatGeneral(100 - sum) + " % to " + componentName(r - 1) + "; the contents of components 1 to " +
                 formatInteger(r - 1) + " may sum to at most 100 %");
  }
}

// Output times the front ends have checked where they were given (a file, an
// option); a case built in memory is held to the same rule here.
void checkOutputTimes(const Case& c) {
  double previous = c.startTime;
  for (const double time : c.heatTreatment.outputTimes) {
    if (!(time > previous) || time > c.endTime)
      refuse(c, "output times",
             "the output time " + formatGeneral(time) + " s " +
                 (time > c.endTime ? "lies after the end of the run, " + formatGeneral(c.endTime) + " s"
                                   : "does not come after " + formatGeneral(previous) + " s"));
    previous = time;
  }
}

// The life settings against the case; whether cycles are set is read from
// the schedule, so the two cannot disagree.
void checkLife(const Case& c) {
  LifeSettings settings = c.heatTreatment.life;
  settings.hasCycles = c.heatTreatment.schedule && c.heatTreatment.schedule->cycles();
  checkLifeSettings(settings, {.componentCount = c.componentCount,
                               .boundaryFluxMode = keyValue(c.boundaryFlux),
                               .differenceScheme = keyValue(c.differenceScheme)});
}

// The implicit integrator keeps a banded matrix of (r n + 1) rows and about
// three times the half-bandwidth columns (its LU factors included) beside the
// run's arrays; and it normalises the profile with the molar volumes.
void checkImplicitIntegrator(const Case& c) {
  if (c.integrator != Integrator::Bdf) return;
  const double unknowns = static_cast<double>(c.componentCount) * c.pointCount + 1;
  const double halfBandwidth = 4.0 * c.componentCount;
  const double bytes = 2 * unknowns * (3 * halfBandwidth + 1) * sizeof(double);
  if (bytes > Case::kMaxArrayBytes)
    refuse(c, "keys D0 and D2",
           "the implicit integrator would need " + formatGeneral(bytes / (1024.0 * 1024 * 1024)) +
               " GiB for the banded Jacobian of " + formatInteger(c.componentCount) + " components on " +
               formatInteger(c.pointCount) + " points; use fewer points or --integrator rk");
  if (std::none_of(c.partialMolarVolume.begin(), c.partialMolarVolume.end(), [](double v) { return v > 0; }))
    refuse(c, "key D11", "every molar volume is 0: the implicit integrator cannot normalise the profile");
}

}  // namespace

void Case::validate() const {
  checkSolverModes(*this);
  checkRunSettings(*this);
  checkScalars(*this);
  checkComponentConstants(*this);
  checkDiffusivities(*this);
  checkInitialContents(*this);
  checkKirkendallPlane(*this);
  checkMinimalMolarFraction(*this);
  checkOxideConstants(*this);
  checkOutputTimes(*this);
  checkLife(*this);
  // The front ends check names where they are given; a case built in memory
  // is held to the same rules here.
  checkComponentNames(componentNames, componentCount, dataFileName + ", component names");
  checkImplicitIntegrator(*this);
}

}  // namespace torvex
