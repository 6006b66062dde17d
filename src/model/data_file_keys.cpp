#include "model/data_file_keys.h"

#include <cctype>

#include "model/number_format.h"
#include "model/text_list.h"

namespace torvex {
namespace {

// The comment lines are kept exactly as stored files hold them, misspellings
// and trailing blanks included: users compare files line by line.
// clang-format off
constexpr std::array<DataFileKeyInfo, kDataKeyCount> kKeys = {{
    {DataKey::D0, "D0", ValueShape::Integer, "the number of components r",
     "#|D0|-Number of components:",
     "#|D0|-Number of components:"},
    {DataKey::D1, "D1", ValueShape::TwoReals, "the start and end of the process time [s]",
     "#|D1|-The time of the diffusion process [s] (start, end):",
     "#|D1|-The time of the diffusion process [s] (start, end):"},
    {DataKey::D2, "D2", ValueShape::Integer, "the number of grid points n",
     "#|D2|-Number of points to set the density of components:",
     "#|D2|-Number of points to set the density of components: "},
    {DataKey::D3, "D3", ValueShape::Real, "the initial time step [s]",
     "#|D3|-Initial time step:",
     "#|D3|-Initial time step:"},
    {DataKey::D4, "D4", ValueShape::Real, "the concentration error of a pass",
     "#|D4|-Concentration error:",
     "#|D4|-Concentration error:"},
    {DataKey::D5, "D5", ValueShape::Real, "the largest time step [s]",
     "#|D5|-maximal integration time step [s]:",
     "#|D5|-maximal integration time step [s]:"},
    {DataKey::D6, "D6", ValueShape::Real, "the number of passes between changes of the time step",
     "#|D6|-number of time steps between changing the integration time:",
     "#|D6|-number of time steps between changing the integration time: "},
    {DataKey::D7, "D7", ValueShape::Real, "the time step multiplier",
     "#|D7|-integration time multiplicator:",
     "#|D7|-integration time multiplicator: "},
    {DataKey::D8, "D8", ValueShape::Real, "the temperature [K]",
     "#|D8|-Temperature [K]:",
     "#|D8|-Temperature [K]:"},
    {DataKey::D9, "D9", ValueShape::ModeAndFile,
     "the self-diffusion coefficients: 0 formulas or 1 a matrix from the file that follows, 2 the built-in Cu-Fe-Ni values",
     "#|D9|-Self Diffusion coefficients [cm^2 s^-1]: {0} - as function (from file), {1} - as matrix (from file), {2} for Cu-Fe-Ni alloy:",
     "#|D9|-Self Diffusion coefficients [cm^2 s^-1]: {0} - as function (from file), {1} - as matrix (from file), {2} for Cu-Fe-Ni alloy:"},
    {DataKey::D9a, "D9a", ValueShape::Real, "the correlation factor f",
     "#|D9a|-Correlation factor",
     "#|D9a|-Correlation factor"},
    {DataKey::D10, "D10", ValueShape::PerComponentReals, "the molar mass of each component [g/mol]",
     "#|D10|- Molar Mass of components [g mol^-1]:",
     "#|D10|-Molar Mass of components [g mol^-1]: "},
    {DataKey::D11, "D11", ValueShape::PerComponentReals, "the partial molar volume of each component [cm^3/mol]",
     "#|D11|- Standard molar Volume of components [cm^3 mol^-1]:",
     "#|D11|- Standard molar Volume of components [cm^3 mol^-1]: "},
    {DataKey::D12, "D12", ValueShape::ModeAndFile,
     "the activities: 0 ideal, 1 Cu-Fe-Ni, 2 Fe-Ni-Cr, 3 chemical-potential derivatives from the file that follows",
     "#|D12|-Thermodynamic actvities eg., a_i=a_i(c_1,c_2,c_3): {0} - ideal, {1} - Cu-Fe-Ni alloy, {2} - Fe-Ni-Cr alloy, {3} as a molar fraction deriv. (from file):",
     "#|D12|-Thermodynamic activities eg., a_i=a_i(c_1,c_2,c_3): {0} - ideal, {1} - Cu-Fe-Ni alloy, {2} - Fe-Ni-Cr alloy, {3} as a molar fraction deriv. (from file):"},
    {DataKey::D13, "D13", ValueShape::Integer, "the constitutive equations: 0 Nernst-Planck (Fick with ideal activities), 1 Onsager",
     "#|D13|-The constitutive equations: {0} - Nernst-Planck (when |D12|=0: Fick), {1} - Onsager",
     "#|D13|-The constitutive equations: {0} - Nernst-Planck (when |D12|=0: Fick), {1} - Onsager"},
    {DataKey::D14, "D14", ValueShape::Integer, "the mass-conservation form: 0 volume-fixed, 1 classic",
     "#|D14|-Equation of mass conservation: {0} - in volume fixed RF, {1} - other RF (clasic)",
     "#|D14|-Equation of mass conservation: {0} - in volume fixed RF, {1} - other RF (clasic)"},
    {DataKey::D15, "D15", ValueShape::Integer, "the Darken velocity: 0 zero, 1 computed",
     "#|D15|-Darken velocity: {0} v^D=0, {1} - v^D computed:",
     "#|D15|-Darken velocity: {0} v^D=0, {1} - v^D computed:"},
    {DataKey::D16, "D16", ValueShape::Integer, "the difference scheme: 0 central, 1 forward, 2 backward, 3 conservative (face fluxes)",
     "#|D16|-type of differentation, {0} - central, {1} - forward, {2} - backward",
     "#|D16|-type of differentation, {0} - central, {1} - forward, {2} - backward"},
    {DataKey::D17, "D17", ValueShape::TwoIntegers, "the passes between refreshes and between saves",
     "#|D17|-number of time steps between: refreshing the screen, saving data:",
     "#|D17|-number of time steps between: refreshing the screen, saving data: "},
    {DataKey::D18, "D18", ValueShape::Integer, "the delay after each pass [ms], 0 the quickest",
     "#|D18|-speed of the calculations, 0 = quickest ~100 slowest:",
     "#|D18|-speed of the calculations, 0 = quickest ~100 slowest: "},
    {DataKey::D19, "D19", ValueShape::Integer, "the Kirkendall plane on the graphs: 0 hidden, 1 shown",
     "#|D19|-Kirkendall plane, {0} - non visible, {1} - visible:",
     "#|D19|-Kirkendall plane, {1} - visible, {0} - non visible: "},
    {DataKey::D20, "D20", ValueShape::SelectorAndPosition,
     "the initial Kirkendall plane: 0 the middle of the sample, otherwise the position [cm] that follows",
     "#|D20|-initial position of Kirkendall plane (initial contact interace) [cm]: {0} - the half width of the sample, {1} - not known {2} - declare:",
     "#|D20|-initial position of Kirkendall plane (initial contact interace) [cm]: {0} - the half width of the sample, {1} - not known {2} - declare  "},
    {DataKey::D21, "D21", ValueShape::FluxModeFileFraction,
     "the boundary flux: 0 closed, 1 formulas from a file, 2 selective oxidation from a file; then the minimal molar fraction",
     "#|D21|-initial boundary flux file: {0} - nondefined, {1} - as function (from file), {2} selective oxidation, minimal molar fraction:",
     "#|D21|-initial boundary flux file: {0} - nondefined, {1} - as function (from file), {2} selective oxidation, minimal molar fraction:"},
    {DataKey::D22, "D22", ValueShape::Integer, "the number of initial profile rows: 2 for a new calculation, n for a continuation",
     "#|D22|-Number of initial points: {2} - new calculations, {number = D2} continuation:",
     "#|D22|-Number of initial points: {2} - new calculations, {number = D2} continuation: "},
    {DataKey::D23, "D23", ValueShape::ProfileRows,
     "the initial profile rows: x [cm], the contents of components 1 … r-1 [at.%], v_Darken, v_Sigma, pressure",
     "#|D23|-Initial concentration data [% at.] (x, con_1 ,..., con_r-1, v_Darken, v_Sigma, pressure):",
     "#|D23|-Initial concentration data [% at.] (x, con_1 ,..., con_r-1, v_Darken, v_Sigma, pressure):"},
}};
// clang-format on

constexpr bool keysInPositionOrder() {
  for (int k = 0; k < kDataKeyCount; ++k)
    if (position(kKeys[static_cast<std::size_t>(k)].key) != k) return false;
  return true;
}
static_assert(keysInPositionOrder(), "the table lists the keys in the order of their value lines");

std::string notA(const std::string& token, const char* what) {
  return "\"" + token + "\" is not " + what;
}

// The first token that is not of the wanted kind, described; empty when all are.
std::string checkTokens(const std::vector<std::string>& tokens, std::size_t from, std::size_t to, bool integers) {
  for (std::size_t t = from; t < to && t < tokens.size(); ++t) {
    if (integers ? !parseInteger(tokens[t]) : !parseReal(tokens[t]))
      return notA(tokens[t], integers ? "an integer" : "a real number");
  }
  return {};
}

std::string countProblem(std::size_t found, std::size_t wanted, const char* what) {
  if (found == wanted) return {};
  return "it holds " + std::to_string(found) + " value" + (found == 1 ? "" : "s") + " where " + what + " needs " +
         std::to_string(wanted);
}

}  // namespace

const std::array<DataFileKeyInfo, kDataKeyCount>& dataFileKeys() {
  return kKeys;
}

const DataFileKeyInfo& keyInfo(DataKey key) {
  return kKeys[static_cast<std::size_t>(position(key))];
}

const char* keyName(DataKey key) {
  return keyInfo(key).name;
}

std::optional<DataKey> keyNamed(std::string_view name) {
  for (const auto& info : kKeys) {
    const std::string_view known = info.name;
    if (known.size() != name.size()) continue;
    bool same = true;
    for (std::size_t c = 0; c < known.size() && same; ++c)
      same = std::tolower(static_cast<unsigned char>(known[c])) == std::tolower(static_cast<unsigned char>(name[c]));
    if (same) return info.key;
  }
  return std::nullopt;
}

std::optional<std::size_t> valueLineIndex(const std::vector<std::string>& lines, DataKey key) {
  int seen = 0;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const std::string line = trimmed(lines[index]);
    if (!line.empty() && line.front() == '#') continue;
    if (seen == position(key)) return index;
    ++seen;
  }
  return std::nullopt;
}

std::string valueShapeProblem(DataKey key, std::string_view value, int components) {
  const auto tokens = blankSeparatedTokens(value);
  const std::size_t count = tokens.size();
  switch (keyInfo(key).shape) {
    case ValueShape::Integer:
      if (count != 1) return countProblem(count, 1, "this key");
      return checkTokens(tokens, 0, 1, true);
    case ValueShape::Real:
      if (count != 1) return countProblem(count, 1, "this key");
      return checkTokens(tokens, 0, 1, false);
    case ValueShape::TwoReals:
      if (count != 2) return countProblem(count, 2, "this key");
      return checkTokens(tokens, 0, 2, false);
    case ValueShape::TwoIntegers:
      if (count != 2) return countProblem(count, 2, "this key");
      return checkTokens(tokens, 0, 2, true);
    case ValueShape::PerComponentReals:
      if (components > 0 && count != static_cast<std::size_t>(components))
        return countProblem(count, static_cast<std::size_t>(components), "one per component");
      if (count == 0) return "it is empty";
      return checkTokens(tokens, 0, count, false);
    case ValueShape::ModeAndFile: {
      if (count == 0) return "it is empty";
      if (auto problem = checkTokens(tokens, 0, 1, true); !problem.empty()) return problem;
      if (count > 2) return "a file name cannot hold blanks: \"" + std::string(value) + "\"";
      return {};
    }
    case ValueShape::SelectorAndPosition: {
      if (count == 0 || count > 2) return countProblem(count, count == 0 ? 1 : 2, "this key");
      if (auto problem = checkTokens(tokens, 0, count, false); !problem.empty()) return problem;
      if (count == 1 && *parseReal(tokens[0]) != 0.0) return "a selector other than 0 must be followed by the position";
      return {};
    }
    case ValueShape::FluxModeFileFraction: {
      if (count < 2 || count > 3)
        return "it needs the mode, the file name unless the mode is 0, and the minimal fraction";
      if (auto problem = checkTokens(tokens, 0, 1, true); !problem.empty()) return problem;
      if (*parseInteger(tokens[0]) != 0 && count != 3)
        return "a mode other than 0 needs a file name before the fraction";
      return checkTokens(tokens, count - 1, count, false);
    }
    case ValueShape::ProfileRows: {
      // Rows separated by ';', each the position, r-1 contents, v_Darken,
      // v_Sigma and the pressure.
      std::size_t start = 0;
      int row = 0;
      while (start <= value.size()) {
        const auto end = std::min(value.find(';', start), value.size());
        const auto rowTokens = blankSeparatedTokens(value.substr(start, end - start));
        ++row;
        const std::string where = "row " + std::to_string(row) + ": ";
        if (components > 0 && rowTokens.size() != static_cast<std::size_t>(components) + 3)
          return where + countProblem(rowTokens.size(), static_cast<std::size_t>(components) + 3,
                                      "a row (x, r-1 contents, v_Darken, v_Sigma, pressure)");
        if (auto problem = checkTokens(rowTokens, 0, rowTokens.size(), false); !problem.empty()) return where + problem;
        if (rowTokens.empty()) return where + "it is empty";
        start = end + 1;
      }
      return {};
    }
  }
  return {};
}

}  // namespace torvex
