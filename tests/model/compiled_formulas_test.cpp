// The compiled formulas against the textual substitution they replace: both
// paths evaluate the same formulas at the same values and must agree on
// everything a caller can see (the value bit for bit, the message on
// standard output character for character, the cache entry, an exception).

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/compiled_formulas.h"
#include "model/formula.h"
#include "solver/run_state.h"
#include "support/solver_cases.h"

namespace torvex {
namespace {

constexpr int kPoints = 4;

std::uint64_t bitsOf(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// What one evaluation showed its caller.
struct Outcome {
  std::uint64_t value = 0;
  std::string output;
  bool cached = false;
  std::uint64_t cachedValue = 0;
  std::string thrown;

  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  double value;
  std::memcpy(&value, &o.value, sizeof value);
  return out << "value " << value << " output \"" << o.output << "\" cached " << o.cached << " thrown \"" << o.thrown
             << "\"";
}

// Two run states with the same r components and kPoints grid points, one
// evaluating textually and one from compiled formulas.
class TwoPaths {
 public:
  explicit TwoPaths(int r) : r_(r) {
    Case shape;
    shape.setShape(r, kPoints);
    for (RunState* s : {&textual_, &compiled_}) s->prepare(shape);
    textual_.formulas.compiled = false;
  }

  void setRatio(int component, int point, double value) {
    textual_.molarRatio[component][point] = compiled_.molarRatio[component][point] = value;
  }
  void setTemperature(double value) { textual_.temperature = compiled_.temperature = value; }
  void setTime(double value) { textual_.currentTime = compiled_.currentTime = value; }

  // Evaluates on both paths; a test failure when they differ.
  void expectSame(int mode, int first, const std::string& formula, int point, int second) {
    const Outcome a = evaluate(textual_, mode, first, formula, point, second);
    const Outcome b = evaluate(compiled_, mode, first, formula, point, second);
    ++evaluations_;
    EXPECT_EQ(a, b) << "formula \"" << formula << "\" at point " << point << " (r = " << r_ << ")";
  }

  [[nodiscard]] int evaluations() const { return evaluations_; }
  RunState& compiled() { return compiled_; }

 private:
  static Outcome evaluate(RunState& s, int mode, int first, const std::string& formula, int point, int second) {
    Outcome outcome;
    std::ostringstream captured;
    std::streambuf* const previous = std::cout.rdbuf(captured.rdbuf());
    double value = 42;  // set by every evaluation that returns
    try {
      value = s.formula(static_cast<FormulaKind>(mode), first, second, formula, point);
    } catch (const std::exception& error) {
      outcome.thrown = error.what();
    }
    std::cout.rdbuf(previous);
    outcome.value = bitsOf(value);
    outcome.output = captured.str();
    if (mode == 5 && first < s.molarRatio.rows() && second < s.molarRatio.rows()) {
      outcome.cached = s.formulas.cached(FormulaKind::Activity, first, second).valid;
      outcome.cachedValue = bitsOf(s.formulas.cached(FormulaKind::Activity, first, second).value);
    }
    return outcome;
  }

  int r_;
  int evaluations_ = 0;
  RunState textual_;
  RunState compiled_;
};

// Values that every kind of insertion meets: plain and exponent forms, more
// digits than are written, zero of both signs, negative values, values the
// substitution writes as INF or NAN, subnormal and huge ones.
std::vector<double> valuePalette() {
  const double inf = std::numeric_limits<double>::infinity();
  return {0.25,
          1.0 / 3,
          0.1,
          0.85,
          0.005,
          0.145,
          1 - 1e-16,
          0.0,
          -0.0,
          6.58e-7,
          1e-5,
          9.99999999999999e-6,
          1e-300,
          5e-324,
          2.5,
          1e20,
          123456789012345678.0,
          -0.3,
          -1e-9,
          -2.0,
          inf,
          -inf,
          std::nan(""),
          0.999999999999999949,
          1.5e-310};
}

std::mt19937_64& generator() {
  static std::mt19937_64 g(20240607);
  return g;
}

template <class T>
const T& pick(const std::vector<T>& from) {
  return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(generator())];
}

bool chance(double p) {
  return std::uniform_real_distribution<double>(0, 1)(generator()) < p;
}

// A random expression in the parser's syntax over the formula variables.
std::string expression(int depth, int r) {
  static const std::vector<std::string> numbers = {"2", "0.5", "3.0", "1e-3", "1E2", "2.5e+1", "0", "10", "8.314", "1"};
  static const std::vector<std::string> functions = {"exp", "log", "abs", "sin", "ln", "log10", "sqrt", "tan"};
  static const std::vector<std::string> operators = {"+", "-", "*", "/", "^", "<", ">"};
  if (depth <= 0 || chance(0.3)) {
    if (chance(0.35)) return pick(numbers);
    const int which = std::uniform_int_distribution<int>(0, r + 3)(generator());
    if (which == 0) return "T";
    if (which == 1) return "t";
    return "N" + std::to_string(which - 1);  // N1 .. N(r+2): some name no component
  }
  switch (std::uniform_int_distribution<int>(0, 5)(generator())) {
    case 0: return "(" + expression(depth - 1, r) + ")";
    case 1: return pick(functions) + "(" + expression(depth - 1, r) + ")";
    case 2: return "-" + expression(depth - 1, r);
    case 3: return (chance(0.5) ? "min(" : "max(") + expression(depth - 1, r) + "," + expression(depth - 1, r) + ")";
    default: return expression(depth - 1, r) + pick(operators) + expression(depth - 1, r);
  }
}

// Damages a formula the way a hand-edited file might: a character that
// touches a name, an operator the rule leaves to the textual path, a
// missing or extra character.
std::string damaged(std::string formula) {
  static const std::vector<std::string> insertions = {"2", "N",  "e",  ".", "=", "&&", "?1:", "(",  ")", "_",
                                                      "x", "\t", "N1", "T", "t", "E3", "||",  "\"", "!", ","};
  const auto at = std::uniform_int_distribution<std::size_t>(0, formula.size())(generator());
  if (chance(0.2) && !formula.empty())
    formula.erase(std::min(at, formula.size() - 1), 1);
  else
    formula.insert(at, pick(insertions));
  return formula;
}

TEST(CompiledFormulas, AgreeWithTheTextualPathOnGeneratedFormulasAndValues) {
  const std::vector<double> palette = valuePalette();
  const std::vector<double> temperatures = {1273, 1123.456789012345678, 0, -5, 1e20, 300.5};
  const std::vector<double> times = {0, 5, 1234.567890123456789, -1, 1e-6, 612000};
  int evaluations = 0;
  for (int r : {2, 3, 12}) {
    TwoPaths paths(r);
    for (int formulaIndex = 0; formulaIndex < 1500; ++formulaIndex) {
      std::string formula = expression(4, r);
      if (chance(0.3)) formula = damaged(formula);
      // Mostly ordinary values; now and then one from the edges of the rule.
      for (int trial = 0; trial < 4; ++trial) {
        for (int i = 0; i < r; ++i)
          for (int k = 0; k < kPoints; ++k)
            paths.setRatio(i, k,
                           chance(0.8) ? std::uniform_real_distribution<double>(0, 1)(generator()) : pick(palette));
        paths.setTemperature(chance(0.8) ? 1273.0 : pick(temperatures));
        paths.setTime(chance(0.8) ? std::uniform_real_distribution<double>(0, 1e6)(generator()) : pick(times));
        const int point = std::uniform_int_distribution<int>(-1, kPoints)(generator());  // a few outside
        paths.expectSame(5, formulaIndex % r, formula, point, trial % r);
        if (::testing::Test::HasFailure()) return;
      }
    }
    evaluations += paths.evaluations();
  }
  EXPECT_GE(evaluations, 18000);
}

TEST(CompiledFormulas, AgreeWithTheTextualPathOnTheSampleSideFiles) {
  std::vector<std::string> formulas;
  for (const char* file : {"activities.act", "inter_diff.dfv", "oxid_diff.dfv", "fluxes_funct.flx", "oxid_flux.flx"})
    for (const std::string& line : test::sampleFormulas(file))
      for (const std::string& formula : splitFormulaLine(line, 5)) formulas.push_back(formula);
  // And the diffusivity formulas the solver tests use.
  for (const char* formula : {"1.021e-9*exp(N1)", "3.647e-12*(1+N3)"}) formulas.emplace_back(formula);

  TwoPaths paths(3);
  std::uniform_real_distribution<double> ratio(0.001, 0.998);
  for (int sweep = 0; sweep < 25; ++sweep) {
    for (int k = 0; k < kPoints; ++k) {
      const double a = ratio(generator()), b = ratio(generator()) * (1 - a);
      paths.setRatio(0, k, sweep == 0 ? 0.85 : a);  // the first sweep: the sample's own compositions
      paths.setRatio(1, k, sweep == 0 ? 0.005 : b);
      paths.setRatio(2, k, sweep == 0 ? 0.145 : 1 - a - b);
    }
    paths.setTime(sweep * 1234.5);  // 0 first: the flux formula divides by t
    for (std::size_t f = 0; f < formulas.size(); ++f)
      for (int k = 0; k < kPoints; ++k)
        paths.expectSame(5, static_cast<int>(f % 3), formulas[f], k, static_cast<int>(f / 3 % 3));
    if (::testing::Test::HasFailure()) return;
  }
}

// The cases the rule sends to the textual path, each checked on both paths
// and for which path took it.
TEST(CompiledFormulas, LeaveToTheTextualPathWhatCouldReadDifferently) {
  struct Case {
    const char* formula;
    int r;
    bool compilable;
  };
  const Case cases[] = {
      {"N1*N2+T/t", 3, true}, {"-N1^2", 3, true},     {"exp(N1)*(N2 )", 3, true}, {"2N1", 3, false},
      {"N12", 3, false},      {"N12", 12, false},     {"N1e3", 3, false},         {"N1.5", 3, false},
      {".5N1", 3, false},     {"sqrt(N1)", 3, false}, {"N4*2", 3, false},         {"N0+1", 3, false},
      {"N1_x", 3, false},     {"N1=2", 3, false},     {"N1&&1", 3, false},        {"N1>0.5?1:2", 3, false},
      {"2*3", 3, false},      {"NN1", 3, false},      {"N1", 12, true},           {"N9", 12, true},
      {"N10", 12, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formulaShape(c.formula, c.r).compilable, c.compilable) << c.formula << " r = " << c.r;
    TwoPaths paths(c.r);
    for (int i = 0; i < c.r; ++i) paths.setRatio(i, 1, 0.1 * (i + 1));
    paths.setTemperature(1273);
    paths.setTime(5);
    paths.expectSame(5, 0, c.formula, 1, 1);
  }

  // A value the substitution would insert with a sign: "N1^2" becomes
  // "-0.3^2", which is -(0.3^2); the textual path keeps that meaning.
  TwoPaths paths(2);
  paths.setRatio(0, 0, -0.3);
  paths.expectSame(5, 0, "N1^2", 0, 0);
  paths.expectSame(5, 0, "-N1", 0, 0);
  RunState& s = paths.compiled();
  EXPECT_EQ(s.formula(FormulaKind::Activity, 0, 0, "N1^2", 0), -(0.3 * 0.3));
}

TEST(CompiledFormulas, InsertTheValueTheTextWouldHold) {
  EXPECT_EQ(insertedValue(1.0 / 3), 0.333333333333333);
  EXPECT_EQ(insertedValue(0.1 + 0.2), 0.3);
  EXPECT_EQ(insertedValue(6.58e-7), 6.58e-7);
  EXPECT_EQ(bitsOf(*insertedValue(-0.0)), bitsOf(0.0));  // written "0"
  EXPECT_EQ(insertedValue(-0.25), std::nullopt);         // written with a sign
  EXPECT_EQ(insertedValue(std::numeric_limits<double>::infinity()), std::nullopt);
  EXPECT_EQ(insertedValue(std::nan("")), std::nullopt);
  EXPECT_EQ(insertedValue(5e-324), std::nullopt);
  EXPECT_EQ(insertedValue(std::numeric_limits<double>::max()), std::nullopt);  // rounds past the largest double
}

TEST(CompiledFormulas, FollowTheTextUnderEachKey) {
  Case shape;
  shape.setShape(2, 3);
  RunState s;
  s.prepare(shape);
  s.molarRatio[0][1] = 0.25;
  s.molarRatio[1][1] = 0.5;
  EXPECT_EQ(s.formula(FormulaKind::Diffusivity, 0, 0, "N1*4", 1), 1.0);
  EXPECT_EQ(s.formula(FormulaKind::Diffusivity, 0, 0, "N2*4", 1), 2.0);  // another text under the same key
  s.molarRatio[1][1] = 0.125;                                            // a new value at the same point
  EXPECT_EQ(s.formula(FormulaKind::Diffusivity, 0, 0, "N2*4", 1), 0.5);
  EXPECT_EQ(s.formulas.compiledCount(), 1u);
}

}  // namespace
}  // namespace torvex
