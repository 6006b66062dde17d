// The rates of the sample cases in every solver mode, compared bit for bit
// with a stored reference: users compare new runs with old ones, so a change
// in the last digit must be a decision, never an accident.
//
// Bit-for-bit holds for one math library (see support/math_library.h); under
// another one the rates are compared to 1e-12 instead.
//
// After a deliberate change of the numerics, regenerate the reference with
//   TORVEX_UPDATE_REFERENCE=1 build/bin/torvex_core_tests --gtest_filter='SampleRates.*'
// and say why in the commit message.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/number_format.h"
#include "model/sample_files.h"
#include "model/text_list.h"
#include "solver/evaluate_derivative.h"
#include "support/math_library.h"
#include "support/solver_cases.h"
#include "support/test_files.h"

namespace torvex {
namespace {

const std::string kReference = std::string(TORVEX_TEST_DATA_DIR) + "/solver/sample_rates.txt";

// The shortest text that reads back as exactly this double.
std::string exact(double value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return {buffer, end};
}

// Two evaluations, so that what one leaves for the next (boundary
// velocities, skipped points, caches) is part of the result.
TextList computeRates() {
  test::ScratchDirectory dir;
  test::ScopedWorkingDirectory cwd(dir.path());
  WriteSampleFiles();
  TextList lines;
  lines.add("# math library " + test::mathLibraryFingerprint());
  for (const test::SolverCase& solverCase : test::solverCases()) {
    Simulation m;
    test::loadSolverCase(m, solverCase);
    EvaluateDerivative(m.input, m.state);
    EvaluateDerivative(m.input, m.state);
    lines.add("# " + solverCase.name);
    for (int i = 0; i < m.input.componentCount; ++i) {
      std::string line;
      for (int k = 0; k < m.input.pointCount; ++k) line += (k ? " " : "") + exact(m.state.concentrationRate[i][k]);
      lines.add(line);
    }
  }
  return lines;
}

TEST(SampleRates, MatchTheReferenceBitForBit) {
  const TextList rates = computeRates();
  if (std::getenv("TORVEX_UPDATE_REFERENCE")) {
    rates.saveToFile(kReference);
    GTEST_SKIP() << "reference rewritten: " << kReference;
  }
  TextList reference;
  reference.loadFromFile(kReference);
  ASSERT_EQ(rates.count(), reference.count());
  const bool sameLibrary = rates[0] == reference[0];
  if (!sameLibrary) std::cout << "Reference made with another math library: rates compared to 1e-12.\n";
  std::string section;
  for (std::size_t line = 1; line < rates.count(); ++line) {
    if (rates[line].rfind("# ", 0) == 0) section = rates[line];
    if (rates[line] == reference[line]) continue;
    std::istringstream got(rates[line]), want(reference[line]);
    std::vector<double> a, b;
    for (std::string word; got >> word;) a.push_back(parseReal(word).value_or(NAN));
    for (std::string word; want >> word;) b.push_back(parseReal(word).value_or(NAN));
    ASSERT_EQ(a.size(), b.size()) << section;
    double scale = 0;
    for (double value : b) scale = std::max(scale, std::fabs(value));
    for (std::size_t point = 0; point < a.size(); ++point) {
      const bool close = std::fabs(a[point] - b[point]) <= 1e-12 * scale;
      if (a[point] != b[point] && (sameLibrary || !close)) {
        ADD_FAILURE() << section << ", line " << line + 1 << ", point " << point << ": " << exact(a[point])
                      << " instead of " << exact(b[point]);
        break;
      }
    }
  }
}

}  // namespace
}  // namespace torvex
