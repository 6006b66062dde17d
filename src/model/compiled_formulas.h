#pragma once
// Formulas with variables, parsed once and evaluated from the parser's
// compiled form, with the same results as the textual substitution.
//
// The textual substitution writes each value with 15 significant digits and
// hands the text to a fresh parser. A compiled formula instead binds every
// variable name to a double that holds the value the parser would have read
// from that text, so where the two texts have the same structure they give
// the same number bit for bit. They have the same structure only when every
// variable name stands alone as an operand and every inserted value is a
// plain non-negative number; a formula or a value outside that rule is left
// to the textual path (see CompiledFormulas::evaluate), which also produces
// every parser message.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace mu {
class Parser;
}

#include "model/table.h"

namespace torvex {

// The value the textual substitution inserts for value, as the parser reads
// it back: value written with 15 significant digits. Only for the values it
// inserts as a plain number: zero (of either sign, written "0") and positive
// finite values that stay normal doubles after the rounding; nullopt for
// negative, infinite, NaN and subnormal values. Allocates nothing and does
// not depend on the locale.
std::optional<double> insertedValue(double value);

// The variables a formula can name: N1 .. N9, T and t.
constexpr int kFormulaVariables = 11;
constexpr int kTemperatureVariable = 9;
constexpr int kTimeVariable = 10;

// How a formula text can be compiled for r components.
struct FormulaShape {
  bool compilable = false;      // false: only the textual path gives its results
  std::uint16_t variables = 0;  // bit v: variable v occurs (N1 = bit 0 .. N9 = bit 8, T, t)
  int highestRatio = 0;         // largest component number named, 0 when none
};

// Decides from the text alone whether a formula may be compiled: it names at
// least one variable; each N1 .. Nr (r at most 9 counts), T and t stands
// alone, between the start or end of the text, blanks, parentheses, commas
// and the operators + - * / ^ < > !; no other "N" followed by a digit and no
// other T or t occurs (a T or t inside a function name is replaced by the
// substitution); it holds none of the characters = & | ? " (assignment,
// logical and choice operators: the parser folds constant logical operations
// differently from variable ones, and assigns only to variables); and the
// substituted text cannot grow past the length the textual path accepts.
FormulaShape formulaShape(std::string_view formula, int componentCount);

// Where a formula is evaluated: N1 .. Nr are column `point` of molarRatio
// (r = componentCount), T the temperature (K), t the time (s).
struct FormulaPoint {
  const Table2<double>& molarRatio;
  int componentCount;
  int point;
  double temperature;
  double time;
};

// The compiled formulas of one run, keyed by the evaluation mode and the
// two indices of evaluateFormula. An entry remembers its text and is parsed
// again when a different text arrives under its key.
class CompiledFormulas {
 public:
  CompiledFormulas();
  ~CompiledFormulas();
  CompiledFormulas(const CompiledFormulas&) = delete;
  CompiledFormulas& operator=(const CompiledFormulas&) = delete;

  // The value of formula at `at`, or nothing (and nothing touched) when the
  // result must come from the textual path: the formula is not compilable
  // (formulaShape), its compiled form is rejected by the parser (the textual
  // path then writes the parser's message), the point or a named component
  // lies outside the arrays (the textual path then throws), or a variable's
  // value would not be inserted as a plain number (insertedValue).
  std::optional<double> evaluate(int mode, int first, int second, std::string_view formula, const FormulaPoint& at);

  // Number of entries (for tests).
  [[nodiscard]] std::size_t size() const { return entries_.size(); }

 private:
  struct Key {
    int mode, first, second;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const noexcept;
  };
  struct Entry {
    std::string text;
    int componentCount = -1;
    FormulaShape shape;
    std::unique_ptr<mu::Parser> parser;  // null when the formula takes the textual path
  };

  void compile(Entry& entry, std::string_view formula, int componentCount);
  bool bind(int variable, double value);

  std::unordered_map<Key, Entry, KeyHash> entries_;
  // The values the parsers read, shared by every compiled formula, and the
  // unrounded values they were made from (so that each is rounded once).
  double values_[kFormulaVariables] = {};
  double sources_[kFormulaVariables] = {};
  bool bound_[kFormulaVariables] = {};
};

}  // namespace torvex
