#pragma once
// Evaluation of the side-file formulas during a run, with the run's own
// caches. Each run (each RunState) owns one evaluator: its caches fill as
// the run goes and its compiled formulas bind the addresses of its own
// variables, so runs in parallel threads never share one.

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/table.h"

namespace torvex {

class CompiledFormulas;

// The formulas a run evaluates, each with its cache (a formula without
// variables is evaluated once per run and its value kept):
enum class FormulaKind {
  Uncached = 0,           // evaluated every time (tools and tests)
  Diffusivity = 1,        // diffusivity formula of a component: cache [first]
  DiffusivityMatrix = 2,  // diffusivity matrix entry: cache [first][second]
  OxidationConstant = 3,  // selective-oxidation constant: cache [second]
  BoundaryFlux = 4,       // boundary flux: cache [second][first]; second 0 left, 1 right
  Activity = 5,           // chemical-potential derivative: cache [first][second]
};

// The first formula of a run that gave NaN or an infinite value: which one
// (its kind and cache indices, as for the caches), its text, the grid point
// and the variables it was evaluated at.
struct NonFiniteFormula {
  bool seen = false;
  FormulaKind kind = FormulaKind::Uncached;
  int first = 0;
  int second = 0;
  int point = 0;
  double value = 0.0;
  double temperature = 0.0;  // K
  double time = 0.0;         // s
  std::string text;
};

// The value of a formula without variables.
struct CachedValue {
  double value = 0.0;
  bool valid = false;
};

class FormulaEvaluator {
 public:
  FormulaEvaluator();
  ~FormulaEvaluator();
  FormulaEvaluator(const FormulaEvaluator&) = delete;
  FormulaEvaluator& operator=(const FormulaEvaluator&) = delete;

  // Empties the caches and sizes them for r components; the compiled
  // formulas of an earlier run are dropped.
  void reset(int componentCount);

  // The cache entry of a formula (see FormulaKind); callers look here
  // before they evaluate. Throws std::out_of_range for indices outside the
  // caches (a programming error, not an input error).
  [[nodiscard]] const CachedValue& cached(FormulaKind kind, int first, int second) const {
    return const_cast<FormulaEvaluator*>(this)->entry(kind, first, second);
  }

  // Evaluates one formula at grid point `point`: N1..Nr are the molar ratios
  // of column `point` of molarRatio, T the temperature (K), t the time (s).
  // Returns 0 when the parser rejects the text; its message then goes to
  // standard output. A formula without variables is stored in its cache
  // entry, unless its value is not finite: such a value is evaluated (and
  // noticed, below) again at every use. Throws std::out_of_range for indices
  // outside the caches.
  double evaluate(FormulaKind kind, int first, int second, std::string_view formula, const Table2<double>& molarRatio,
                  int point, double temperature, double time);

  // A formula with variables is parsed once and evaluated from the parser's
  // compiled form (true), or its values are substituted into the text and it
  // is parsed anew at every evaluation (false). Both give the same values,
  // caches and messages; the second is the slow reference.
  bool compiled = true;

  // The first evaluation since the last forgetNonFinite() that gave NaN or
  // an infinite value. The run looks here after evaluating the state a pass
  // starts from: a stage of a step too long may meet values no formula is
  // meant for, the accepted profile may not.
  [[nodiscard]] const NonFiniteFormula& nonFinite() const { return nonFinite_; }
  void forgetNonFinite() { nonFinite_.seen = false; }

  // Number of formulas compiled so far (for tests).
  [[nodiscard]] std::size_t compiledCount() const;

 private:
  // Inline: the solver looks up a cache at every point of every pass, and
  // with the kind known at the call the look-up folds to one array access.
  CachedValue& entry(FormulaKind kind, int first, int second) {
    const int r = componentCount_;
    switch (kind) {
      case FormulaKind::Diffusivity:
        if (first < 0 || first >= static_cast<int>(diffusivity_.size())) [[unlikely]]
          outside("component");
        return diffusivity_[static_cast<std::size_t>(first)];
      case FormulaKind::DiffusivityMatrix:
        if (first < 0 || first >= matrix_.rows() || second < 0 || second >= r) [[unlikely]]
          outside("matrix");
        return matrix_[first][second];
      case FormulaKind::OxidationConstant:
        if (second < 0 || second >= static_cast<int>(oxidation_.size())) [[unlikely]]
          outside("oxidation constant");
        return oxidation_[static_cast<std::size_t>(second)];
      case FormulaKind::BoundaryFlux:
        if (second < 0 || second >= 2 || first < 0 || first >= boundary_.columns()) [[unlikely]]
          outside("boundary flux");
        return boundary_[second][first];
      case FormulaKind::Activity: break;
      case FormulaKind::Uncached: outside("uncached formula");
    }
    if (first < 0 || first >= activity_.rows() || second < 0 || second >= r) [[unlikely]]
      outside("activity");
    return activity_[first][second];
  }
  // Throws the std::out_of_range of an index outside the caches.
  [[noreturn]] static void outside(const char* what);

  int componentCount_ = 0;
  std::vector<CachedValue> diffusivity_;  // [r]
  Table2<CachedValue> matrix_;            // [r][r]
  std::array<CachedValue, 5> oxidation_{};
  Table2<CachedValue> boundary_;                        // [2][r], 0 left, 1 right
  Table2<CachedValue> activity_;                        // [r][r]
  std::unique_ptr<CompiledFormulas> compiledFormulas_;  // made on first use
  NonFiniteFormula nonFinite_;

  // Keeps the first non-finite value since the last forgetNonFinite().
  void notice(double value, FormulaKind kind, int first, int second, std::string_view formula, int point,
              double temperature, double time);
};

}  // namespace torvex
