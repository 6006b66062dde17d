#pragma once
// Where a non-finite value (NaN or infinite) appeared in a run, and the
// messages that tell it: in the run report, on the command line and in the
// desktop program's message box.

#include <string>
#include <vector>

namespace torvex {

struct NonFiniteValue {
  bool seen = false;
  bool inRates = false;  // dc/dt (mol/(cm^3 s)) rather than the concentration
  int component = 0;     // 0-based
  int point = 0;
  double value = 0;
  double time = 0;  // s
  int pass = 0;     // 1-based
  // When a side-file formula gave the value: which formula, its text and
  // the temperature it was evaluated at (component and point are then the
  // formula's and the point's it was evaluated at).
  std::string formula;
};

// A pass that could not start: the profile it starts from, or its rates of
// change, held the value at the start of the pass; position (cm) names x.
std::string describeNonFinite(const NonFiniteValue& value, const std::vector<double>& position);

// A profile found to hold the value after a pass (the final check of a
// batch run).
std::string describeNonFiniteProfile(const NonFiniteValue& value, const std::vector<double>& position);

}  // namespace torvex
