// Fuzz target: the texts of a coating-life run — thermal cycles, the
// spallation law, the oxide and the critical content.
//
// The input holds four pieces separated by NUL bytes, one text for each
// reader. Whatever the bytes, each is either read or refused with an
// InputError. Cycles read have a count from 1, holds longer than 0 s and
// temperatures above 0 K; their T(t) stays between the cold and the hot
// temperature, every corner lies after the time asked about, a walk over the
// first corners meets the cool-downs in order, and their text reads back as
// the same cycles. A spall law gives fractions in [0, 1]; an oxide positive
// numbers; a critical content a value in (0, 1) whose text reads back.

#include <cmath>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "model/errors.h"
#include "model/life_options.h"
#include "model/thermal_cycles.h"

namespace {

using namespace torvex;

void checkCycles(const ThermalCycles& cycles) {
  if (cycles.count() < 1 || !(cycles.hotSeconds() > 0) || !(cycles.coldSeconds() > 0)) std::abort();
  if (cycles.heatingSeconds() < 0 || cycles.coolingSeconds() < 0) std::abort();
  if (!(cycles.coldKelvin() > 0) || cycles.hotKelvin() < cycles.coldKelvin()) std::abort();
  const double lowest = cycles.coldKelvin() * (1 - 1e-12);
  const double highest = cycles.hotKelvin() * (1 + 1e-12);
  // The first corners, and those of the last cycle.
  long long cooled = 0;
  double t = cycles.start() - 1;
  for (int step = 0; step < 40 && !std::isinf(t); ++step) {
    const double next = cycles.nextCorner(t);
    if (!(next > t)) std::abort();
    for (double at : {t, next, t + (next - t) / 3})
      for (double T : {cycles.temperatureAt(at), cycles.temperatureBefore(at)})
        if (std::isfinite(at) && !(T >= lowest && T <= highest)) std::abort();
    const long long k = cycles.cycleCooledDownAt(next);
    if (k >= 0 && k != cooled++) std::abort();
    t = next;
  }
  const double last = cycles.coolDownEnd(cycles.count() - 1);
  if (cycles.cycleCooledDownAt(last) != cycles.count() - 1) std::abort();
  if (!std::isinf(cycles.nextCorner(cycles.end()))) std::abort();
  const ThermalCycles again = parseCycles(cycles.text(), "text", cycles.start());
  if (again.period() != cycles.period() || again.count() != cycles.count() || again.end() != cycles.end()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pieces = fuzz::splitInput(data, size, 4);
  const auto piece = [&](std::size_t k) { return k < pieces.size() ? pieces[k] : std::string_view(); };
  try {
    checkCycles(parseCycles(piece(0), "--cycles"));
  } catch (const InputError&) {
  }
  try {
    const SpallLaw law = parseSpall(piece(1), "--spall");
    for (double thickness : {0.0, 1e-9, 1e-4, 0.1, 1e300}) {
      const double f = law.fraction(thickness);
      if (!(f >= 0 && f <= 1)) std::abort();
    }
  } catch (const InputError&) {
  }
  try {
    const OxideComposition oxide = parseOxide(piece(2), "--oxide");
    if (!(oxide.oxygenPerMetal > 0) || !(oxide.oxygenMolarMass > 0) || !std::isfinite(oxide.oxygenPerMetal))
      std::abort();
  } catch (const InputError&) {
  }
  try {
    const CriticalContent critical = parseCritical(piece(3), "--critical");
    if (!(critical.value > 0 && critical.value < 1) || critical.component < 0) std::abort();
    const CriticalContent again = parseCritical(critical.text(), "text");
    if (again.component != critical.component || again.where != critical.where || again.below != critical.below)
      std::abort();
  } catch (const InputError&) {
  }
  return 0;
}
