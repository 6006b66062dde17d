#include "model/compiled_formulas.h"

#include <muParser.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "model/formula.h"

namespace torvex {
namespace {

// Longest text the substitution inserts for a value it writes as a plain
// non-negative number: 15 digits, a point and four zeros before them
// ("0.0000123456789012345"), or an exponent form such as
// "1.23456789012345E-300".
constexpr std::size_t kLongestInsertedValue = 21;

// Characters that may stand next to a variable name. None of them can extend
// a number or a name, so the inserted number and the name are both read as
// one operand with the same neighbours.
bool separatesNames(char c) {
  switch (c) {
    case '+':
    case '-':
    case '*':
    case '/':
    case '^':
    case '(':
    case ')':
    case ',':
    case '<':
    case '>':
    case ' ':
    case '\t': return true;
    default: return false;
  }
}

bool standsAlone(std::string_view text, std::size_t begin, std::size_t end) {
  return (begin == 0 || separatesNames(text[begin - 1])) && (end == text.size() || separatesNames(text[end]));
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

const char* const kVariableNames[kFormulaVariables] = {"N1", "N2", "N3", "N4", "N5", "N6", "N7", "N8", "N9", "T", "t"};

}  // namespace

std::optional<double> insertedValue(double value) {
  if (value == 0) return 0.0;  // "0", whatever the sign
  if (!(value > 0) || !std::isfinite(value)) return std::nullopt;
  // The same rounding as the general format: 15 significant digits.
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 14);
  double read = 0;
  const auto parsed = std::from_chars(text, written.ptr, read);
  if (parsed.ec != std::errc() || !std::isfinite(read) || read < std::numeric_limits<double>::min())
    return std::nullopt;
  return read;
}

FormulaShape formulaShape(std::string_view formula, int componentCount) {
  FormulaShape shape;
  const int lastRatio = componentCount < 9 ? componentCount : 9;
  std::size_t names = 0;
  for (std::size_t at = 0; at < formula.size(); ++at) {
    const char c = formula[at];
    switch (c) {
      case '=':
      case '&':
      case '|':
      case '?':
      case '"': return {};
      case 'T':
      case 't':
        if (!standsAlone(formula, at, at + 1)) return {};
        shape.variables |= static_cast<std::uint16_t>(1u << (c == 'T' ? kTemperatureVariable : kTimeVariable));
        ++names;
        break;
      case 'N':
        if (at + 1 < formula.size() && isDigit(formula[at + 1])) {
          const int m = formula[at + 1] - '0';
          if (m < 1 || m > lastRatio || !standsAlone(formula, at, at + 2)) return {};
          shape.variables |= static_cast<std::uint16_t>(1u << (m - 1));
          if (m > shape.highestRatio) shape.highestRatio = m;
          ++names;
          ++at;
        }
        break;
      default: break;
    }
  }
  if (names == 0) return {};  // a constant: parsed once per load and cached
  if (formula.size() + names * kLongestInsertedValue > kMaxFormulaLength) return {};
  shape.compilable = true;
  return shape;
}

std::size_t CompiledFormulas::KeyHash::operator()(const Key& key) const noexcept {
  const auto mix = [](std::size_t seed, int value) {
    return seed * 1000003u ^ static_cast<std::size_t>(static_cast<unsigned>(value));
  };
  return mix(mix(static_cast<std::size_t>(static_cast<unsigned>(key.mode)), key.first), key.second);
}

CompiledFormulas::CompiledFormulas() = default;
CompiledFormulas::~CompiledFormulas() = default;

void CompiledFormulas::compile(Entry& entry, std::string_view formula, int componentCount) {
  entry.text.assign(formula);
  entry.componentCount = componentCount;
  entry.shape = formulaShape(formula, componentCount);
  entry.parser.reset();
  if (!entry.shape.compilable) return;
  auto parser = std::make_unique<mu::Parser>();
  try {
    // Without the optimiser the compiled form performs the operations of the
    // formula as written, one by one, as the parser's folding of the
    // substituted numbers does. (The optimiser would rewrite N1^2 as N1*N1 or
    // merge 2*N1+3*N1 into 5*N1, changing the last bits.)
    parser->EnableOptimizer(false);
    for (int v = 0; v < kFormulaVariables; ++v)
      if ((entry.shape.variables >> v) & 1u) parser->DefineVar(kVariableNames[v], &values_[v]);
    parser->SetExpr(entry.text);
    parser->Eval();  // parses now: a rejected formula goes to the textual path
  } catch (const mu::Parser::exception_type&) {
    return;
  }
  entry.parser = std::move(parser);
}

bool CompiledFormulas::bind(int variable, double value) {
  if (bound_[variable] && sources_[variable] == value) return true;
  const std::optional<double> inserted = insertedValue(value);
  bound_[variable] = inserted.has_value();
  if (!inserted) return false;
  sources_[variable] = value;
  values_[variable] = *inserted;
  return true;
}

std::optional<double> CompiledFormulas::evaluate(int mode, int first, int second, std::string_view formula,
                                                 const FormulaPoint& at) {
  Entry& entry = entries_[Key{mode, first, second}];
  if (entry.componentCount != at.componentCount || entry.text != formula) compile(entry, formula, at.componentCount);
  if (!entry.parser) return std::nullopt;

  const FormulaShape& shape = entry.shape;
  const Table2<double>& N = at.molarRatio;
  if (shape.highestRatio > 0 && (at.point < 0 || at.point >= N.columns() || shape.highestRatio > N.rows()))
    return std::nullopt;
  for (int v = 0; v < shape.highestRatio; ++v)
    if (((shape.variables >> v) & 1u) && !bind(v, N[v][at.point])) return std::nullopt;
  if (((shape.variables >> kTemperatureVariable) & 1u) && !bind(kTemperatureVariable, at.temperature))
    return std::nullopt;
  if (((shape.variables >> kTimeVariable) & 1u) && !bind(kTimeVariable, at.time)) return std::nullopt;

  try {
    return entry.parser->Eval();
  } catch (const mu::Parser::exception_type&) {
    return std::nullopt;
  }
}

}  // namespace torvex
