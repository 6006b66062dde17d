// Fuzz target: evaluateFormula on arbitrary formula text and values, through
// both of its paths. The formula parsed once and evaluated from its compiled
// form must give what the textual substitution gives, bit for bit, together
// with the same cache entry; any difference stops the fuzzer.
//
// Input: the evaluation mode, the number of components, two index bytes,
// then 26 raw doubles (the molar ratios of 12 components at two grid points,
// the temperature and the time), then up to three formulas separated by NUL
// bytes, evaluated one after another under the same cache key at
// alternating grid points (so that a compiled formula is reused, rebound and
// replaced).

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "solver/run_state.h"

namespace {

using namespace torvex;

constexpr int kMaxComponents = 12;
constexpr int kPoints = 2;

bool sameValue(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

[[noreturn]] void differ(const char* what, std::string_view formula, double compiled, double textual) {
  std::fprintf(stderr, "compiled and textual %s differ for \"%.*s\": %.17g against %.17g\n", what,
               static_cast<int>(formula.size()), formula.data(), compiled, textual);
  std::abort();
}

void prepare(RunState& s, int r, const double (&ratios)[kMaxComponents][kPoints], double temperature, double time,
             bool compiled) {
  Case shape;
  shape.setShape(r, kPoints);
  s.prepare(shape);
  for (int i = 0; i < r; ++i)
    for (int k = 0; k < kPoints; ++k) s.molarRatio[i][k] = ratios[i][k];
  s.temperature = temperature;
  s.currentTime = time;
  s.formulas.compiled = compiled;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ByteReader in(fuzz::textOf(data, size));
  const int mode = 1 + in.byte() % 5;
  const int r = 1 + in.byte() % kMaxComponents;
  const int firstByte = in.byte();
  const int secondByte = in.byte();
  double ratios[kMaxComponents][kPoints];
  for (auto& component : ratios)
    for (double& ratio : component) ratio = in.real();
  const double temperature = in.real();
  const double time = in.real();

  // Indices inside the mode's cache, as the solver passes them.
  int first = firstByte % r;
  int second = secondByte % r;
  if (mode == 3) second = secondByte % 5;
  if (mode == 4) second = secondByte % 2;

  const std::string_view rest = in.rest();
  const auto formulas = fuzz::splitInput(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size(), 3);

  RunState compiled;
  RunState textual;
  prepare(compiled, r, ratios, temperature, time, true);
  prepare(textual, r, ratios, temperature, time, false);
  const auto kind = static_cast<FormulaKind>(mode);
  for (std::size_t f = 0; f < formulas.size(); ++f) {
    const int point = static_cast<int>(f % kPoints);
    const double fromCompiled = compiled.formula(kind, first, second, formulas[f], point);
    const double fromText = textual.formula(kind, first, second, formulas[f], point);
    if (!sameValue(fromCompiled, fromText)) differ("values", formulas[f], fromCompiled, fromText);
    const CachedValue& a = compiled.formulas.cached(kind, first, second);
    const CachedValue& b = textual.formulas.cached(kind, first, second);
    if (a.valid != b.valid || !sameValue(a.value, b.value)) differ("cache entries", formulas[f], a.value, b.value);
  }
  return 0;
}
