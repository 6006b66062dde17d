#include "model/formula.h"

#include <muParser.h>

#include "model/number_format.h"
#include "model/text_list.h"

namespace torvex {
namespace {

// Replaces every occurrence of name by value, scanning on after each
// inserted text. Returns whether there was one.
bool replaceAll(std::string& text, std::string_view name, const std::string& value) {
  bool found = false;
  for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
    text.replace(at, name.size(), value);
    found = true;
  }
  return found;
}

}  // namespace

SubstitutedFormula substituteVariables(std::string_view formula, const Table2<double>& molarRatio, int componentCount,
                                       int point, double temperature, double time) {
  SubstitutedFormula result{std::string(formula), true};
  std::string& text = result.text;
  for (int m = 1; m <= componentCount; ++m) {
    const std::string name = "N" + std::to_string(m);
    if (text.find(name) == std::string::npos) continue;
    if (point < 0 || point >= molarRatio.columns() || m > molarRatio.rows())
      throw std::out_of_range("formula evaluated at grid point " + std::to_string(point) + " outside the profile");
    replaceAll(text, name, formatGeneral(molarRatio[m - 1][point]));
    result.constant = false;
  }
  if (text.find('T') != std::string::npos) {
    replaceAll(text, "T", formatGeneral(temperature));
    result.constant = false;
  }
  if (text.find('t') != std::string::npos) {
    replaceAll(text, "t", formatGeneral(time));
    result.constant = false;
  }
  return result;
}

std::string_view trimmedView(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> splitTrimmed(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (;;) {
    const auto at = text.find(separator);
    pieces.push_back(trimmedView(text.substr(0, at)));
    if (at == std::string_view::npos) return pieces;
    text.remove_prefix(at + 1);
  }
}

std::string_view takeFormula(std::string_view& rest) {
  const auto blank = rest.find(' ');
  if (blank == std::string_view::npos) return {};
  const std::string_view formula = rest.substr(0, blank);
  rest = trimmedView(rest.substr(blank));
  return formula;
}

std::vector<std::string> splitFormulaLine(std::string_view line, int count) {
  std::vector<std::string> formulas;
  std::string_view rest = trimmedView(line);
  for (int k = 0; k + 1 < count; ++k) formulas.emplace_back(takeFormula(rest));
  if (count > 0) formulas.emplace_back(rest);
  return formulas;
}

ExpressionResult evaluateExpression(const std::string& text) {
  ExpressionResult result;
  if (text.size() > kMaxFormulaLength) {
    result.message = "Formula too long: " + std::to_string(text.size()) + " characters after substitution (at most " +
                     std::to_string(kMaxFormulaLength) + ").";
    return result;
  }
  try {
    mu::Parser parser;
    parser.SetExpr(text);
    result.value = parser.Eval();
    result.ok = true;
  } catch (const mu::Parser::exception_type& error) {
    result.value = 0.0;
    result.message = error.GetMsg();
  }
  return result;
}

}  // namespace torvex
