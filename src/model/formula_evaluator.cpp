#include "model/formula_evaluator.h"

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
}

const CachedValue& FormulaEvaluator::cached(FormulaKind kind, int first, int second) const {
  return const_cast<FormulaEvaluator*>(this)->entry(kind, first, second);
}

CachedValue& FormulaEvaluator::entry(FormulaKind kind, int first, int second) {
  const auto check = [](bool inside, const char* what) {
    if (!inside) throw std::out_of_range(std::string("evaluateFormula: ") + what + " index outside the cache");
  };
  const int r = componentCount_;
  switch (kind) {
    case FormulaKind::Diffusivity:
      check(first >= 0 && first < static_cast<int>(diffusivity_.size()), "component");
      return diffusivity_[static_cast<std::size_t>(first)];
    case FormulaKind::DiffusivityMatrix:
      check(first >= 0 && first < matrix_.rows() && second >= 0 && second < r, "matrix");
      return matrix_[first][second];
    case FormulaKind::OxidationConstant:
      check(second >= 0 && second < static_cast<int>(oxidation_.size()), "oxidation constant");
      return oxidation_[static_cast<std::size_t>(second)];
    case FormulaKind::BoundaryFlux:
      check(second >= 0 && second < 2 && first >= 0 && first < boundary_.columns(), "boundary flux");
      return boundary_[second][first];
    case FormulaKind::Activity: break;
    case FormulaKind::Uncached: check(false, "uncached formula"); break;
  }
  check(first >= 0 && first < activity_.rows() && second >= 0 && second < r, "activity");
  return activity_[first][second];
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
            compiledFormulas_->evaluate(static_cast<int>(kind), first, second, formula, at))
      return *value;
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
  // until the end of the run.
  if (substituted.constant && kind != FormulaKind::Uncached) {
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
