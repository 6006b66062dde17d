// The rates of the sample cases in every solver mode, compared bit for bit
// with a stored reference: users compare new runs with old ones, so a change
// in the last digit must be a decision, never an accident.
//
// After a deliberate change of the numerics, regenerate the reference with
//   TORVEX_UPDATE_REFERENCE=1 build/bin/torvex_core_tests --gtest_filter='SampleRates.*'
// and say why in the commit message.

#include <charconv>
#include <cstdlib>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "model/text_list.h"
#include "run/sample_files.h"
#include "solver/evaluate_derivative.h"
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
  for (const test::SolverCase& solverCase : test::solverCases()) {
    TForm1 m;
    test::loadSolverCase(m, solverCase);
    EvaluateDerivative(m);
    EvaluateDerivative(m);
    lines.add("# " + solverCase.name);
    for (int i = 0; i < m.componentCount; ++i) {
      std::string line;
      for (int k = 0; k < m.pointCount; ++k) line += (k ? " " : "") + exact(m.concentrationRate[i][k]);
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
  std::string section;
  for (std::size_t line = 0; line < rates.count(); ++line) {
    if (rates[line].rfind("# ", 0) == 0) section = rates[line];
    if (rates[line] == reference[line]) continue;
    std::istringstream got(rates[line]), want(reference[line]);
    std::string a, b;
    int point = 0;
    while (got >> a && want >> b && a == b) ++point;
    ADD_FAILURE() << section << ", line " << line + 1 << ", point " << point << ": " << a << " instead of " << b;
  }
}

}  // namespace
}  // namespace torvex
