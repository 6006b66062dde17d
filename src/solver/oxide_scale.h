#pragma once
// The oxide scale's books under thermal cycling: how much of component 1 the
// scale holds, how much it has carried off by spalling, what the alloy gave
// up, and the specific mass change a thermobalance or a cyclic-oxidation
// test would weigh. Plus the end of life: the time a critical content is
// first reached, interpolated between two passes. Pure functions of what the
// run hands them; the run owns the state.

#include <optional>
#include <span>

#include "model/life_options.h"

namespace torvex {

// Amounts of component 1 in mol per cm² of surface; thicknesses in cm.
struct ScaleLedger {
  double thickness = 0;      // ξ of the retained scale
  double retainedMetal = 0;  // component 1 bound in the retained scale
  double spalledMetal = 0;   // component 1 carried off by spalled scale, since the start
  double startMetal = 0;     // component 1 in the scale the run started with (not from the alloy)
  long long spalls = 0;      // cool-downs at which scale spalled
};

// The books of a scale `thickness` cm thick at the start, holding `cOx` mol of
// component 1 per cm³ (the oxide's molar concentration).
ScaleLedger startLedger(double thickness, double cOx);

// The scale has grown to `thickness` (cm) with `cOx` mol/cm³ of component 1
// in its new part. A thinner scale is not growth and changes nothing.
void growScale(ScaleLedger& ledger, double thickness, double cOx);

struct SpallEvent {
  double fraction = 0;  // of the thickness before the cool-down
  double removed = 0;   // thickness spalled, cm
  double metal = 0;     // component 1 carried off, mol/cm²
};

// A cool-down: the scale loses law.fraction(ξ) of its thickness, but never
// below `thinnest` (cm, above 0: a bare surface starts a new scale at the
// thickness a fresh run starts with, and the growth law needs a thickness).
// The metal goes with the spalled part in proportion to its thickness.
SpallEvent spallScale(ScaleLedger& ledger, const SpallLaw& law, double thinnest);

// Component 1 the alloy has given up to the scale (mol/cm²): what the scale
// holds and has lost, less what it held at the start.
double consumedMetal(const ScaleLedger& ledger);

// The specific mass change ΔW/A (mg/cm²) and its two parts: the oxygen taken
// up in the retained scale since the start, and the metal (component 1, molar
// mass `metalMolarMass` g/mol) lost with the spalled scale, which counts
// negative. The oxygen of the spalled scale left with it and counts nowhere.
struct MassChange {
  double oxygenGain = 0;
  double spallLoss = 0;  // <= 0
  double total = 0;
};
MassChange specificMassChange(const ScaleLedger& ledger, const OxideComposition& oxide, double metalMolarMass);

// The content a critical condition watches in a profile of one component's
// molar ratios from the left end to the oxidising (right) end: the last one,
// the lowest or the highest, as the condition says.
double watchedContent(const CriticalContent& critical, std::span<const double> ratios);

// The time at which a condition first holds, fed the watched content after
// every accepted pass (and once at the start). The time is interpolated
// linearly between the last pass at which it did not hold and the first at
// which it does; a condition that holds at the start gives the start.
class EndOfLifeWatch {
 public:
  explicit EndOfLifeWatch(const CriticalContent& critical) : critical_(critical) {}
  // Returns true when the condition holds for the first time now.
  bool observe(double time, double content);
  [[nodiscard]] const std::optional<double>& life() const { return life_; }

 private:
  CriticalContent critical_;
  bool seen_ = false;
  double lastTime_ = 0;
  double lastContent_ = 0;
  std::optional<double> life_;
};

// The time between (t0, v0), where a condition on `value` did not hold, and
// (t1, v1), where it does, at which the straight line between them reaches
// `value`; t1 when the two contents are equal.
double crossingTime(double t0, double v0, double t1, double v1, double value);

}  // namespace torvex
