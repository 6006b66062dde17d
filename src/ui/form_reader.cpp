#include "ui/form_reader.h"
#include "model/data_file_keys.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "model/case.h"
#include "model/number_format.h"

namespace torvex {

const char* const kProfileHeading =
    "#Initial concentration data  (x [cm], con_1 ,..., con_r-1 [% at.], v_Darken, v_Sigma, pressure)";

namespace {

// Leading and trailing blanks and control characters removed.
std::string_view trimView(std::string_view text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// A line cut at its first space into a first token and the rest (both
// trimmed). Without a space the first token is empty and the rest is the
// whole line; the guarded form gives the whole line as both instead.
struct Split {
  std::string_view first;
  std::string_view rest;
};

Split split(std::string_view line) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return {std::string_view(), trimView(line)};
  return {trimView(line.substr(0, space)), trimView(line.substr(space))};
}

Split guardedSplit(std::string_view line) {
  if (line.find(' ') == std::string_view::npos) return {trimView(line), trimView(line)};
  return split(line);
}

double numberOrZero(std::string_view text) {
  return parseReal(text).value_or(0.0);
}

std::string shown(double value) {
  return formatGeneral(value);
}

std::string shownNumber(std::string_view text) {
  return shown(numberOrZero(text));
}

// The boxes of a per-component line: every box but the last takes the next
// token, the last box takes what is left of the line. Only the boxes the
// forms hold (at most the model's limit) are produced; the splitting stops
// early once the line is used up, since every further box would read 0.
std::vector<std::string> componentValues(std::string_view line, int components) {
  const int boxes = std::clamp(components, 0, Case::kMaxComponents);
  std::vector<std::string> values;
  values.reserve(static_cast<std::size_t>(boxes));
  std::string_view rest = line;
  for (int i = 0; i < boxes; ++i) {
    if (i == components - 1) {
      values.push_back(shownNumber(rest));
    } else {
      const Split cut = split(rest);
      values.push_back(shownNumber(cut.first));
      rest = cut.rest;
    }
  }
  return values;
}

// One row of the initial profile: position, r - 1 concentrations, v_Darken
// as written, v_Sigma and the pressure.
std::vector<std::string> gridRow(std::string_view line, int components) {
  std::vector<std::string> cells;
  Split cut = split(line);
  cells.push_back(shownNumber(cut.first));
  for (int i = 1; i < components; ++i) {
    if (cut.rest.empty()) {
      // Nothing left: the remaining concentrations read 0, and so would
      // every further token, so there is no need to go on splitting.
      cells.resize(static_cast<std::size_t>(components), shown(0.0));
      break;
    }
    cut = split(cut.rest);
    cells.push_back(shownNumber(cut.first));
  }
  cut = split(cut.rest);
  cells.emplace_back(cut.first);
  cut = split(cut.rest);
  cells.push_back(shownNumber(cut.first));
  cells.push_back(shownNumber(cut.rest));
  return cells;
}

}  // namespace

FormValues ReadFormValues(const std::vector<std::string>& lines) {
  FormValues v;
  int j = 0;  // data lines handled so far
  int components = 2;
  double dt0 = 0.0;
  int points = 0;
  int profileRowsLeft = 0;

  for (const std::string& raw : lines) {
    std::string withSpaces = raw;
    std::replace(withSpaces.begin(), withSpaces.end(), '\t', ' ');
    const std::string_view line = trimView(withSpaces);

    // Inside the profile every line is a row, comment or not.
    if (profileRowsLeft > 0) {
      v.profileRows.emplace_back(line);
      --profileRowsLeft;
      continue;
    }
    if (!line.empty() && line.front() == '#') continue;

    switch (keyAt(j)) {
      case DataKey::D0:
        components = std::max(integerOr(line, 0), 2);
        v.components = components;
        break;
      case DataKey::D1: {
        const Split cut = split(line);
        const double start = numberOrZero(cut.first);
        double end = numberOrZero(cut.rest);
        if (end < 0.0 || end < start) end = 0.0;
        v.startTime = shown(start);
        v.endTime = shown(end);
        break;
      }
      case DataKey::D2: v.gridPoints = formatInteger(std::max(integerOr(line, 2), 3)); break;
      case DataKey::D3:
        dt0 = numberOrZero(line);
        v.initialTimeStep = shown(dt0);
        break;
      case DataKey::D4: v.concentrationError = shownNumber(line); break;
      case DataKey::D5: v.maximalTimeStep = shownNumber(line); break;
      case DataKey::D6: {
        // The steps between changes of the time step are checked against the
        // initial time step of this file.
        double steps = numberOrZero(line);
        if (steps < dt0) steps = 1.5 * dt0;
        // Half as much again as a step near the largest double overflows; the
        // step itself is then the nearest value the check accepts.
        if (!std::isfinite(steps)) steps = dt0;
        v.stepsBetweenChanges = shown(steps);
        break;
      }
      case DataKey::D7: {
        double multiplier = numberOrZero(line);
        if (!(multiplier > 1.0)) multiplier = 1.1;
        v.timeStepMultiplier = shown(multiplier);
        break;
      }
      case DataKey::D8: v.temperature = shownNumber(line); break;
      case DataKey::D9: {
        const Split cut = guardedSplit(line);
        const int choice = integerOr(cut.first, 1);
        v.diffusivityChoice = choice;
        if (choice == 0 || choice == 1) v.diffusivityFile = std::string(cut.rest);
        break;
      }
      case DataKey::D9a: v.correlationFactor = shownNumber(line); break;
      case DataKey::D10: v.molarMasses = componentValues(line, components); break;
      case DataKey::D11: v.molarVolumes = componentValues(line, components); break;
      case DataKey::D12: {
        const Split cut = guardedSplit(line);
        const int choice = integerOr(cut.first, 1);
        v.activityChoice = choice;
        if (choice == 3) v.activityFile = std::string(cut.rest);
        break;
      }
      case DataKey::D13: v.constitutiveChoice = integerOr(line, 0); break;
      case DataKey::D14: v.conservationChoice = integerOr(line, 0); break;
      case DataKey::D15: v.darkenChoice = integerOr(line, 1); break;
      case DataKey::D16: {
        const int choice = integerOr(line, 0);
        v.differentiationChoice = choice < 0 || choice > 3 ? 0 : choice;
        break;
      }
      case DataKey::D17: {
        const Split cut = split(line);
        v.refreshInterval = formatInteger(integerOr(cut.first, 1));
        v.saveInterval = formatInteger(integerOr(cut.rest, 1));
        break;
      }
      case DataKey::D18: v.speed = formatInteger(integerOr(line, 0)); break;
      case DataKey::D19: v.kirkendallVisibleChoice = integerOr(line, 0); break;
      case DataKey::D20: {
        // Any choice but the first (an index without an item included) means
        // the position is declared on the rest of the line.
        const Split cut = guardedSplit(line);
        const int choice = integerOr(cut.first, 0);
        v.kirkendallPositionChoice = choice;
        if (choice != 0) v.kirkendallPosition = std::string(cut.rest);
        break;
      }
      case DataKey::D21: {
        const Split cut = guardedSplit(line);
        const int choice = integerOr(cut.first, 0);
        v.fluxChoice = choice;
        if (choice > 0) {
          const std::size_t space = cut.rest.find(' ');
          v.fluxFile =
              space == std::string_view::npos ? std::string() : std::string(trimView(cut.rest.substr(0, space)));
        }
        const std::size_t last = line.rfind(' ');
        v.minimalFraction = shownNumber(last == std::string_view::npos ? line : line.substr(last + 1));
        break;
      }
      case DataKey::D22:
        points = integerOr(line, 0);
        v.initialPoints = points;
        break;
      case DataKey::D23:
        // The first profile row; the rest follow line by line above.
        if (points > 0) {
          v.profileRows.emplace_back(line);
          profileRowsLeft = points - 1;
        }
        break;
      default: break;  // anything after the profile is not read
    }
    ++j;
  }

  // A component count beyond what the model accepts has no grid to match;
  // the rows are then left out rather than spread over absurd columns.
  if (points > 0 && points <= 9 && components <= Case::kMaxComponents)
    for (const std::string& row : v.profileRows) v.gridRows.push_back(gridRow(row, components));
  return v;
}

}  // namespace torvex
