// Reading the input data file into the model.
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

#include "model/data_file_keys.h"
#include "model/errors.h"
#include "model/number_format.h"
#include "model/tform1.h"

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

// Loads a side file into `lines` and copies its first `wanted` formula lines
// (trimmed; every line not starting with '#', an empty one included) into
// `formulas`. Returns how many were found.
std::size_t loadSideFile(const char* kind, const std::string& sideFile, TextList& lines,
                         std::vector<std::string>& formulas, std::size_t wanted, const Place& place,
                         const std::string& directory) {
  if (sideFile.empty()) place.fail(std::string("the ") + kind + " file name is missing");
  try {
    lines.loadFromFile(resolveSideFile(sideFile, directory));
  } catch (const InputError& error) {
    throw InputError(place.prefix() + kind + " file " + error.what());
  }
  std::size_t found = 0;
  for (const auto& line : lines) {
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
double readStepProfileLine(TForm1& model, const Place& place, int from, int to) {
  const int r = model.componentCount;
  std::string rest = place.value;
  const double x = takeReal(rest, place, "the position x");
  for (int i = 0; i + 1 < r; ++i) {
    const double ratio = takeReal(rest, place, "the content of component " + std::to_string(i + 1)) * 0.01;
    std::fill(model.molarRatio[i] + from, model.molarRatio[i] + to, ratio);
  }
  for (int j = from; j < to; ++j) {
    double balance = 1.0;
    for (int i = 0; i + 1 < r; ++i) balance -= model.molarRatio[i][j];
    model.molarRatio[r - 1][j] = balance;
  }
  const double darken = takeReal(rest, place, "v_Darken");
  const double sigma = takeReal(rest, place, "v_Sigma");
  const double pressure = realOf(rest, place, "the pressure");
  std::fill(model.darkenVelocity.begin() + from, model.darkenVelocity.begin() + to, darken);
  std::fill(model.sigmaVelocity.begin() + from, model.sigmaVelocity.begin() + to, sigma);
  std::fill(model.pressure.begin() + from, model.pressure.begin() + to, pressure);
  return x;
}

// Reads one profile line of a continuation (x and r-1 contents; the velocity
// and pressure columns are not read) into grid point j. Returns x.
double readContinuationLine(TForm1& model, const Place& place, int j) {
  const int r = model.componentCount;
  const auto tokens = blankSeparatedTokens(place.value);
  const auto token = [&](std::size_t index) { return index < tokens.size() ? tokens[index] : std::string(); };
  const double x = realOf(token(0), place, "the position x");
  double balance = 1.0;
  for (int i = 0; i + 1 < r; ++i) {
    const auto column = static_cast<std::size_t>(i) + 1;
    model.molarRatio[i][j] = realOf(token(column), place, "the content of component " + std::to_string(i + 1)) * 0.01;
    balance -= model.molarRatio[i][j];
  }
  model.molarRatio[r - 1][j] = balance;
  return x;
}

// D23: the initial profile. Two lines describe a step between two alloys
// (a new calculation); n lines give the whole profile (a continuation).
// Returns the index of the first entry after the profile lines.
std::size_t readInitialProfile(TForm1& model, const std::string& path, const QuotedValues& quoted, std::size_t entry) {
  const int n = model.pointCount;
  const int lineCount = model.initialPointCount;
  const auto& lines = model.dataFileLines;
  if (lineCount != 2 && lineCount != n)
    throw InputError(quoted.initialPoints + "the number of initial points is " + std::to_string(lineCount) +
                     "; it must be 2 for a new calculation or " + std::to_string(n) +
                     " (the number of grid points, key D2) for a continuation (value line \"" +
                     quoted.initialPointsValue + "\")");
  if (entry + static_cast<std::size_t>(lineCount) > lines.count())
    throw InputError(path + ", key D23: the file ends after " + std::to_string(lines.count() - entry) + " of the " +
                     std::to_string(lineCount) + " initial profile lines");

  model.initialProfileLines.assign(static_cast<std::size_t>(lineCount), std::string());
  const auto placeOf = [&](int k) {
    model.initialProfileLines[static_cast<std::size_t>(k)] = trimmed(lines[entry + static_cast<std::size_t>(k)]);
    return Place{path, entry + static_cast<std::size_t>(k) + 1, "D23",
                 model.initialProfileLines[static_cast<std::size_t>(k)]};
  };

  if (lineCount == 2) {
    const int half = n / 2;
    model.position[0] = readStepProfileLine(model, placeOf(0), 0, half);
    const Place second = placeOf(1);
    model.position[static_cast<std::size_t>(n) - 1] = readStepProfileLine(model, second, half, n);
    model.sampleWidth = model.position[static_cast<std::size_t>(n) - 1] - model.position[0];
    if (!(model.sampleWidth > 0.0) || !std::isfinite(model.sampleWidth))
      second.fail("the sample must have a positive width: x of the second line must be greater than x of the first");
    // The grid spacing is width/n (not width/(n-1)): the last point ends one
    // spacing short of the declared right end, while sampleWidth keeps the
    // declared width.
    for (int j = 1; j < n; ++j)
      model.position[static_cast<std::size_t>(j)] =
          model.position[static_cast<std::size_t>(j) - 1] + model.sampleWidth / n;
  } else {
    for (int j = 0; j < n; ++j) {
      const Place place = placeOf(j);
      model.position[static_cast<std::size_t>(j)] = readContinuationLine(model, place, j);
      if (j > 0 && !(model.position[static_cast<std::size_t>(j)] > model.position[static_cast<std::size_t>(j) - 1]))
        place.fail("the positions x must increase from line to line");
    }
    model.sampleWidth = model.position[static_cast<std::size_t>(n) - 1] - model.position[0];
  }
  return entry + static_cast<std::size_t>(lineCount);
}

// The quantities that follow from the profile: the Kirkendall plane's
// default place, the mixture molar volume, the concentrations, the density,
// the total concentration and the weight percentages of the initial lines.
void computeLoadedQuantities(TForm1& model, const std::string& path, const QuotedValues& quoted) {
  const int r = model.componentCount;
  const int n = model.pointCount;
  if (!(model.initialKirkendallPosition > 0.0))
    model.initialKirkendallPosition = model.position[0] + model.sampleWidth * 0.5;

  for (int j = 0; j < n; ++j) {
    double volume = 0.0;  // Omega = sum_i Omega_i N_i, cm^3/mol
    for (int i = 0; i < r; ++i) volume += model.partialMolarVolume[i][j] * model.molarRatio[i][j];
    // A zero or negative molar volume would make every concentration below
    // infinite or negative: the case cannot be computed.
    if (!(volume > 0.0) || !std::isfinite(volume))
      throw InputError(path + ", keys D11 and D23: the molar volume of the mixture at x = " +
                       formatGeneral(model.position[static_cast<std::size_t>(j)]) + " is " + formatGeneral(volume) +
                       "; it must be positive (D11 value line \"" + quoted.molarVolumes + "\")");
    model.molarVolume[static_cast<std::size_t>(j)] = volume;
  }
  for (int i = 0; i < r; ++i)
    for (int j = 0; j < n; ++j)
      model.concentration[i][j] = model.molarRatio[i][j] / model.molarVolume[static_cast<std::size_t>(j)];
  for (int j = 0; j < n; ++j) {
    double density = 0.0;  // rho = sum_i M_i c_i, g/cm^3
    for (int i = 0; i < r; ++i) density += model.molarMass[static_cast<std::size_t>(i)] * model.concentration[i][j];
    if (!(density > 0.0) || !std::isfinite(density))
      throw InputError(path + ", keys D10 and D23: the density at x = " +
                       formatGeneral(model.position[static_cast<std::size_t>(j)]) + " is " + formatGeneral(density) +
                       "; the molar masses must give a positive density (D10 value line \"" + quoted.molarMasses +
                       "\")");
    model.density[static_cast<std::size_t>(j)] = density;
  }
  for (int j = 0; j < n; ++j) {
    double total = 0.0;
    for (int i = 0; i < r; ++i) total += model.concentration[i][j];
    model.totalConcentration[static_cast<std::size_t>(j)] = total;
  }

  // Weight percent beside each initial line: the two ends for a step, every
  // point for a continuation.
  const int lineCount = model.initialPointCount;
  model.initialWeightProfile.resize(r, lineCount);
  for (int i = 0; i < r; ++i)
    for (int k = 0; k < lineCount; ++k) {
      const int j = lineCount == 2 ? (k == 0 ? 0 : n - 1) : k;
      model.initialWeightProfile[i][k] = 100.0 * model.molarMass[static_cast<std::size_t>(i)] *
                                         model.concentration[i][j] / model.density[static_cast<std::size_t>(j)];
    }
}

}  // namespace

std::string resolveSideFile(const std::string& name, const std::string& directory) {
  if (directory.empty() || name.empty() || name.front() == '/') return name;
  const std::string beside = directory + (directory.back() == '/' ? "" : "/") + name;
  std::error_code ignored;
  return std::filesystem::is_regular_file(beside, ignored) ? beside : name;
}

void TForm1::load(const std::string& path) {
  loadComplete = false;
  try {
    loadUnchecked(path);
  } catch (...) {
    // Nothing of a half-read case may be run or drawn: drop the arrays and
    // the sizes that describe them.
    releaseArrays();
    componentCount = 0;
    pointCount = 0;
    initialPointCount = 0;
    inputFiles.clear();
    throw;
  }
  // The files as read, before a run reuses the boundary flux list as its record.
  inputFiles = {{"data", dataFileName, dataFileLines.sha256()}};
  if (!diffusivityFileName.empty())
    inputFiles.push_back({"diffusivities", diffusivityFileName, diffusivityFileLines.sha256()});
  if (!activityFileName.empty()) inputFiles.push_back({"activities", activityFileName, activityFileLines.sha256()});
  if (!boundaryFluxFileName.empty())
    inputFiles.push_back({"boundary_flux", boundaryFluxFileName, boundaryFluxLines.sha256()});
  loadComplete = true;
}

void TForm1::loadUnchecked(const std::string& path) {
  dataFileName = path;
  dataFileLines.loadFromFile(path);
  for (std::size_t index = 0; index < dataFileLines.count(); ++index) {
    std::string& line = dataFileLines[index];
    for (char& c : line)
      if (c == '\t') c = ' ';
  }

  // The arrays of a previous load stay until D8 replaces them; until then the
  // new sizes live here so that nothing indexes old arrays with new sizes.
  int r = componentCount;
  int n = pointCount;
  int key = 0;
  QuotedValues quoted;
  for (std::size_t entry = 0; entry < dataFileLines.count() && key <= kProfileKey; ++entry) {
    const std::string value = trimmed(dataFileLines[entry]);
    if (!value.empty() && value.front() == '#') continue;
    const Place place{path, entry + 1, keyName(keyAt(key)), value};

    switch (keyAt(key)) {
      case DataKey::D0:  // number of components
        r = std::max(integerOr(value, 0), 1);
        if (r > kMaxComponents)
          place.fail(std::to_string(r) + " components are more than the program handles (at most " +
                     std::to_string(kMaxComponents) + ")");
        break;
      case DataKey::D1: {  // start and end of the process time
        const Split split = splitValue(value);
        const double start = realOf(split.first, place, "the start time");
        const double end = realOf(split.rest, place, "the end time");
        startTime = start;
        endTime = (end >= 0.0 && end >= start) ? end : 0.0;
        break;
      }
      case DataKey::D2:  // number of grid points
        n = std::max(integerOr(value, 2), 3);
        if (n > kMaxPoints)
          place.fail(std::to_string(n) + " grid points are more than the program handles (at most " +
                     std::to_string(kMaxPoints) + ")");
        break;
      case DataKey::D3: timeStep = realOf(value, place, "the initial time step"); break;
      case DataKey::D4: concentrationError = realOf(value, place, "the concentration error"); break;
      case DataKey::D5: maxTimeStep = realOf(value, place, "the largest time step"); break;
      case DataKey::D6: {  // passes between step changes, truncated toward zero
        const double passes = std::trunc(realOf(value, place, "the number of time steps"));
        // Beyond the integer range the step is simply never enlarged.
        timeStepChangeInterval = passes < 2.0 ? 100 : passes > 2147483647.0 ? 2147483647 : static_cast<int>(passes);
        break;
      }
      case DataKey::D7: {
        const double multiplier = realOf(value, place, "the time step multiplier");
        timeStepMultiplier = multiplier > 1.0 ? multiplier : 1.1;
        break;
      }
      case DataKey::D8: {  // temperature; the arrays of the new shape are created here
        temperature = realOf(value, place, "the temperature");
        const double perPoint = 8.0 * (22.0 * r + static_cast<double>(r) * r + 12.0);
        if (perPoint * n > arrayByteLimit)
          throw InputError(path + ", keys D0 and D2: " + std::to_string(r) + " components on " + std::to_string(n) +
                           " grid points need " + describeSize(perPoint * n) + " of arrays, more than the " +
                           describeSize(arrayByteLimit) + " the program allows");
        releaseArrays();
        componentCount = r;
        pointCount = n;
        allocateArrays(r, n);
        clearArrays();
        break;
      }
      case DataKey::D9: {  // diffusivity mode and, for modes 0 and 1, the file
        const Split split = splitValue(value, true);
        diffusivityMode = static_cast<Switch>(integerOr(split.first, 1));
        diffusivityFileLines.clear();
        diffusivityFileName.clear();
        if (diffusivityMode == 0 || diffusivityMode == 1) {
          diffusivityFileName = split.rest;
          const auto found = loadSideFile("diffusivity", split.rest, diffusivityFileLines, diffusivityFormulas,
                                          static_cast<std::size_t>(r), place, sideFileDirectory);
          if (found < static_cast<std::size_t>(r)) {
            const std::string where = place.prefix() + "the diffusivity file " + split.rest + " holds only " +
                                      std::to_string(found) + " of the " + std::to_string(r) +
                                      " formula lines it needs, one per component (key D0)";
            throw FatalModelError(kDiffusivityLinesMissing, where);
          }
        }
        break;
      }
      case DataKey::D9a: correlationFactor = realOf(value, place, "the correlation factor"); break;
      case DataKey::D10:
      case DataKey::D11: {  // D10 molar masses, D11 partial molar volumes: r reals
        (keyAt(key) == DataKey::D10 ? quoted.molarMasses : quoted.molarVolumes) = value;
        std::string rest = value;
        for (int i = 0; i < r; ++i) {
          const std::string what = "the value of component " + std::to_string(i + 1);
          const double component = i + 1 < r ? takeReal(rest, place, what) : realOf(rest, place, what);
          if (keyAt(key) == DataKey::D10)
            molarMass[static_cast<std::size_t>(i)] = component;
          else
            std::fill_n(partialMolarVolume[i], n, component);
        }
        break;
      }
      case DataKey::D12: {  // activity mode and, for mode 3, the file
        const Split split = splitValue(value, true);
        activityMode = static_cast<Switch>(integerOr(split.first, 1));
        activityFileLines.clear();
        activityFileName.clear();
        if (activityMode == 3) {
          activityFileName = split.rest;
          const auto wanted = static_cast<std::size_t>(r) * static_cast<std::size_t>(r);
          const auto found = loadSideFile("activities", split.rest, activityFileLines, activityFormulas, wanted, place,
                                          sideFileDirectory);
          for (auto missing = found; missing < wanted; ++missing) activityFormulas[missing] = "0";
        }
        break;
      }
      case DataKey::D13: constitutiveMode = static_cast<Switch>(integerOr(value, 1)); break;
      case DataKey::D14: referenceFrameMode = static_cast<Switch>(integerOr(value, 1)); break;
      case DataKey::D15: darkenVelocityOn = static_cast<Switch>(integerOr(value, 1)); break;
      case DataKey::D16:
        differenceScheme = static_cast<Switch>(integerOr(value, 0));
        if (differenceScheme > 3) differenceScheme = 0;
        break;
      case DataKey::D17: {
        const Split split = splitValue(value);
        refreshInterval = integerOr(split.first, 1);
        saveInterval = integerOr(split.rest, 1);
        break;
      }
      case DataKey::D18: calculationDelay = integerOr(value, 0); break;
      case DataKey::D19: kirkendallPlaneVisible = static_cast<Switch>(integerOr(value, 0)); break;
      case DataKey::D20: {  // selector, then the declared position
        const Split split = splitValue(value, true);
        initialKirkendallPosition = realOf(split.first, place, "the Kirkendall plane selector");
        if (initialKirkendallPosition != 0.0)
          initialKirkendallPosition = realOf(split.rest, place, "the Kirkendall plane position");
        break;
      }
      case DataKey::D21: {  // boundary flux mode, file, minimal molar fraction
        const Split split = splitValue(value, true);
        boundaryFluxMode = static_cast<Switch>(integerOr(split.first, 0));
        const std::string rest = split.rest;
        boundaryFluxFileName.clear();
        if (boundaryFluxMode != 0) {
          if (rest.find(' ') == std::string::npos)
            place.fail("the boundary flux file must be followed by the minimal molar fraction");
          boundaryFluxFileName = splitValue(rest).first;
          loadSideFile("boundary flux", boundaryFluxFileName, boundaryFluxLines, boundaryFluxFormulas,
                       static_cast<std::size_t>(r), place, sideFileDirectory);
        }
        const auto tokens = blankSeparatedTokens(rest);
        minimalMolarFraction =
            realOf(tokens.empty() ? std::string() : tokens.back(), place, "the minimal molar fraction");
        break;
      }
      case DataKey::D22:
        initialPointCount = integerOr(value, 0);
        quoted.initialPoints = place.prefix();
        quoted.initialPointsValue = value;
        break;
      case DataKey::D23: entry = readInitialProfile(*this, path, quoted, entry) - 1; break;
      default: break;
    }
    ++key;
  }

  if (key <= kProfileKey)
    throw InputError(path + ": the file ends before key " + keyName(keyAt(key)) + " (" + std::to_string(key) +
                     " of the " + std::to_string(kDataKeyCount) + " value lines found)");
  computeLoadedQuantities(*this, path, quoted);
}

}  // namespace torvex
