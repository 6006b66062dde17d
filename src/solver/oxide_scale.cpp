#include "solver/oxide_scale.h"

#include <algorithm>

namespace torvex {

namespace {
constexpr double kMilligramsPerGram = 1000;
}

ScaleLedger startLedger(double thickness, double cOx) {
  ScaleLedger ledger;
  ledger.thickness = thickness;
  ledger.retainedMetal = cOx * thickness;
  ledger.startMetal = ledger.retainedMetal;
  return ledger;
}

void growScale(ScaleLedger& ledger, double thickness, double cOx) {
  if (!(thickness > ledger.thickness)) return;
  ledger.retainedMetal += cOx * (thickness - ledger.thickness);
  ledger.thickness = thickness;
}

SpallEvent spallScale(ScaleLedger& ledger, const SpallLaw& law, double thinnest) {
  SpallEvent event;
  const double before = ledger.thickness;
  const double kept = std::max(before * (1 - law.fraction(before)), std::min(thinnest, before));
  if (!(kept < before)) return event;
  event.removed = before - kept;
  event.fraction = event.removed / before;
  event.metal = ledger.retainedMetal * event.fraction;
  ledger.thickness = kept;
  ledger.retainedMetal -= event.metal;
  ledger.spalledMetal += event.metal;
  ++ledger.spalls;
  return event;
}

double consumedMetal(const ScaleLedger& ledger) {
  return ledger.retainedMetal + ledger.spalledMetal - ledger.startMetal;
}

MassChange specificMassChange(const ScaleLedger& ledger, const OxideComposition& oxide, double metalMolarMass) {
  MassChange change;
  // mol of component 1 × oxygen per metal × g/mol × mg/g
  change.oxygenGain =
      (ledger.retainedMetal - ledger.startMetal) * oxide.oxygenPerMetal * oxide.oxygenMolarMass * kMilligramsPerGram;
  change.spallLoss = 0.0 - ledger.spalledMetal * metalMolarMass * kMilligramsPerGram;  // never -0
  change.total = change.oxygenGain + change.spallLoss;
  return change;
}

double watchedContent(const CriticalContent& critical, std::span<const double> ratios) {
  if (ratios.empty()) return 0;
  switch (critical.where) {
    case CriticalContent::Where::kLowest: return *std::min_element(ratios.begin(), ratios.end());
    case CriticalContent::Where::kHighest: return *std::max_element(ratios.begin(), ratios.end());
    default: return ratios.back();
  }
}

double crossingTime(double t0, double v0, double t1, double v1, double value) {
  if (v0 == v1) return t1;
  const double fraction = std::clamp((v0 - value) / (v0 - v1), 0.0, 1.0);
  return fraction == 1 ? t1 : t0 + (t1 - t0) * fraction;
}

bool EndOfLifeWatch::observe(double time, double content) {
  if (life_) return false;
  if (critical_.holds(content))
    life_ = seen_ ? crossingTime(lastTime_, lastContent_, time, content, critical_.value) : time;
  seen_ = true;
  lastTime_ = time;
  lastContent_ = content;
  return life_.has_value();
}

}  // namespace torvex
