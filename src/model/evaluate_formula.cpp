#include <iostream>
#include <stdexcept>

#include "model/compiled_formulas.h"
#include "model/formula.h"
#include "model/tform1.h"

namespace torvex {
namespace {

CachedValue& cacheEntry(TForm1& model, int mode, int first, int second) {
  const auto check = [](bool inside, const char* what) {
    if (!inside) throw std::out_of_range(std::string("evaluateFormula: ") + what + " index outside the cache");
  };
  const int r = model.componentCount;
  switch (mode) {
    case 1:
      check(first >= 0 && first < static_cast<int>(model.diffusivityFormulaCache.size()), "component");
      return model.diffusivityFormulaCache[static_cast<std::size_t>(first)];
    case 2:
      check(first >= 0 && first < model.diffusivityMatrixCache.rows() && second >= 0 && second < r, "matrix");
      return model.diffusivityMatrixCache[first][second];
    case 3:
      check(second >= 0 && second < static_cast<int>(model.oxidationConstantCache.size()), "oxidation constant");
      return model.oxidationConstantCache[static_cast<std::size_t>(second)];
    case 4:
      check(second >= 0 && second < 2 && first >= 0 && first < model.boundaryFluxCache.columns(), "boundary flux");
      return model.boundaryFluxCache[second][first];
    default:
      check(first >= 0 && first < model.activityFormulaCache.rows() && second >= 0 && second < r, "activity");
      return model.activityFormulaCache[first][second];
  }
}

}  // namespace

void TForm1::evaluateFormula(int mode, int first, std::string_view formula, int point, int second) {
  // A formula with variables is parsed once and evaluated from its compiled
  // form wherever that gives the textual result; everything else (constants,
  // which the caches keep, failures and their messages, values that would
  // not be inserted as plain numbers) takes the textual path below.
  if (compiledFormulas) {
    if (!compiledFormulaStore) compiledFormulaStore = std::make_shared<CompiledFormulas>();
    if (compiledFormulaStore->evaluate(*this, mode, first, second, formula, point)) return;
  }

  formulaValue = 0.0;
  const SubstitutedFormula substituted =
      substituteVariables(formula, molarRatio, componentCount, point, temperature, currentTime);
  const ExpressionResult result = evaluateExpression(substituted.text);
  if (result.ok)
    formulaValue = result.value;
  else
    std::cout << result.message << '\n';
  // A formula without variables keeps its value (a failure's 0 included)
  // until the next load.
  if (substituted.constant && mode >= 1 && mode <= 5) {
    CachedValue& entry = cacheEntry(*this, mode, first, second);
    entry.value = formulaValue;
    entry.valid = true;
  }
}

}  // namespace torvex
