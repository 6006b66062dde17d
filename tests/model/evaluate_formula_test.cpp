#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "model/formula.h"
#include "model/formula_evaluator.h"

namespace torvex {
namespace {

// A run's formula evaluator for r components on three grid points, without
// a data file.
class Formulas : public ::testing::Test {
 protected:
  void build(int r) {
    evaluator_.reset(r);
    ratios_.resize(r, 3);
    temperature_ = 1273.0;
    time_ = 0.0;
  }

  // Evaluates (kind 0: without a cache) and returns what went to standard
  // output.
  std::string evaluate(int kind, int first, const std::string& formula, int point, int second) {
    testing::internal::CaptureStdout();
    value_ = evaluateFormula(kind, first, formula, point, second);
    return testing::internal::GetCapturedStdout();
  }
  double evaluateFormula(int kind, int first, const std::string& formula, int point, int second) {
    return evaluator_.evaluate(static_cast<FormulaKind>(kind), first, second, formula, ratios_, point, temperature_,
                               time_);
  }

  FormulaEvaluator evaluator_;
  Table2<double> ratios_;
  double temperature_ = 0.0;
  double time_ = 0.0;
  double value_ = 0.0;
};

TEST_F(Formulas, SubstitutesMolarRatiosTemperatureAndTime) {
  build(2);
  ratios_[0][1] = 0.25;
  ratios_[1][1] = 0.5;
  EXPECT_EQ(evaluate(1, 0, "N1*N2", 1, 0), "");
  EXPECT_EQ(value_, 0.125);
  EXPECT_FALSE(evaluator_.cached(FormulaKind::Diffusivity, 0, 0).valid);  // has variables: never cached

  evaluate(0, 0, "8.314*T", 1, 0);
  EXPECT_EQ(value_, 8.314 * 1273);

  time_ = 5.0;
  evaluate(0, 0, "t*2+N2", 1, 0);
  EXPECT_EQ(value_, 10.5);

  // A zero molar ratio is inserted as 0.
  evaluate(0, 0, "N2+1", 0, 0);
  EXPECT_EQ(value_, 1.0);
  // Very small ratios are inserted in exponent form and read back.
  ratios_[0][2] = 6.58e-7;
  evaluate(0, 0, "N1*1e7", 2, 0);
  EXPECT_DOUBLE_EQ(value_, 6.58);
}

TEST_F(Formulas, ConstantFormulasAreCachedPerModeEntry) {
  build(3);
  evaluate(1, 2, "3.1e-12", 0, 0);
  EXPECT_TRUE(evaluator_.cached(FormulaKind::Diffusivity, 2, 0).valid);
  EXPECT_EQ(evaluator_.cached(FormulaKind::Diffusivity, 2, 0).value, 3.1e-12);
  EXPECT_FALSE(evaluator_.cached(FormulaKind::Diffusivity, 0, 0).valid);

  evaluate(2, 1, "2*3", 0, 2);
  EXPECT_EQ(evaluator_.cached(FormulaKind::DiffusivityMatrix, 1, 2).value, 6.0);
  evaluate(3, 0, "0.21", 2, 3);
  EXPECT_EQ(evaluator_.cached(FormulaKind::OxidationConstant, 0, 3).value, 0.21);
  evaluate(4, 1, "-1e-9", 2, 1);  // component 1, right side
  EXPECT_TRUE(evaluator_.cached(FormulaKind::BoundaryFlux, 1, 1).valid);
  EXPECT_FALSE(evaluator_.cached(FormulaKind::BoundaryFlux, 1, 0).valid);
  evaluate(5, 2, "7", 0, 0);
  EXPECT_EQ(evaluator_.cached(FormulaKind::Activity, 2, 0).value, 7.0);

  // A failing constant formula is cached as 0 too: parsed once per run.
  value_ = 99;
  EXPECT_NE(evaluate(1, 0, "(1", 0, 0), "");
  EXPECT_TRUE(evaluator_.cached(FormulaKind::Diffusivity, 0, 0).valid);
  EXPECT_EQ(evaluator_.cached(FormulaKind::Diffusivity, 0, 0).value, 0.0);

  EXPECT_THROW(evaluateFormula(1, 3, "1", 0, 0), std::out_of_range);
  EXPECT_THROW(evaluateFormula(4, 0, "1", 0, 2), std::out_of_range);
}

TEST_F(Formulas, ParserFailuresYieldZeroAndOneMessageLine) {
  build(3);
  ratios_[0][0] = 0.25;
  // The t of sqrt is replaced by the time: the function name is spoiled.
  const std::string sqrtMessage = evaluate(0, 0, "sqrt(N1)", 0, 0);
  EXPECT_EQ(value_, 0.0);
  ASSERT_FALSE(sqrtMessage.empty());
  EXPECT_EQ(sqrtMessage.find('\n'), sqrtMessage.size() - 1);

  // N4 does not exist in a three-component system and stays in the text.
  const std::string n4 = evaluate(0, 0, "N4*2", 0, 0);
  EXPECT_EQ(value_, 0.0);
  EXPECT_NE(n4.find("N4"), std::string::npos) << n4;

  // An empty formula line.
  EXPECT_NE(evaluate(1, 1, "", 0, 0), "");
  EXPECT_EQ(value_, 0.0);

  // Longer than the parser takes after substitution.
  std::string longFormula = "1";
  while (longFormula.size() <= kMaxFormulaLength) longFormula += "+1";
  EXPECT_NE(evaluate(0, 0, longFormula, 0, 0).find("too long"), std::string::npos);
  EXPECT_EQ(value_, 0.0);
}

TEST_F(Formulas, ArithmeticFaultsAreNotErrors) {
  build(1);
  EXPECT_EQ(evaluate(0, 0, "1/0", 0, 0), "");
  EXPECT_TRUE(std::isinf(value_));
  EXPECT_EQ(evaluate(0, 0, "log(0)", 0, 0), "");
  EXPECT_TRUE(std::isinf(value_));
}

TEST_F(Formulas, TenthComponentNameIsSpoiledByTheFirst) {
  build(10);
  ratios_[0][0] = 0.25;
  ratios_[9][0] = 0.5;
  evaluate(0, 0, "N10", 0, 0);
  // "N10" became "0.25" followed by "0".
  EXPECT_EQ(value_, 0.25);
}

TEST(FormulaSubstitution, InsertsValuesWithoutParentheses) {
  Table2<double> ratios(2, 1);
  ratios[0][0] = -0.5;
  ratios[1][0] = 1.0 / 3.0;
  const auto result = substituteVariables("N1^2+N2*T-t", ratios, 2, 0, 1273, 0.5);
  EXPECT_EQ(result.text, "-0.5^2+0.333333333333333*1273-0.5");
  EXPECT_FALSE(result.constant);
  EXPECT_TRUE(substituteVariables("2*3", ratios, 2, 0, 1, 1).constant);
}

TEST(FormulaLines, SplitAtBlanksWithTheLastTakingTheRest) {
  using V = std::vector<std::string>;
  EXPECT_EQ(splitFormulaLine("1.021e-9 0 0", 3), (V{"1.021e-9", "0", "0"}));
  EXPECT_EQ(splitFormulaLine("0   0.0897*(N1^2)", 2), (V{"0", "0.0897*(N1^2)"}));
  EXPECT_EQ(splitFormulaLine("4.578e-14 8.97e-2 9.1e-14 0.21 1", 5),
            (V{"4.578e-14", "8.97e-2", "9.1e-14", "0.21", "1"}));
  // A single formula on a left/right line belongs to the right end.
  EXPECT_EQ(splitFormulaLine("X", 2), (V{"", "X"}));
  EXPECT_EQ(splitFormulaLine("1 2", 3), (V{"1", "", "2"}));
  EXPECT_EQ(splitFormulaLine("", 2), (V{"", ""}));
  // More formulas than needed stay in the last one (and fail there).
  EXPECT_EQ(splitFormulaLine("1 2 3", 2), (V{"1", "2 3"}));
}

}  // namespace
}  // namespace torvex
