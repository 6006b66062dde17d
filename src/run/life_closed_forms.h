#pragma once
// Closed forms for the life of an alloy or coating that feeds a parabolic
// scale of its component 1, against which runs are checked. Each states the
// assumptions it rests on; docs/coating-life-theory.md derives them.
//
// Units: lengths and thicknesses in cm, times in s, amounts of component 1 in
// mol per cm² of surface, molar volumes in cm³/mol, kp in cm²/s, the oxide's
// molar concentration c_ox in mol of component 1 per cm³ of scale.

#include <vector>

#include "model/life_options.h"

namespace torvex {

// The scale's five constants as the boundary-flux file gives them, and the
// parabolic rate constant they make at a surface content Ns of component 1:
// kp = 3 D_ox (p''^(1/6) - (p' / Ns²)^(1/6)) M_f.
struct ScaleConstants {
  double oxideDiffusivity = 0;    // D_ox
  double oxideConcentration = 0;  // c_ox
  double innerPressure = 0;       // p'
  double outerPressure = 0;       // p''
  double multiplier = 1;          // M_f
  [[nodiscard]] double kp(double surfaceContent) const;
};

// The volume fraction of component 1 at molar fraction N, the other
// components (in fixed proportions) having the molar volume `omegaRest`.
double volumeFraction(double N, double omega1, double omegaRest);

// The span the grid of a run covers: its points lie width/n apart from the
// first, so the last stands at (n - 1)/n of the declared width. A run
// simulates a sample of this length; closed forms that depend on the amount
// of alloy must be given it, not the declared width.
double gridSpan(double declaredWidth, int points);

// Uniform depletion: interdiffusion fast enough that the alloy's content of
// component 1 is the same everywhere (see surfaceLag for the first
// correction), component 1 alone leaving through the oxidising surface, the
// far end closed, molar volumes constant (Vegard). Two ways the sample can
// answer the loss of volume:
//  - refilling: the length stays, and alloy of the surface's composition takes
//    the place of the consumed metal (the fixed-length model with the lattice
//    velocity at the surface, and the conservative scheme's normalisation);
//  - receding: the surface moves in by the volume of the consumed metal and
//    every other component keeps its amount.
struct UniformAlloy {
  double length = 0;          // cm at the start
  double initialContent = 0;  // N0 of component 1
  double omega1 = 0;          // partial molar volume of component 1
  double omegaRest = 0;       // molar volume of the other components together
};

enum class SurfaceKind { kRefilling, kReceding };

// Component 1 the scale must take (mol/cm²) for the content to fall from N0 to N:
//   refilling: (L / Ω1) ln((1 - φ(N)) / (1 - φ(N0)))   (φ the volume fraction)
//   receding:  (L / Ω(N0)) (N0 - N) / (1 - N)          (Ω(N0) the alloy's molar volume)
double consumptionToReach(const UniformAlloy& alloy, SurfaceKind kind, double N);
// The content once the scale has taken `metal` mol/cm² (the inverse).
double contentAfter(const UniformAlloy& alloy, SurfaceKind kind, double metal);
// The receding sample's length once the scale has taken `metal`: L - Ω1·metal.
double recededLength(const UniformAlloy& alloy, double metal);

// The time a parabolic scale of constant kp, `startThickness` thick at t = 0,
// needs to take `metal` mol/cm² from the alloy: ξ = ξ0 + metal / c_ox and
// t = (ξ² - ξ0²) / (2 kp), the law the run's update of the thickness follows.
double parabolicTime(double metal, double cOx, double kp, double startThickness);

// The life of a uniformly depleting alloy: the time until its content of
// component 1 falls to `critical`, with kp following the content as the
// constants say (constant when p' is negligible): t = ∫ ξ dξ / kp(N(ξ)) from
// ξ0 to ξ0 + metal / c_ox, by Simpson's rule on 2000 intervals. 0 when the
// alloy starts at or below the critical content.
double uniformDepletionLife(const UniformAlloy& alloy, SurfaceKind kind, const ScaleConstants& scale, double critical,
                            double startThickness);

// How much earlier the surface reaches a content than the mean does, once the
// depletion profile has settled: the profile is the parabola that carries a
// uniform loss to the surface, the surface lies L²/(3 D̃) ahead of the mean
// (D̃ the interdiffusion coefficient, L the length). Holds while the lag is
// small against the life.
double surfaceLag(double length, double interdiffusion);

// Semi-infinite alloy, content N0 of component 1, equal self-diffusivities D
// (so the volume fractions diffuse with D in the volume-fixed frame): the
// surface content at which the flux the alloy delivers balances the scale's
// uptake J = c_ox sqrt(kp / (2 t)), both falling as t^-1/2, solved with
// kp(Ns) by bisection.
//  - refilling (the surface held in place, alloy of the surface composition
//    entering for the consumed volume):  φ0 - φs = Ω1 c_ox (1 - φs) sqrt(π kp / (2 D));
//  - receding (the surface moves in at Ω1 J):  φs = (φ0 - F) / (1 - F),
//    F = sqrt(π) γ exp(γ²) erfc(γ), γ = Ω1 c_ox sqrt(kp / (2 D)).
double settledSurfaceContent(SurfaceKind kind, const ScaleConstants& scale, double N0, double D, double omega1,
                             double omegaRest);
// F(γ) = sqrt(π) γ exp(γ²) erfc(γ), without overflow for large γ.
double recessionFactor(double gamma);

// Spallation under cycling, the scale growing parabolically at a dose
// 2∫kp dt between two cool-downs (so ξ² grows by the dose), and losing at
// each cool-down the fraction the law gives, but never below `thinnest`.
struct SpallCycle {
  double beforeSpall = 0;    // ξ at the cool-down, cm
  double afterSpall = 0;     // ξ after it
  double spalledMetal = 0;   // component 1 carried off so far, mol/cm²
  double consumedMetal = 0;  // component 1 the alloy has given up so far
};
// Cycle by cycle: ξ⁺_k = sqrt(ξ_k² + dose_k), ξ_(k+1) = ξ⁺_k (1 - f(ξ⁺_k)), the
// first dose `firstDose` (from the start to the first cool-down), the others
// `cycleDose`. Entry k holds the books right after cool-down k.
std::vector<SpallCycle> spallRecursion(double startThickness, double firstDose, double cycleDose, const SpallLaw& law,
                                       double thinnest, double cOx, long long cycles);

// The steady state of a constant fraction q: the scale reaches the same
// thickness ξ* = sqrt(dose / (q (2 - q))) before every cool-down and loses q ξ*.
double steadySpallThickness(double cycleDose, double fraction);
// The metal the alloy gives up per cycle then: c_ox q ξ*.
double steadyMetalLossPerCycle(double cycleDose, double fraction, double cOx);
// The slope the specific mass change settles to (mg/cm² per cycle): the
// retained scale no longer grows from one cool-down to the next, so the
// specimen loses the metal of the spalled scale, -1000 M1 c_ox q ξ*.
double terminalMassChangeSlope(double cycleDose, double fraction, double cOx, double metalMolarMass);

// The time at which a scale of constant kp, spalling as the law says at the
// cool-downs `firstCoolDown`, `firstCoolDown` + period, ..., has taken `metal`
// mol/cm² from the alloy (growth goes on at every moment, so the dose of a
// span is 2 kp times its length). At most `maxCycles` cool-downs are followed;
// returns +infinity when the metal is not taken by then.
double spallingLife(double metal, double startThickness, double kp, double firstCoolDown, double period,
                    const SpallLaw& law, double thinnest, double cOx, long long maxCycles);

}  // namespace torvex
