#include "run/integrator.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "model/heat_treatment.h"
#include "model/number_format.h"
#include "run/bdf_integrator.h"
#include "run/life_run.h"
#include "solver/evaluate_derivative.h"
#include "solver/face_fluxes.h"

namespace torvex {

namespace {

// Cash-Karp coefficients. The nodes, stage weights and fifth-order weights
// are single-precision constants widened where they are used; runs have
// always been computed with these roundings, and results are compared with
// earlier runs digit for digit.
constexpr float kNode[7] = {0, 0, 1.0f / 5, 3.0f / 10, 3.0f / 5, 1.0f, 7.0f / 8};
constexpr float kStageWeight[7][6] = {
    {},
    {},
    {0, 1.0f / 5},
    {0, 3.0f / 40, 9.0f / 40},
    {0, 3.0f / 10, -9.0f / 10, 6.0f / 5},
    {0, -11.0f / 54, 5.0f / 2, -70.0f / 27, 35.0f / 27},
    {0, 1631.0f / 55296, 175.0f / 512, 575.0f / 13824, 44275.0f / 110592, 253.0f / 4096},
};
constexpr float kFifthOrderWeight[7] = {0, 37.0f / 378, 0, 250.0f / 621, 125.0f / 594, 0, 512.0f / 1771};

// Error weights: the single-precision fifth-order weight minus the
// double-precision fourth-order weight, rounded to single precision.
constexpr float errorWeight(float fifth, double fourth) {
  return static_cast<float>(fifth - fourth);
}
constexpr float kErrorWeight[7] = {
    0,
    errorWeight(kFifthOrderWeight[1], 2825.0 / 27648),
    0,
    errorWeight(kFifthOrderWeight[3], 18575.0 / 48384),
    errorWeight(kFifthOrderWeight[4], 13525.0 / 55296),
    -277.0f / 14336,
    errorWeight(kFifthOrderWeight[6], 1.0 / 4),
};

// Floor of the molar ratios in a closed sample.
constexpr double kClosedSampleMinimalFraction = 0.001;
// Largest fall of the surface molar ratio of component 1 in one pass under
// selective oxidation.
constexpr double kMaxSurfaceDepletionPerPass = 0.0001;

void copyTable(const Table2<double>& from, Table2<double>& to, int r, int n) {
  for (int i = 0; i < r; ++i) std::copy(from[i], from[i] + n, to[i]);
}

}  // namespace

// Step 1 of a pass: c_i := N_i / Omega, so that the profile is consistent
// with the molar volumes before the stages start.
void NormaliseProfile(const Case& c, RunState& s) {
  SumConcentrations(c, s);
  ComputeMolarRatios(c, s);
  ComputeMixtureVolume(c, s);
  for (int i = 0; i < c.componentCount; ++i) {
    double* ci = s.concentration[i];
    const double* N = s.molarRatio[i];
    for (int k = 0; k < c.pointCount; ++k) ci[k] = N[k] / s.molarVolume[k];
  }
}

double MolarRatioFloor(const Case& c) {
  return c.boundaryFlux == BoundaryFlux::None ? kClosedSampleMinimalFraction : c.minimalMolarFraction;
}

// Step 2: no molar ratio below theta. A low component is raised to
// theta * C and the others give up the difference in equal shares; the
// profile is not renormalised (N and C are those of step 1).
void ApplyMolarRatioFloor(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const double theta = MolarRatioFloor(c);
  for (int k = 0; k < c.pointCount; ++k) {
    const double total = s.totalConcentration[k];
    for (int j = 0; j < r; ++j) {
      if (!(s.molarRatio[j][k] < theta)) continue;
      const double share = (theta * total - s.concentration[j][k]) / (r - 1);
      for (int other = 0; other < r; ++other)
        if (other != j) s.concentration[other][k] += share;
      s.concentration[j][k] = theta * total;
    }
  }
}

namespace {

// The conservative scheme moves the Kirkendall plane with the lattice drift
// at its current position, dx_K/dt = v(x_K, t), integrated by the same
// stages as the profile, and adds up what crosses the two ends of the sample
// in the same way; each evaluation leaves the drift at
// kirkendallStagePosition in kirkendallVelocity and the flows through the
// ends in wallInflowRate.
bool conservativeScheme(const Case& c) {
  return c.differenceScheme == DifferenceScheme::Conservative;
}

// Molar ratio of component 1 at the last grid point of a profile.
double surfaceRatio(const Table2<double>& concentration, int r, int last) {
  double total = 0;
  for (int i = 0; i < r; ++i) total += concentration[i][last];
  return concentration[0][last] / total;
}

// N_i := c0_i / sum_j c0_j: the molar ratios of the start of the pass.
void ratiosOfStepStart(const Case& c, RunState& s, const Table2<double>& atStepStart) {
  const int r = c.componentCount;
  for (int k = 0; k < c.pointCount; ++k) {
    double total = 0;
    for (int j = 0; j < r; ++j) total += atStepStart[j][k];
    for (int i = 0; i < r; ++i) s.molarRatio[i][k] = atStepStart[i][k] / total;
  }
}

// Step increase after an accepted pass: every timeStepChangeInterval passes
// the step is multiplied, up to exactly maxTimeStep, unless the projected
// time of the next interval would reach the end of the run.
void increaseStep(const Case& c, RunState& s) {
  if (s.stepCount % c.timeStepChangeInterval != 0) return;
  const double& dt = s.timeStep;
  if (!(c.timeStepChangeInterval * dt * c.timeStepMultiplier + s.currentTime < c.endTime)) return;
  if (dt * c.timeStepMultiplier < c.maxTimeStep)
    s.timeStep = dt * c.timeStepMultiplier;
  else if (dt != c.maxTimeStep)
    s.timeStep = c.maxTimeStep;
}

// The temperature of the schedule at stage `stage` of a pass of step dt from
// the clock (the nodes of the stages, in double precision). No corner lies
// inside a pass: the first stage takes T from the clock on, the others T of
// the inside of the pass, so a pass that ends at a step is under the
// temperature before it (the stage time is held to the landing, which a
// rounded t + dt could pass).
constexpr double kStageNode[7] = {0, 0, 0.2, 0.3, 0.6, 1.0, 0.875};

void setStageTemperature(const Case& c, RunState& s, int stage, double dt, double landing) {
  const auto& schedule = c.heatTreatment.schedule;
  if (!schedule) return;
  if (stage == 1) {
    s.temperature = schedule->temperatureAt(s.currentTime);
    return;
  }
  s.temperature = schedule->temperatureBefore(std::min(s.currentTime + kStageNode[stage] * dt, landing));
}

// The first non-finite entry of a table, searched component by component.
bool findNonFinite(const Table2<double>& table, int r, int n, NonFiniteValue& found) {
  for (int i = 0; i < r; ++i)
    for (int k = 0; k < n; ++k)
      if (!std::isfinite(table[i][k])) {
        found.seen = true;
        found.component = i;
        found.point = k;
        found.value = table[i][k];
        return true;
      }
  return false;
}

// Which side-file formula an evaluator's record names, with its file and
// text.
std::string formulaName(const Case& c, const NonFiniteFormula& f) {
  const auto file = [](const SideFile& side) { return side.name.empty() ? std::string() : " (" + side.name + ")"; };
  const std::string i = formatInteger(f.first + 1);
  const std::string j = formatInteger(f.second + 1);
  switch (f.kind) {
    case FormulaKind::Diffusivity: return "the diffusivity formula of component " + i + file(c.diffusivityFile);
    case FormulaKind::DiffusivityMatrix:
      return "the diffusivity matrix entry " + i + ", " + j + file(c.diffusivityFile);
    case FormulaKind::OxidationConstant: {
      static const char* const kConstants[] = {"the oxide's diffusivity", "the oxide's molar concentration",
                                               "the inner oxygen pressure", "the outer oxygen pressure",
                                               "the flux multiplier"};
      const std::string name = f.second >= 0 && f.second < 5 ? kConstants[f.second] : "oxidation constant " + j;
      return name + file(c.boundaryFluxFile);
    }
    case FormulaKind::BoundaryFlux:
      return std::string(f.second == 0 ? "the left" : "the right") + " boundary flux of component " + i +
             file(c.boundaryFluxFile);
    case FormulaKind::Activity: return "the chemical-potential derivative " + i + ", " + j + file(c.activityFile);
    case FormulaKind::Uncached: break;
  }
  return "a formula";
}

}  // namespace

void refuseNonFiniteFormula(const Case& c, const RunState& s) {
  const NonFiniteFormula& f = s.formulas.nonFinite();
  if (!f.seen) return;
  NonFiniteValue found;
  found.seen = true;
  found.inRates = true;
  found.component = f.first;
  found.point = f.point;
  found.value = f.value;
  found.time = s.currentTime;
  found.pass = s.stepCount + 1;
  found.formula = formulaName(c, f) + ", \"" + f.text + "\" at T = " + formatGeneral(f.temperature) + " K,";
  throw NonFinitePass(found);
}

RungeKuttaIntegrator::RungeKuttaIntegrator(const Case& c, RunState& s) : c_(c), s_(s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  concentrationAtStepStart_.resize(r, n);
  errorEstimate_.resize(r, n);
  for (int stage = 1; stage <= 6; ++stage) increment_[static_cast<std::size_t>(stage)].resize(r, n);
  wallInflowIncrement_.resize(7, r);
  if (s.receding) amount_.resize(r, n);
}

// A receding run's grid at `length` and its concentrations c = q / w from
// the amounts q.
void RungeKuttaIntegrator::setRecedingProfile(const Table2<double>& amounts, double length) {
  placeRecedingGrid(c_, s_, length);
  for (int k = 0; k < c_.pointCount; ++k) {
    const double width = cellWidth(c_, s_, k);
    for (int i = 0; i < c_.componentCount; ++i) s_.concentration[i][k] = amounts[i][k] / width;
  }
}

// Input of stage `stage`: c := c0 + sum_{j<stage} b_sj K_j, the terms added
// in order.
void RungeKuttaIntegrator::setStageInput(int stage) {
  const int n = c_.pointCount;
  for (int i = 0; i < c_.componentCount; ++i) {
    const double* c0 = concentrationAtStepStart_[i];
    double* ci = s_.concentration[i];
    // Row i of K_1 .. K_6 taken once: the stores into ci could otherwise
    // alias the tables and make every term look its row up again.
    const double* K[7] = {nullptr};
    for (int j = 1; j < stage; ++j) K[j] = increment_[static_cast<std::size_t>(j)][i];
    for (int k = 0; k < n; ++k) {
      double value = c0[k];
      for (int j = 1; j < stage; ++j) value += static_cast<double>(kStageWeight[stage][j]) * K[j][k];
      ci[k] = value;
    }
  }
  if (conservativeScheme(c_)) {
    // x_K of the stage: x_K0 + sum_{j<stage} b_sj K_j, in the same way.
    double plane = kirkendallPositionAtStepStart_;
    for (int j = 1; j < stage; ++j)
      plane += static_cast<double>(kStageWeight[stage][j]) * kirkendallIncrement_[static_cast<std::size_t>(j)];
    s_.kirkendallStagePosition = plane;
  }
  if (s_.receding) {
    double length = lengthAtStepStart_;
    for (int j = 1; j < stage; ++j)
      length += static_cast<double>(kStageWeight[stage][j]) * lengthIncrement_[static_cast<std::size_t>(j)];
    s_.stageSampleLength = length;
    // The stage input just formed holds amounts.
    setRecedingProfile(s_.concentration, length);
  }
}

// K_s := dt * F, and with the conservative scheme the increments of the
// plane and of the flows through the ends.
void RungeKuttaIntegrator::storeIncrements(int stage, double dt) {
  Table2<double>& K = increment_[static_cast<std::size_t>(stage)];
  for (int i = 0; i < c_.componentCount; ++i) {
    const double* F = s_.concentrationRate[i];
    double* Ki = K[i];
    for (int k = 0; k < c_.pointCount; ++k) Ki[k] = dt * F[k];
  }
  if (!conservativeScheme(c_)) return;
  kirkendallIncrement_[static_cast<std::size_t>(stage)] = dt * s_.kirkendallVelocity;
  lengthIncrement_[static_cast<std::size_t>(stage)] = dt * s_.sampleLengthRate;
  for (int i = 0; i < c_.componentCount; ++i)
    wallInflowIncrement_[stage][i] = dt * s_.wallInflowRate[static_cast<std::size_t>(i)];
}

// Fifth-order solution and the difference to the fourth-order one; every
// term is formed, the zero weights included, so that an infinite stage
// shows up in both. A receding run combines amounts and its length, and
// holds the error of each amount to the tolerance in concentration.
void RungeKuttaIntegrator::combineStages() {
  Table2<double>& result = s_.receding ? amount_ : s_.concentration;
  for (int i = 0; i < c_.componentCount; ++i) {
    const double* c0 = concentrationAtStepStart_[i];
    double* ci = result[i];
    double* E = errorEstimate_[i];
    const double* K[7] = {nullptr};
    for (int stage = 1; stage <= 6; ++stage) K[stage] = increment_[static_cast<std::size_t>(stage)][i];
    for (int k = 0; k < c_.pointCount; ++k) {
      double value = c0[k];
      double error = static_cast<double>(kErrorWeight[1]) * K[1][k];
      for (int stage = 1; stage <= 6; ++stage) value += static_cast<double>(kFifthOrderWeight[stage]) * K[stage][k];
      for (int stage = 2; stage <= 6; ++stage) error += static_cast<double>(kErrorWeight[stage]) * K[stage][k];
      ci[k] = value;
      E[k] = error;
    }
  }
  if (!s_.receding) return;
  double length = lengthAtStepStart_;
  for (int stage = 1; stage <= 6; ++stage)
    length += static_cast<double>(kFifthOrderWeight[stage]) * lengthIncrement_[static_cast<std::size_t>(stage)];
  s_.sampleLength = s_.stageSampleLength = length;
  setRecedingProfile(amount_, length);
  for (int k = 0; k < c_.pointCount; ++k) {
    const double width = cellWidth(c_, s_, k);
    for (int i = 0; i < c_.componentCount; ++i) errorEstimate_[i][k] /= width;
  }
}

// An accepted pass: the plane and the flows through the ends advance with
// the fifth-order weights, as the profile does.
void RungeKuttaIntegrator::finishConservativePass() {
  double plane = kirkendallPositionAtStepStart_;
  for (int stage = 1; stage <= 6; ++stage)
    plane += static_cast<double>(kFifthOrderWeight[stage]) * kirkendallIncrement_[static_cast<std::size_t>(stage)];
  s_.kirkendallPosition = plane;
  for (int i = 0; i < c_.componentCount; ++i) {
    double flow = 0;
    for (int stage = 1; stage <= 6; ++stage)
      flow += static_cast<double>(kFifthOrderWeight[stage]) * wallInflowIncrement_[stage][i];
    s_.wallInflow[static_cast<std::size_t>(i)] += flow;
  }
}

// The three acceptance tests. An error entry must be a number within the
// tolerance: a NaN (an overflow in some stage of too long a step) fails the
// test as an infinite one does, and so does a profile that is not finite.
bool RungeKuttaIntegrator::accepted(double kp1) const {
  const int r = c_.componentCount;
  const int last = c_.pointCount - 1;
  bool accepted = true;
  for (int i = 0; i < r; ++i)
    for (int k = 0; k < c_.pointCount; ++k)
      if (!(std::fabs(errorEstimate_[i][k]) <= c_.concentrationError) || !std::isfinite(s_.concentration[i][k]))
        accepted = false;
  if (c_.boundaryFlux == BoundaryFlux::SelectiveOxidation) {
    const double before = surfaceRatio(concentrationAtStepStart_, r, last);
    const double after = surfaceRatio(s_.concentration, r, last);
    if (before - after > kMaxSurfaceDepletionPerPass) accepted = false;
    if (kp1 < 0 || (kp1 >= 0 && s_.concentration[0][last] < 0)) accepted = false;
  }
  return accepted;
}

// No stage straddles a corner of the schedule: T(t) bends or steps there.
double NextLanding(const Case& c, const RunState& s) {
  double landing = c.endTime;
  const HeatTreatment& heat = c.heatTreatment;
  if (heat.schedule) landing = std::min(landing, heat.schedule->nextCorner(s.currentTime));
  const auto output = std::upper_bound(heat.outputTimes.begin(), heat.outputTimes.end(), s.currentTime);
  if (output != heat.outputTimes.end()) landing = std::min(landing, *output);
  return landing;
}

void FinishAcceptedPass(const Case& c, RunState& s, RunHost& host) {
  // The scale's books and the critical content, before the records take the
  // pass (a spalled scale is the one they show).
  KeepLifeBooks(c, s);
  // The end of the run saves anyway.
  const std::vector<double>& outputTimes = c.heatTreatment.outputTimes;
  s.atOutputTime =
      s.currentTime != c.endTime && std::binary_search(outputTimes.begin(), outputTimes.end(), s.currentTime);
  host.Refresh();
  s.atOutputTime = false;
}

// Landing clipping: no step goes past the end of the run, a corner of the
// schedule or an output time. A step clipped short of the end is remembered,
// so that the step control goes on from its own step after the landing.
void RungeKuttaIntegrator::clipToLanding() {
  const double landing = NextLanding(c_, s_);
  if (s_.timeStep + s_.currentTime > landing && s_.timeStep != 0) {
    if (landing != c_.endTime) stepBeforeLanding_ = s_.timeStep;
    s_.timeStep = landing - s_.currentTime;
  }
}

// The first stage is the profile the pass starts from and its rates at the
// pass's clock; neither depends on the step (the cap of the oxidation flux
// does, but stays finite for any finite step), so a non-finite value there
// cannot be mended by dividing the step, only repeated until the step is 0.
void RungeKuttaIntegrator::refuseNonFiniteStart() {
  const int r = c_.componentCount;
  const int n = c_.pointCount;
  // (A receding run's profile is still the one the pass started from.)
  const bool restore = !s_.receding;
  if (s_.formulas.nonFinite().seen) {
    if (restore) copyTable(concentrationAtStepStart_, s_.concentration, r, n);
    refuseNonFiniteFormula(c_, s_);
  }
  NonFiniteValue found;
  if (!findNonFinite(concentrationAtStepStart_, r, n, found)) {
    if (!findNonFinite(s_.concentrationRate, r, n, found)) return;
    found.inRates = true;
  }
  found.time = s_.currentTime;
  found.pass = s_.stepCount + 1;
  if (restore) copyTable(concentrationAtStepStart_, s_.concentration, r, n);
  throw NonFinitePass(found);
}

void RungeKuttaIntegrator::start() {
  if (s_.receding) {
    s_.stageSampleLength = s_.sampleLength;
    for (int k = 0; k < c_.pointCount; ++k) {
      const double width = cellWidth(c_, s_, k);
      for (int i = 0; i < c_.componentCount; ++i) amount_[i][k] = width * s_.concentration[i][k];
    }
  }
  stepBeforeLanding_ = 0;
  smallestStep_ = std::min(s_.timeStep, 1e-15 * (c_.endTime - c_.startTime));
  stepVanished_ = false;
  clipToLanding();
}

bool RungeKuttaIntegrator::pass(RunHost& host) {
  const Case& c = c_;
  RunState& s = s_;
  const int r = c.componentCount;
  const int n = c.pointCount;

  s.stageTimeStep = s.timeStep;
  if (s.receding) {
    // Neither the normalisation nor the floor: both would add or take
    // matter, and the cell balances keep the profile consistent with the
    // molar volumes by themselves. The pass starts from the amounts.
    copyTable(amount_, concentrationAtStepStart_, r, n);
    lengthAtStepStart_ = s.stageSampleLength = s.sampleLength;
  } else {
    NormaliseProfile(c, s);
    ApplyMolarRatioFloor(c, s);
    copyTable(s.concentration, concentrationAtStepStart_, r, n);
  }

  const double dt = s.timeStep;  // the step this pass integrates
  const bool conservative = conservativeScheme(c);
  if (conservative) kirkendallPositionAtStepStart_ = s.kirkendallStagePosition = s.kirkendallPosition;
  const double landing = NextLanding(c_, s_);
  setStageTemperature(c, s, 1, dt, landing);
  s.formulas.forgetNonFinite();
  host.EvaluateDerivative();
  refuseNonFiniteStart();
  const double kp1 = s.oxide.parabolicRateConstant;  // kp of the first stage
  storeIncrements(1, dt);
  for (int stage = 2; stage <= 6; ++stage) {
    s.stageTimeStep += static_cast<double>(kNode[stage]) * dt;
    setStageInput(stage);
    setStageTemperature(c, s, stage, dt, landing);
    host.EvaluateDerivative();
    storeIncrements(stage, dt);
  }
  combineStages();

  const bool passed = accepted(kp1);
  if (!passed) {
    if (s.receding) {
      copyTable(concentrationAtStepStart_, amount_, r, n);
      s.sampleLength = s.stageSampleLength = lengthAtStepStart_;
      setRecedingProfile(amount_, lengthAtStepStart_);
    } else {
      copyTable(concentrationAtStepStart_, s.concentration, r, n);
    }
    s.timeStep = dt / c.timeStepMultiplier;
    stepBeforeLanding_ = 0;  // the step control has taken a smaller step
    if (s.timeStep < smallestStep_) stepVanished_ = true;
  }
  if (c.boundaryFlux == BoundaryFlux::Formulas || c.boundaryFlux == BoundaryFlux::SelectiveOxidation)
    ratiosOfStepStart(c, s, concentrationAtStepStart_);

  if (passed) {
    if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation) {
      s.oxide.parabolicRateConstant = kp1;
      s.oxide.thickness = s.oxide.thickness + (kp1 / s.oxide.thickness) * dt;  // parabolic growth of the scale
    }
    // The clock moves before Refresh, by the step just integrated; a clipped
    // step lands exactly on the end time, the corner or the output time.
    s.currentTime = dt == landing - s.currentTime ? landing : s.currentTime + dt;
    if (conservative) finishConservativePass();
    FinishAcceptedPass(c, s, host);
    if (stepBeforeLanding_ != 0 && s.currentTime == landing) {
      s.timeStep = stepBeforeLanding_;
      stepBeforeLanding_ = 0;
    }
    increaseStep(c, s);
  }
  clipToLanding();
  if (s.timeStep > s.largestTimeStep) s.largestTimeStep = s.timeStep;
  ++s.stepCount;
  return passed;
}

namespace {

// The implicit loop: passes until the clock reaches the end time, a stop is
// requested or no step can be taken.
void runImplicitLoop(const Case& c, RunState& s, RunHost& host, RunSummary& summary) {
  if (!(s.currentTime < c.endTime)) return;
  BdfIntegrator integrator(c, s);
  while (s.currentTime < c.endTime && s.stopRequested == 0 && !s.life.spent) {
    host.pausePoint();
    if (s.stopRequested != 0) break;  // stopped while held at the pause point
    const BdfPass pass = integrator.pass(host);
    summary.acceptedPasses += pass.accepted ? 1 : 0;
    summary.rejectedPasses += pass.rejected;
    host.afterPass(std::max(c.calculationDelay, 0));
    if (pass.vanished) break;
  }
}

}  // namespace

void BeginRecedingSurface(const Case& c, RunState& s) {
  s.receding = c.heatTreatment.life.receding;
  s.sampleLengthRate = 0;
  if (!s.receding) return;
  std::copy(s.position.begin(), s.position.end(), s.startPosition.begin());
  s.sampleLength = s.stageSampleLength = s.position[static_cast<std::size_t>(c.pointCount) - 1] - s.position[0];
}

RunSummary Execute(const Case& c, RunState& s, RunHost& host) {
  c.validate();
  BeginRecedingSurface(c, s);

  RunSummary summary;
  s.stopRequested = 0;
  try {
    const bool implicit = c.integrator == Integrator::Bdf;
    std::optional<RungeKuttaIntegrator> explicitLoop;
    if (!implicit) explicitLoop.emplace(c, s);
    host.InitRecords();
    s.stepCount = 0;
    s.largestTimeStep = 0;
    s.currentTime = c.startTime;
    if (conservativeScheme(c)) {
      s.kirkendallPosition = c.initialKirkendallPosition;
      std::fill(s.wallInflow.begin(), s.wallInflow.end(), 0.0);
    }
    s.atOutputTime = false;
    s.implicitWork = ImplicitWork();
    if (c.heatTreatment.schedule) s.temperature = c.heatTreatment.schedule->temperatureAt(s.currentTime);
    BeginLifeBooks(c, s);
    if (implicit) {
      runImplicitLoop(c, s, host, summary);
    } else {
      RungeKuttaIntegrator& integrator = *explicitLoop;
      integrator.start();  // a first step longer than the whole run, or past a landing
      // A step too small to move the clock (t + dt == t) ends the run: passes
      // would be accepted for ever with the clock standing still; so does one
      // the step control has cut far below anything the run could finish with.
      while (s.currentTime <= c.endTime && s.currentTime + s.timeStep != s.currentTime && !integrator.stepVanished() &&
             s.stopRequested == 0 && !s.life.spent) {
        host.pausePoint();
        if (s.stopRequested != 0) break;  // stopped while held at the pause point
        if (integrator.pass(host))
          ++summary.acceptedPasses;
        else
          ++summary.rejectedPasses;
        host.afterPass(std::max(c.calculationDelay, 0));
      }
    }
  } catch (const NonFinitePass& pass) {
    summary.nonFinite = pass.value();
  } catch (...) {
    summary.failure = std::current_exception();
  }
  const bool stopped = s.stopRequested != 0;
  try {
    host.EndOfRun(summary);
  } catch (...) {
    if (!summary.failure) summary.failure = std::current_exception();
  }

  if (summary.failure)
    summary.end = RunEnd::Failed;
  else if (summary.nonFinite.seen)
    summary.end = RunEnd::NonFinite;
  else if (s.life.spent)
    summary.end = RunEnd::CriticalContent;
  else if (s.currentTime == c.endTime && summary.acceptedPasses > 0)
    summary.end = RunEnd::Completed;
  else if (stopped)
    summary.end = RunEnd::Stopped;
  else if (summary.acceptedPasses + summary.rejectedPasses == 0)
    summary.end = RunEnd::NoPass;
  else
    summary.end = RunEnd::StepVanished;
  return summary;
}

}  // namespace torvex
