#include "run/life_run.h"

#include "model/heat_treatment.h"
#include "model/number_format.h"

namespace torvex {
namespace {

const ThermalCycles* cyclesOf(const Case& c) {
  const auto& schedule = c.heatTreatment.schedule;
  return schedule && schedule->cycles() ? &*schedule->cycles() : nullptr;
}

bool growsScale(const Case& c) {
  return c.boundaryFlux == BoundaryFlux::SelectiveOxidation;
}

// The molar ratios of the watched component after the pass, from the
// concentrations (the state's molar ratios are those of the pass's start in
// the flux modes), into the books' buffer; then the content the condition
// watches.
double watched(const Case& c, RunState& s) {
  const CriticalContent& critical = c.heatTreatment.life.critical;
  const int r = c.componentCount;
  const int n = c.pointCount;
  std::vector<double>& ratios = s.life.ratios;
  const int first = critical.where == CriticalContent::Where::kSurface ? n - 1 : 0;
  for (int k = first; k < n; ++k) {
    double total = 0;
    for (int j = 0; j < r; ++j) total += s.concentration[j][k];
    ratios[static_cast<std::size_t>(k - first)] = s.concentration[critical.component][k] / total;
  }
  return watchedContent(critical, std::span<const double>(ratios.data(), static_cast<std::size_t>(n - first)));
}

void field(std::string& row, double value) {
  row += ',';
  appendGeneral(row, value);
}

}  // namespace

bool keepsLifeBooks(const Case& c) {
  const LifeSettings& life = c.heatTreatment.life;
  return cyclesOf(c) != nullptr || life.hasSpall || life.hasOxide || life.hasCritical || life.receding;
}

void BeginLifeBooks(const Case& c, RunState& s) {
  s.life = LifeRunState();
  if (!keepsLifeBooks(c)) return;
  s.life.active = true;
  if (growsScale(c)) {
    s.life.ledger = startLedger(s.oxide.thickness, s.oxide.molarConcentration);
    s.life.thinnestScale = s.oxide.thickness;
  }
  const LifeSettings& life = c.heatTreatment.life;
  if (life.hasCritical) {
    s.life.ratios.assign(static_cast<std::size_t>(c.pointCount), 0.0);
    s.life.watch.emplace(life.critical);
    s.life.watchedContent = watched(c, s);
    s.life.spent = s.life.watch->observe(s.currentTime, s.life.watchedContent);
  }
}

void KeepLifeBooks(const Case& c, RunState& s) {
  if (!s.life.active) return;
  const LifeSettings& life = c.heatTreatment.life;
  if (growsScale(c)) {
    growScale(s.life.ledger, s.oxide.thickness, s.oxide.molarConcentration);
    // The pass has integrated the hot hold up to the cool-down: the scale
    // spalls now, and the records of this pass show what is retained.
    const ThermalCycles* cycles = cyclesOf(c);
    if (life.hasSpall && cycles != nullptr && cycles->cycleCooledDownAt(s.currentTime) >= 0) {
      if (spallScale(s.life.ledger, life.spall, s.life.thinnestScale).removed > 0) s.life.lastSpallTime = s.currentTime;
      s.oxide.thickness = s.life.ledger.thickness;
    }
  }
  if (s.life.watch) {
    s.life.watchedContent = watched(c, s);
    if (s.life.watch->observe(s.currentTime, s.life.watchedContent)) s.life.spent = true;
  }
}

std::string lifeSeriesHeader(const Case& c) {
  if (!keepsLifeBooks(c)) return {};
  const LifeSettings& life = c.heatTreatment.life;
  std::string header;
  if (cyclesOf(c) != nullptr) header += ",cycle";
  if (growsScale(c)) header += ",spalled_metal_mol_cm2,consumed_metal_mol_cm2";
  if (growsScale(c) && life.hasOxide)
    header += ",mass_change_mg_cm2,mass_change_oxygen_mg_cm2,mass_change_spalled_mg_cm2";
  if (life.hasCritical) header += ",watched_N" + formatInteger(life.critical.component + 1);
  if (life.receding) header += ",length_cm";
  return header;
}

void appendLifeSeriesFields(std::string& row, const Case& c, const RunState& s) {
  if (!s.life.active) return;
  const LifeSettings& life = c.heatTreatment.life;
  if (const ThermalCycles* cycles = cyclesOf(c)) {
    row += ',';
    row += formatInteger(cycles->positionAt(s.currentTime).cycle);
  }
  if (growsScale(c)) {
    field(row, s.life.ledger.spalledMetal);
    field(row, consumedMetal(s.life.ledger));
  }
  if (growsScale(c) && life.hasOxide) {
    const MassChange change = specificMassChange(s.life.ledger, life.oxide, c.molarMass[0]);
    field(row, change.total);
    field(row, change.oxygenGain);
    field(row, change.spallLoss);
  }
  if (life.hasCritical) field(row, s.life.watchedContent);
  if (s.receding) field(row, s.sampleLength);
}

}  // namespace torvex
