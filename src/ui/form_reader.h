#pragma once
// Reading an input data file back into the parameter forms, without the
// forms: this decides which control receives which text. The reader is
// positional and forgiving. It never looks at the key comment lines; the data
// lines are taken one after another as the keys D0 … D22 and then as the rows
// of the initial profile. Text that is not a number never stops it: a decimal
// becomes 0 and an integer its default, and the corrections a run needs are
// applied on the way (at least two components, at least three grid points,
// an end time not before the start, and so on).
//
// No toolkit is involved, so the reading can be tested and fuzzed alone; the
// main window applies the result to its controls.

#include <optional>
#include <string>
#include <vector>

namespace torvex {

// What one read found. A field is empty when the file ended before its key,
// in which case the control keeps what it held. Decimal values are already in
// the text the box shows (general format); choices are combo item indices,
// which may lie outside a combo's items (that leaves it without a selection).
struct FormValues {
  std::optional<int> components;  // D0, at least 2
  std::optional<std::string> startTime, endTime;
  std::optional<std::string> gridPoints;  // D2, at least 3
  std::optional<std::string> initialTimeStep, concentrationError, maximalTimeStep;
  std::optional<std::string> stepsBetweenChanges, timeStepMultiplier, temperature;
  std::optional<int> diffusivityChoice;
  std::optional<std::string> diffusivityFile;  // only for choices 0 and 1
  std::optional<std::string> correlationFactor;
  std::optional<std::vector<std::string>> molarMasses;   // one per component
  std::optional<std::vector<std::string>> molarVolumes;  // one per component
  std::optional<int> activityChoice;
  std::optional<std::string> activityFile;  // only for choice 3
  std::optional<int> constitutiveChoice, conservationChoice, darkenChoice, differentiationChoice;
  std::optional<std::string> refreshInterval, saveInterval;
  std::optional<std::string> speed;
  std::optional<int> kirkendallVisibleChoice;
  std::optional<int> kirkendallPositionChoice;
  std::optional<std::string> kirkendallPosition;  // only when the choice is not item 0
  std::optional<int> fluxChoice;
  std::optional<std::string> fluxFile;  // only for a choice above 0
  std::optional<std::string> minimalFraction;
  std::optional<int> initialPoints;  // D22
  // The profile rows as read (trimmed), at most initialPoints of them; fewer
  // when the file ends early.
  std::vector<std::string> profileRows;
  // With at most 9 initial points the rows fill the grid: per row the
  // position, the r - 1 concentrations, v_Darken (verbatim), v_Sigma and the
  // pressure, r + 3 texts in all.
  std::vector<std::vector<std::string>> gridRows;
};

// Reads the lines of a data file (tabs count as spaces).
FormValues ReadFormValues(const std::vector<std::string>& lines);

// The heading line the profile text box starts with.
extern const char* const kProfileHeading;

}  // namespace torvex
