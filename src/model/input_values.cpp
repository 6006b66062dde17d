#include "model/input_values.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/errors.h"
#include "model/formula.h"
#include "model/number_format.h"

namespace torvex {
namespace {

// How far below zero the last component of a line may come out when the
// typed contents sum to exactly 100 %: the load subtracts each content / 100
// from 1, and every content and every subtraction may round by a unit in the
// last place of 1.
constexpr double kRoundingPerContent = 4 * std::numeric_limits<double>::epsilon();

[[noreturn]] void refuse(const TForm1& m, const std::string& where, const std::string& what) {
  const std::string file = m.dataFileName.empty() ? std::string() : m.dataFileName + ", ";
  throw InputError(file + where + ": " + what);
}

std::string componentName(int i) {
  return "component " + formatInteger(i + 1);
}

void checkScalars(const TForm1& m) {
  if (!(m.concentrationError > 0))
    refuse(m, "key D4",
           "the concentration error " + formatGeneral(m.concentrationError) +
               " must be positive (no pass could keep its error estimate within it)");
  if (!(m.temperature > 0))
    refuse(m, "key D8", "the temperature " + formatGeneral(m.temperature) + " K must be above 0 K");
  if (!(m.correlationFactor > 0))
    refuse(m, "key D9a",
           "the correlation factor " + formatGeneral(m.correlationFactor) +
               " must be positive (the mobilities are the diffusivities divided by it)");
}

void checkComponentConstants(const TForm1& m) {
  for (int i = 0; i < m.componentCount; ++i) {
    const auto index = static_cast<std::size_t>(i);
    if (index < m.molarMass.size() && !(m.molarMass[index] > 0))
      refuse(m, "key D10",
             "the molar mass of " + componentName(i) + " is " + formatGeneral(m.molarMass[index]) +
                 " g/mol; molar masses must be positive");
    if (i < m.partialMolarVolume.rows() && m.partialMolarVolume.columns() > 0 && m.partialMolarVolume[i][0] < 0)
      refuse(m, "key D11",
             "the molar volume of " + componentName(i) + " is " + formatGeneral(m.partialMolarVolume[i][0]) +
                 " cm^3/mol; molar volumes must not be negative");
  }
}

// A marker plane is placed in the sample; outside it there is no lattice to
// follow.
void checkKirkendallPlane(const TForm1& m) {
  if (m.position.empty()) return;
  const double left = m.position.front();
  const double right = left + m.sampleWidth;
  const double x = m.initialKirkendallPosition;
  if (x < left || x > right)
    refuse(m, "key D20",
           "the Kirkendall plane position " + formatGeneral(x) + " cm lies outside the sample; it must lie from " +
               formatGeneral(left) + " to " + formatGeneral(right) + " cm");
}

void checkMinimalMolarFraction(const TForm1& m) {
  if (m.boundaryFluxMode != 1 && m.boundaryFluxMode != 2) return;
  const double theta = m.minimalMolarFraction;
  if (theta < 0 || !(theta * m.componentCount < 1))
    refuse(m, "key D21",
           "the minimal molar fraction " + formatGeneral(theta) + " must be at least 0 and below 1/" +
               formatInteger(m.componentCount) + " (no composition keeps every one of the " +
               formatInteger(m.componentCount) + " components above a larger one)");
}

// The selective-oxidation constants that are plain numbers; a formula is
// evaluated during the run and any non-finite result shows there.
void checkOxideConstants(const TForm1& m) {
  if (m.boundaryFluxMode != 2 || m.boundaryFluxFormulas.empty()) return;
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
  std::string_view rest = trimmedView(m.boundaryFluxFormulas[0]);
  for (int j = 0; j < 5; ++j) {
    const std::string_view field = j < 4 ? takeFormula(rest) : rest;
    const std::optional<double> value = parseReal(field);
    if (!value) continue;
    const Constant& c = kConstants[j];
    if (*value < 0 || (*value == 0 && !c.zeroAllowed))
      refuse(m, "key D21, boundary flux file " + m.boundaryFluxFileName,
             std::string(c.name) + " " + formatGeneral(*value) + c.unit + " must be " +
                 (c.zeroAllowed ? "at least 0" : "positive") + " (" + c.why + ")");
  }
}

// Diffusivities given as plain numbers: a self-diffusion coefficient below 0
// drives diffusion up the gradient, and the matrix's entries enter through
// their logarithms. Formulas are evaluated during the run.
void checkDiffusivities(const TForm1& m) {
  if (m.diffusivityMode != 0 && m.diffusivityMode != 1) return;
  const std::string where = "key D9, diffusivity file " + m.diffusivityFileName;
  for (int i = 0; i < m.componentCount && static_cast<std::size_t>(i) < m.diffusivityFormulas.size(); ++i) {
    std::string_view rest = trimmedView(m.diffusivityFormulas[static_cast<std::size_t>(i)]);
    if (m.diffusivityMode == 0) {
      const std::optional<double> D = parseReal(rest);
      if (D && *D < 0)
        refuse(m, where,
               "the self-diffusion coefficient of " + componentName(i) + " is " + formatGeneral(*D) +
                   " cm^2/s; it must not be negative");
      continue;
    }
    // Row i of the matrix; the entries below the diagonal are not used.
    for (int j = 0; j < m.componentCount; ++j) {
      const std::string_view entry = j + 1 < m.componentCount ? takeFormula(rest) : rest;
      const std::optional<double> value = j >= i ? parseReal(entry) : std::nullopt;
      if (value && *value < 0)
        refuse(m, where,
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
void checkInitialContents(const TForm1& m) {
  const int r = m.componentCount;
  for (std::size_t line = 0; line < m.initialProfileLines.size(); ++line) {
    const std::string& text = m.initialProfileLines[line];
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
        refuse(m, where,
               "the content of " + componentName(i) + " on " + quoted + " is " + formatGeneral(*content) +
                   " %; a content must lie from 0 to 100 %");
      balance -= *content * 0.01;
      sum += *content;
    }
    if (balance < -kRoundingPerContent * (r - 1))
      refuse(m, where,
             "the contents on " + quoted + " sum to " + formatGeneral(sum) + " %, which leaves " +
                 formatGeneral(100 - sum) + " % to " + componentName(r - 1) + "; the contents of components 1 to " +
                 formatInteger(r - 1) + " may sum to at most 100 %");
  }
}

}  // namespace

void checkInputValues(const TForm1& m) {
  checkScalars(m);
  checkComponentConstants(m);
  checkDiffusivities(m);
  checkInitialContents(m);
  checkKirkendallPlane(m);
  checkMinimalMolarFraction(m);
  checkOxideConstants(m);
}

}  // namespace torvex
