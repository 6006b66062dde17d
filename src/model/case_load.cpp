// Reading the input data file into a case.
//
// The file is read by position, not by key: after tabs become blanks and
// each line is trimmed, every line that does not start with '#' (an empty
// line included) is the value of the next key. A stray blank line therefore
// shifts every later value by one key; the key comment lines are never read.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <string_view>

#include "model/case.h"
#include "model/data_file_keys.h"
#include "model/errors.h"
#include "model/number_format.h"

namespace torvex {
namespace {

constexpr int kProfileKey = position(DataKey::D23);
constexpr const char* kDiffusivityLinesMissing = "ERROR 2. Check input files. (diffusivities function error)";

// A value split at its first blank. `first` is the text before the blank;
// `rest` the trimmed text after it. Without a blank, `first` is empty (or the
// whole value when the key reads "first token or whole value") and `rest` is
// the whole value.
struct Split {
  std::string first;
  std::string rest;
};

Split splitValue(const std::string& value, bool wholeValueWhenNoBlank = false) {
  const auto blank = value.find(' ');
  if (blank == std::string::npos) return {wholeValueWhenNoBlank ? value : std::string(), value};
  return {value.substr(0, blank), trimmed(std::string_view(value).substr(blank))};
}

// Where a value comes from, for messages that let the user find it.
struct Place {
  const std::string& file;
  std::size_t line;  // 1-based
  const char* key;
  const std::string& value;

  [[nodiscard]] std::string prefix() const { return file + ", line " + std::to_string(line) + ", key " + key + ": "; }
  [[noreturn]] void fail(const std::string& what) const {
    throw InputError(prefix() + what + " (value line \"" + value + "\")");
  }
};

double realOf(const std::string& token, const Place& place, const std::string& what) {
  if (const auto value = parseReal(token)) return *value;
  if (token.empty()) place.fail(what + " is missing");
  place.fail(what + ": \"" + token + "\" is not a real number");
}

// The real at the front of `rest`, which keeps what follows it.
double takeReal(std::string& rest, const Place& place, const std::string& what) {
  Split split = splitValue(rest);
  const double value = realOf(split.first, place, what);
  rest = std::move(split.rest);
  return value;
}

// Reads the file at path through `files` (or from disk).
void readFile(const CaseLoadOptions& options, const std::string& path, TextList& lines) {
  if (options.files != nullptr)
    options.files->read(path, lines);
  else
    lines.loadFromFile(path);
}

// Loads a side file and copies its first `wanted` formula lines (trimmed;
// every line not starting with '#', an empty one included) into `formulas`.
// Returns how many were found.
std::size_t loadSideFile(const char* kind, const std::string& name, SideFile& file, std::vector<std::string>& formulas,
                         std::size_t wanted, const Place& place, const CaseLoadOptions& options) {
  if (name.empty()) place.fail(std::string("the ") + kind + " file name is missing");
  try {
    readFile(options, resolveSideFile(name, options.sideFileDirectory, options.files), file.lines);
  } catch (const InputError& error) {
    throw InputError(place.prefix() + kind + " file " + error.what());
  }
  std::size_t found = 0;
  for (const auto& line : file.lines) {
    if (found == wanted) break;
    std::string formula = trimmed(line);
    if (!formula.empty() && formula.front() == '#') continue;
    formulas[found++] = std::move(formula);
  }
  return found;
}

// Value lines that messages about later keys quote: the fault may lie in them.
struct QuotedValues {
  std::string molarMasses;         // D10
  std::string molarVolumes;        // D11
  std::string initialPoints;       // "file, line L, key D22: "
  std::string initialPointsValue;  // D22
};

std::string describeSize(double bytes) {
  return std::to_string(static_cast<long long>(std::ceil(bytes / (1024.0 * 1024.0)))) + " MiB";
}

// Reads one profile line of a new calculation (x, r-1 contents in atomic
// percent, v_Darken, v_Sigma, pressure) into grid points [from, to).
// Returns x.
double readStepProfileLine(Case& c, const Place& place, int from, int to) {
  const int r = c.componentCount;
  InitialProfile& p = c.initial;
  std::string rest = place.value;
  const double x = takeReal(rest, place, "the position x");
  for (int i = 0; i + 1 < r; ++i) {
    const double ratio = takeReal(rest, place, "the content of component " + std::to_string(i + 1)) * 0.01;
    std::fill(p.molarRatio[i] + from, p.molarRatio[i] + to, ratio);
  }
  for (int j = from; j < to; ++j) {
    double balance = 1.0;
    for (int i = 0; i + 1 < r; ++i) balance -= p.molarRatio[i][j];
    p.molarRatio[r - 1][j] = balance;
  }
  const double darken = takeReal(rest, place, "v_Darken");
  const double sigma = takeReal(rest, place, "v_Sigma");
  const double pressure = realOf(rest, place, "the pressure");
  std::fill(p.darkenVelocity.begin() + from, p.darkenVelocity.begin() + to, darken);
  std::fill(p.sigmaVelocity.begin() + from, p.sigmaVelocity.begin() + to, sigma);
  std::fill(p.pressure.begin() + from, p.pressure.begin() + to, pressure);
  return x;
}

// Reads one profile line of a continuation (x and r-1 contents; the velocity
// and pressure columns are not read) into grid point j. Returns x.
double readContinuationLine(Case& c, const Place& place, int j) {
  const int r = c.componentCount;
  Table2<double>& N = c.initial.molarRatio;
  const auto tokens = blankSeparatedTokens(place.value);
  const auto token = [&](std::size_t index) { return index < tokens.size() ? tokens[index] : std::string(); };
  const double x = realOf(token(0), place, "the position x");
  double balance = 1.0;
  for (int i = 0; i + 1 < r; ++i) {
    const auto column = static_cast<std::size_t>(i) + 1;
    N[i][j] = realOf(token(column), place, "the content of component " + std::to_string(i + 1)) * 0.01;
    balance -= N[i][j];
  }
  N[r - 1][j] = balance;
  return x;
}

// D23: the initial profile. Two lines describe a step between two alloys
// (a new calculation); n lines give the whole profile (a continuation).
// Returns the index of the first entry after the profile lines.
std::size_t readInitialProfile(Case& c, const std::string& path, const QuotedValues& quoted, std::size_t entry) {
  const int n = c.pointCount;
  const int lineCount = c.initialPointCount;
  const auto& lines = c.dataFileLines;
  InitialProfile& p = c.initial;
  if (lineCount != 2 && lineCount != n)
    throw InputError(quoted.initialPoints + "the number of initial points is " + std::to_string(lineCount) +
                     "; it must be 2 for a new calculation or " + std::to_string(n) +
                     " (the number of grid points, key D2) for a continuation (value line \"" +
                     quoted.initialPointsValue + "\")");
  if (entry + static_cast<std::size_t>(lineCount) > lines.count())
    throw InputError(path + ", key D23: the file ends after " + std::to_string(lines.count() - entry) + " of the " +
                     std::to_string(lineCount) + " initial profile lines");

  p.lines.assign(static_cast<std::size_t>(lineCount), std::string());
  const auto placeOf = [&](int k) {
    p.lines[static_cast<std::size_t>(k)] = trimmed(lines[entry + static_cast<std::size_t>(k)]);
    return Place{path, entry + static_cast<std::size_t>(k) + 1, "D23", p.lines[static_cast<std::size_t>(k)]};
  };

  std::vector<double>& x = p.position;
  if (lineCount == 2) {
    const int half = n / 2;
    x[0] = readStepProfileLine(c, placeOf(0), 0, half);
    const Place second = placeOf(1);
    x[static_cast<std::size_t>(n) - 1] = readStepProfileLine(c, second, half, n);
    p.sampleWidth = x[static_cast<std::size_t>(n) - 1] - x[0];
    if (!(p.sampleWidth > 0.0) || !std::isfinite(p.sampleWidth))
      second.fail("the sample must have a positive width: x of the second line must be greater than x of the first");
    // The grid spacing is width/n (not width/(n-1)): the last point ends one
    // spacing short of the declared right end, while sampleWidth keeps the
    // declared width.
    for (int j = 1; j < n; ++j) x[static_cast<std::size_t>(j)] = x[static_cast<std::size_t>(j) - 1] + p.sampleWidth / n;
  } else {
    for (int j = 0; j < n; ++j) {
      const Place place = placeOf(j);
      x[static_cast<std::size_t>(j)] = readContinuationLine(c, place, j);
      if (j > 0 && !(x[static_cast<std::size_t>(j)] > x[static_cast<std::size_t>(j) - 1]))
        place.fail("the positions x must increase from line to line");
    }
    p.sampleWidth = x[static_cast<std::size_t>(n) - 1] - x[0];
  }
  return entry + static_cast<std::size_t>(lineCount);
}

// The quantities that follow from the profile: the Kirkendall plane's
// default place, the mixture molar volume, the concentrations, the density,
// the total concentration and the weight percentages of the initial lines.
void computeLoadedQuantities(Case& c, const std::string& path, const QuotedValues& quoted) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  InitialProfile& p = c.initial;
  if (!(c.initialKirkendallPosition > 0.0)) c.initialKirkendallPosition = p.position[0] + p.sampleWidth * 0.5;

  for (int j = 0; j < n; ++j) {
    double volume = 0.0;  // Omega = sum_i Omega_i N_i, cm^3/mol
    for (int i = 0; i < r; ++i) volume += c.partialMolarVolume[static_cast<std::size_t>(i)] * p.molarRatio[i][j];
    // A zero or negative molar volume would make every concentration below
    // infinite or negative: the case cannot be computed.
    if (!(volume > 0.0) || !std::isfinite(volume))
      throw InputError(path + ", keys D11 and D23: the molar volume of the mixture at x = " +
                       formatGeneral(p.position[static_cast<std::size_t>(j)]) + " is " + formatGeneral(volume) +
                       "; it must be positive (D11 value line \"" + quoted.molarVolumes + "\")");
    p.molarVolume[static_cast<std::size_t>(j)] = volume;
  }
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < n; ++j) p.concentration[i][j] = p.molarRatio[i][j] / p.molarVolume[static_cast<std::size_t>(j)];
  std::vector<double> densities(static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) {
    double density = 0.0;  // rho = sum_i M_i c_i, g/cm^3
    for (int i = 0; i < r; ++i) density += c.molarMass[static_cast<std::size_t>(i)] * p.concentration[i][j];
    if (!(density > 0.0) || !std::isfinite(density))
      throw InputError(
          path + ", keys D10 and D23: the density at x = " + formatGeneral(p.position[static_cast<std::size_t>(j)]) +
          " is " + formatGeneral(density) + "; the molar masses must give a positive density (D10 value line \"" +
          quoted.molarMasses + "\")");
    densities[static_cast<std::size_t>(j)] = density;
  }
  for (int j = 0; j < n; ++j) {
    double total = 0.0;
    for (int i = 0; i < r; ++i) total += p.concentration[i][j];
    p.totalConcentration[static_cast<std::size_t>(j)] = total;
  }

  // Weight percent beside each initial line: the two ends for a step, every
  // point for a continuation.
  const int lineCount = c.initialPointCount;
  p.weightPercent.resize(r, lineCount);
  for (int i = 0; i < r; ++i)
    for (int k = 0; k < lineCount; ++k) {
      const int j = lineCount == 2 ? (k == 0 ? 0 : n - 1) : k;
      p.weightPercent[i][k] = 100.0 * c.molarMass[static_cast<std::size_t>(i)] * p.concentration[i][j] /
                              densities[static_cast<std::size_t>(j)];
    }
}

void readCase(Case& c, const std::string& path, const CaseLoadOptions& options) {
  c.dataFileName = path;
  readFile(options, path, c.dataFileLines);
  for (std::size_t index = 0; index < c.dataFileLines.count(); ++index) {
    std::string& line = c.dataFileLines[index];
    for (char& ch : line)
      if (ch == '\t') ch = ' ';
  }

  // The sizes until D8 gives the case its shape.
  int r = 0;
  int n = 0;
  int key = 0;
  QuotedValues quoted;
  for (std::size_t entry = 0; entry < c.dataFileLines.count() && key <= kProfileKey; ++entry) {
    const std::string value = trimmed(c.dataFileLines[entry]);
    if (!value.empty() && value.front() == '#') continue;
    const Place place{path, entry + 1, keyName(keyAt(key)), value};

    switch (keyAt(key)) {
      case DataKey::D0:  // number of components
        r = std::max(integerOr(value, 0), 1);
        if (r > Case::kMaxComponents)
          place.fail(std::to_string(r) + " components are more than the program handles (at most " +
                     std::to_string(Case::kMaxComponents) + ")");
        break;
      case DataKey::D1: {  // start and end of the process time
        const Split split = splitValue(value);
        const double start = realOf(split.first, place, "the start time");
        const double end = realOf(split.rest, place, "the end time");
        c.startTime = start;
        c.endTime = (end >= 0.0 && end >= start) ? end : 0.0;
        break;
      }
      case DataKey::D2:  // number of grid points
        n = std::max(integerOr(value, 2), 3);
        if (n > Case::kMaxPoints)
          place.fail(std::to_string(n) + " grid points are more than the program handles (at most " +
                     std::to_string(Case::kMaxPoints) + ")");
        break;
      case DataKey::D3: c.timeStep = realOf(value, place, "the initial time step"); break;
      case DataKey::D4: c.concentrationError = realOf(value, place, "the concentration error"); break;
      case DataKey::D5: c.maxTimeStep = realOf(value, place, "the largest time step"); break;
      case DataKey::D6: {  // passes between step changes, truncated toward zero
        const double passes = std::trunc(realOf(value, place, "the number of time steps"));
        // Beyond the integer range the step is simply never enlarged.
        c.timeStepChangeInterval = passes < 2.0 ? 100 : passes > 2147483647.0 ? 2147483647 : static_cast<int>(passes);
        break;
      }
      case DataKey::D7: {
        const double multiplier = realOf(value, place, "the time step multiplier");
        c.timeStepMultiplier = multiplier > 1.0 ? multiplier : 1.1;
        break;
      }
      case DataKey::D8: {  // temperature; the case takes its shape here
        c.temperature = realOf(value, place, "the temperature");
        // What a run of the case holds per grid point: the per-component
        // arrays, the Onsager table and the per-point arrays.
        const double perPoint = 8.0 * (22.0 * r + static_cast<double>(r) * r + 12.0);
        if (perPoint * n > options.arrayByteLimit)
          throw InputError(path + ", keys D0 and D2: " + std::to_string(r) + " components on " + std::to_string(n) +
                           " grid points need " + describeSize(perPoint * n) + " of arrays, more than the " +
                           describeSize(options.arrayByteLimit) + " the program allows");
        c.setShape(r, n);
        break;
      }
      case DataKey::D9: {  // diffusivity mode and, for modes 0 and 1, the file
        const Split split = splitValue(value, true);
        c.diffusivityModel = static_cast<DiffusivityModel>(static_cast<std::uint8_t>(integerOr(split.first, 1)));
        c.diffusivityFile = SideFile();
        if (c.diffusivityModel == DiffusivityModel::Formulas || c.diffusivityModel == DiffusivityModel::Matrix) {
          c.diffusivityFile.name = split.rest;
          const auto found = loadSideFile("diffusivity", split.rest, c.diffusivityFile, c.diffusivityFormulas,
                                          static_cast<std::size_t>(r), place, options);
          if (found < static_cast<std::size_t>(r)) {
            const std::string where = place.prefix() + "the diffusivity file " + split.rest + " holds only " +
                                      std::to_string(found) + " of the " + std::to_string(r) +
                                      " formula lines it needs, one per component (key D0)";
            throw FatalModelError(kDiffusivityLinesMissing, where);
          }
        }
        break;
      }
      case DataKey::D9a: c.correlationFactor = realOf(value, place, "the correlation factor"); break;
      case DataKey::D10:
      case DataKey::D11: {  // D10 molar masses, D11 partial molar volumes: r reals
        const bool masses = keyAt(key) == DataKey::D10;
        (masses ? quoted.molarMasses : quoted.molarVolumes) = value;
        std::string rest = value;
        for (int i = 0; i < r; ++i) {
          const std::string what = "the value of component " + std::to_string(i + 1);
          const double component = i + 1 < r ? takeReal(rest, place, what) : realOf(rest, place, what);
          (masses ? c.molarMass : c.partialMolarVolume)[static_cast<std::size_t>(i)] = component;
        }
        break;
      }
      case DataKey::D12: {  // activity mode and, for mode 3, the file
        const Split split = splitValue(value, true);
        c.activityModel = static_cast<ActivityModel>(static_cast<std::uint8_t>(integerOr(split.first, 1)));
        c.activityFile = SideFile();
        if (c.activityModel == ActivityModel::Formulas) {
          c.activityFile.name = split.rest;
          const auto wanted = static_cast<std::size_t>(r) * static_cast<std::size_t>(r);
          const auto found =
              loadSideFile("activities", split.rest, c.activityFile, c.activityFormulas, wanted, place, options);
          for (auto missing = found; missing < wanted; ++missing) c.activityFormulas[missing] = "0";
        }
        break;
      }
      case DataKey::D13:
        c.constitutive = static_cast<Constitutive>(static_cast<std::uint8_t>(integerOr(value, 1)));
        break;
      case DataKey::D14: c.frame = static_cast<Frame>(static_cast<std::uint8_t>(integerOr(value, 1))); break;
      case DataKey::D15: c.darkenVelocityOn = static_cast<Switch>(integerOr(value, 1)); break;
      case DataKey::D16: {
        const auto scheme = static_cast<std::uint8_t>(integerOr(value, 0));
        c.differenceScheme = static_cast<DifferenceScheme>(scheme > 3 ? 0 : scheme);
        break;
      }
      case DataKey::D17: {
        const Split split = splitValue(value);
        c.refreshInterval = integerOr(split.first, 1);
        c.saveInterval = integerOr(split.rest, 1);
        break;
      }
      case DataKey::D18: c.calculationDelay = integerOr(value, 0); break;
      case DataKey::D19: c.kirkendallPlaneVisible = static_cast<Switch>(integerOr(value, 0)); break;
      case DataKey::D20: {  // selector, then the declared position
        const Split split = splitValue(value, true);
        c.initialKirkendallPosition = realOf(split.first, place, "the Kirkendall plane selector");
        if (c.initialKirkendallPosition != 0.0)
          c.initialKirkendallPosition = realOf(split.rest, place, "the Kirkendall plane position");
        break;
      }
      case DataKey::D21: {  // boundary flux mode, file, minimal molar fraction
        const Split split = splitValue(value, true);
        c.boundaryFlux = static_cast<BoundaryFlux>(static_cast<std::uint8_t>(integerOr(split.first, 0)));
        const std::string rest = split.rest;
        c.boundaryFluxFile = SideFile();
        if (c.boundaryFlux != BoundaryFlux::None) {
          if (rest.find(' ') == std::string::npos)
            place.fail("the boundary flux file must be followed by the minimal molar fraction");
          c.boundaryFluxFile.name = splitValue(rest).first;
          loadSideFile("boundary flux", c.boundaryFluxFile.name, c.boundaryFluxFile, c.boundaryFluxFormulas,
                       static_cast<std::size_t>(r), place, options);
        }
        const auto tokens = blankSeparatedTokens(rest);
        c.minimalMolarFraction =
            realOf(tokens.empty() ? std::string() : tokens.back(), place, "the minimal molar fraction");
        break;
      }
      case DataKey::D22:
        c.initialPointCount = integerOr(value, 0);
        quoted.initialPoints = place.prefix();
        quoted.initialPointsValue = value;
        break;
      case DataKey::D23: entry = readInitialProfile(c, path, quoted, entry) - 1; break;
      default: break;
    }
    ++key;
  }

  if (key <= kProfileKey)
    throw InputError(path + ": the file ends before key " + keyName(keyAt(key)) + " (" + std::to_string(key) +
                     " of the " + std::to_string(kDataKeyCount) + " value lines found)");
  computeLoadedQuantities(c, path, quoted);
}

}  // namespace

std::string resolveSideFile(const std::string& name, const std::string& directory, const CaseFiles* files) {
  if (directory.empty() || name.empty() || name.front() == '/') return name;
  const std::string beside = directory + (directory.back() == '/' ? "" : "/") + name;
  if (files != nullptr) return files->exists(beside) ? beside : name;
  std::error_code ignored;
  return std::filesystem::is_regular_file(beside, ignored) ? beside : name;
}

Case loadCase(const std::string& path, const CaseLoadOptions& options) {
  Case c;
  readCase(c, path, options);
  c.inputFiles = {{"data", c.dataFileName, c.dataFileLines.sha256()}};
  if (!c.diffusivityFile.name.empty())
    c.inputFiles.push_back({"diffusivities", c.diffusivityFile.name, c.diffusivityFile.lines.sha256()});
  if (!c.activityFile.name.empty())
    c.inputFiles.push_back({"activities", c.activityFile.name, c.activityFile.lines.sha256()});
  if (!c.boundaryFluxFile.name.empty())
    c.inputFiles.push_back({"boundary_flux", c.boundaryFluxFile.name, c.boundaryFluxFile.lines.sha256()});
  return c;
}

}  // namespace torvex
