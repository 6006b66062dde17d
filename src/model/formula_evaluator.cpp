#include "model/formula_evaluator.h"

#include <cmath>
#include <iostream>
#include <stdexcept>
#include <string>

#include "model/compiled_formulas.h"
#include "model/formula.h"

namespace torvex {

FormulaEvaluator::FormulaEvaluator() = default;
FormulaEvaluator::~FormulaEvaluator() = default;

void FormulaEvaluator::reset(int componentCount) {
  componentCount_ = componentCount;
  diffusivity_.assign(static_cast<std::size_t>(componentCount), CachedValue{});
  matrix_.resize(componentCount, componentCount);
  oxidation_.fill(CachedValue{});
  boundary_.resize(2, componentCount);
  activity_.resize(componentCount, componentCount);
  compiledFormulas_.reset();
  nonFinite_ = NonFiniteFormula{};
}

void FormulaEvaluator::notice(double value, FormulaKind kind, int first, int second, std::string_view formula,
                              int point, double temperature, double time) {
  if (nonFinite_.seen) return;
  nonFinite_ = NonFiniteFormula{.seen = true,
                                .kind = kind,
                                .first = first,
                                .second = second,
                                .point = point,
                                .value = value,
                                .temperature = temperature,
                                .time = time,
                                .text = std::string(formula)};
}

void FormulaEvaluator::outside(const char* what) {
  throw std::out_of_range(std::string("evaluateFormula: ") + what + " index outside the cache");
}

double FormulaEvaluator::evaluate(FormulaKind kind, int first, int second, std::string_view formula,
                                  const Table2<double>& molarRatio, int point, double temperature, double time) {
  // A formula with variables is parsed once and evaluated from its compiled
  // form wherever that gives the textual result; everything else (constants,
  // which the caches keep, failures and their messages, values that would
  // not be inserted as plain numbers) takes the textual path below.
  if (compiled) {
    if (!compiledFormulas_) compiledFormulas_ = std::make_unique<CompiledFormulas>();
    const FormulaPoint at{molarRatio, componentCount_, point, temperature, time};
    if (const std::optional<double> value =
            compiledFormulas_->evaluate(static_cast<int>(kind), first, second, formula, at)) {
      if (!std::isfinite(*value)) [[unlikely]]
        notice(*value, kind, first, second, formula, point, temperature, time);
      return *value;
    }
  }

  double value = 0.0;
  const SubstitutedFormula substituted =
      substituteVariables(formula, molarRatio, componentCount_, point, temperature, time);
  const ExpressionResult result = evaluateExpression(substituted.text);
  if (result.ok)
    value = result.value;
  else
    std::cout << result.message << '\n';
  // A formula without variables keeps its value (a failure's 0 included)
  // until the end of the run; a non-finite one is noticed at every use.
  const bool finite = std::isfinite(value);
  if (!finite) notice(value, kind, first, second, formula, point, temperature, time);
  if (substituted.constant && kind != FormulaKind::Uncached && finite) {
    CachedValue& cache = entry(kind, first, second);
    cache.value = value;
    cache.valid = true;
  }
  return value;
}

std::size_t FormulaEvaluator::compiledCount() const {
  return compiledFormulas_ ? compiledFormulas_->size() : 0;
}

}  // namespace torvex
