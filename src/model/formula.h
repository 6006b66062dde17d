#pragma once
// Side-file formulas: the textual substitution of the variables and the
// evaluation of the resulting text by the expression parser (muParser).
//
// The substitution is textual on purpose: it fixes what the formula files
// mean. Every "N1" .. "Nr" becomes the molar ratio written in general format
// (no parentheses), then every "T" the temperature and every "t" the time,
// also inside function names (so sqrt, tan or atan cannot be used; exp and
// log can). With ten or more components "N10" is spoiled by the substitution
// of "N1": formulas address components 1 .. 9 only.

#include <string>
#include <string_view>
#include <vector>

#include "model/table.h"

namespace torvex {

// Longest substituted text handed to the parser.
constexpr std::size_t kMaxFormulaLength = 16383;

struct SubstitutedFormula {
  std::string text;
  bool constant = true;  // no variable was found
};

// Substitutes N1 .. N(componentCount), then T, then t in formula. The molar
// ratios are read from column `point` of molarRatio (only when a name occurs).
SubstitutedFormula substituteVariables(std::string_view formula, const Table2<double>& molarRatio, int componentCount,
                                       int point, double temperature, double time);

// Removes blanks and other characters up to the space character from both
// ends, without copying.
std::string_view trimmedView(std::string_view text);

// The pieces of a text between the separators, each trimmed as trimmedView
// trims; a text without a separator is one piece. Copies nothing.
std::vector<std::string_view> splitTrimmed(std::string_view text, char separator);

// Takes the next formula off a trimmed formula line: the text before the first
// blank (empty when there is none, the line then staying as it is), leaving
// the trimmed remainder in `rest`. Copies nothing.
std::string_view takeFormula(std::string_view& rest);

// Splits a formula line that holds `count` formulas: the text before the
// first blank is one formula and the trimmed rest continues; the last formula
// is the whole rest. A line with fewer blanks than needed therefore gives
// empty formulas first: a boundary-flux line "X" read as (left, right) is
// ("", "X"). Every formula comes back trimmed.
std::vector<std::string> splitFormulaLine(std::string_view line, int count);

struct ExpressionResult {
  double value = 0.0;  // 0 when the parser rejected the text
  bool ok = false;
  std::string message;  // the parser's message when it rejected the text
};

// Evaluates text with a parser that knows its default functions and
// operators and no variables. Arithmetic faults (division by zero, log(0))
// are not errors: the infinite or NaN result is returned as it is.
ExpressionResult evaluateExpression(const std::string& text);

}  // namespace torvex
