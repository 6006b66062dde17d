#include "run/integrator.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "model/errors.h"
#include "model/heat_treatment.h"
#include "model/input_values.h"
#include "model/number_format.h"
#include "run/run_journal.h"
#include "solver/evaluate_derivative.h"

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

Table2<double>& stageIncrement(TForm1& m, int s) {
  switch (s) {
    case 1: return m.stageIncrement1;
    case 2: return m.stageIncrement2;
    case 3: return m.stageIncrement3;
    case 4: return m.stageIncrement4;
    case 5: return m.stageIncrement5;
    default: return m.stageIncrement6;
  }
}

void copyTable(const Table2<double>& from, Table2<double>& to, int r, int n) {
  for (int i = 0; i < r; ++i) std::copy(from[i], from[i] + n, to[i]);
}

// Step 1: c_i := N_i / Omega, so that the profile is consistent with the
// molar volumes before the stages start.
void normaliseProfile(TForm1& m) {
  SumConcentrations(m);
  ComputeMolarRatios(m);
  ComputeMixtureVolume(m);
  for (int i = 0; i < m.componentCount; ++i) {
    double* c = m.concentration[i];
    const double* N = m.molarRatio[i];
    for (int k = 0; k < m.pointCount; ++k) c[k] = N[k] / m.molarVolume[k];
  }
}

// Step 2: no molar ratio below theta. A low component is raised to
// theta * C and the others give up the difference in equal shares; the
// profile is not renormalised (N and C are those of step 1).
void applyMolarRatioFloor(TForm1& m) {
  const int r = m.componentCount;
  const double theta = m.boundaryFluxMode == 0 ? kClosedSampleMinimalFraction : m.minimalMolarFraction;
  for (int k = 0; k < m.pointCount; ++k) {
    const double total = m.totalConcentration[k];
    for (int j = 0; j < r; ++j) {
      if (!(m.molarRatio[j][k] < theta)) continue;
      const double share = (theta * total - m.concentration[j][k]) / (r - 1);
      for (int other = 0; other < r; ++other)
        if (other != j) m.concentration[other][k] += share;
      m.concentration[j][k] = theta * total;
    }
  }
}

// K_s := dt * F.
void storeIncrement(TForm1& m, int s, double dt) {
  Table2<double>& K = stageIncrement(m, s);
  for (int i = 0; i < m.componentCount; ++i) {
    const double* F = m.concentrationRate[i];
    double* Ki = K[i];
    for (int k = 0; k < m.pointCount; ++k) Ki[k] = dt * F[k];
  }
}

// Row i of K_1 .. K_6, indexed by stage number.
struct StageRows {
  const double* K[7];
  StageRows(TForm1& m, int i) : K{nullptr} {
    for (int s = 1; s <= 6; ++s) K[s] = stageIncrement(m, s)[i];
  }
};

// Input of stage s: c := c0 + sum_{j<s} b_sj K_j, the terms added in order.
void setStageInput(TForm1& m, int s) {
  for (int i = 0; i < m.componentCount; ++i) {
    const StageRows rows(m, i);
    const double* c0 = m.concentrationAtStepStart[i];
    double* c = m.concentration[i];
    for (int k = 0; k < m.pointCount; ++k) {
      double value = c0[k];
      for (int j = 1; j < s; ++j) value += static_cast<double>(kStageWeight[s][j]) * rows.K[j][k];
      c[k] = value;
    }
  }
}

// Fifth-order solution and the difference to the fourth-order one; every
// term is formed, the zero weights included, so that an infinite stage
// shows up in both.
void combineStages(TForm1& m) {
  for (int i = 0; i < m.componentCount; ++i) {
    const double* c0 = m.concentrationAtStepStart[i];
    double* c = m.concentration[i];
    double* E = m.errorEstimate[i];
    const StageRows rows(m, i);
    for (int k = 0; k < m.pointCount; ++k) {
      double value = c0[k];
      double error = static_cast<double>(kErrorWeight[1]) * rows.K[1][k];
      for (int s = 1; s <= 6; ++s) value += static_cast<double>(kFifthOrderWeight[s]) * rows.K[s][k];
      for (int s = 2; s <= 6; ++s) error += static_cast<double>(kErrorWeight[s]) * rows.K[s][k];
      c[k] = value;
      E[k] = error;
    }
  }
}

// The conservative scheme moves the Kirkendall plane with the lattice drift
// at its current position, dx_K/dt = v(x_K, t), integrated by the same
// stages as the profile, and adds up what crosses the two ends of the sample
// in the same way; each evaluation leaves the drift at
// kirkendallStagePosition in kirkendallVelocity and the flows through the
// ends in wallInflowRate.
bool conservativeScheme(const TForm1& m) {
  return m.differenceScheme == 3;
}

// K_s of the plane and of the flows through the ends := dt * rate.
void storeConservativeIncrements(TForm1& m, int s, double dt) {
  m.kirkendallStageIncrement[static_cast<std::size_t>(s)] = dt * m.kirkendallVelocity;
  for (int i = 0; i < m.componentCount; ++i)
    m.wallInflowIncrement[s][i] = dt * m.wallInflowRate[static_cast<std::size_t>(i)];
}

// x_K of stage s: x_K0 + sum_{j<s} b_sj K_j, as setStageInput.
void setPlaneStageInput(TForm1& m, int s) {
  double value = m.kirkendallPositionAtStepStart;
  for (int j = 1; j < s; ++j)
    value += static_cast<double>(kStageWeight[s][j]) * m.kirkendallStageIncrement[static_cast<std::size_t>(j)];
  m.kirkendallStagePosition = value;
}

// An accepted pass: the plane and the flows through the ends advance with
// the fifth-order weights, as the profile does.
void finishConservativePass(TForm1& m) {
  double plane = m.kirkendallPositionAtStepStart;
  for (int s = 1; s <= 6; ++s)
    plane += static_cast<double>(kFifthOrderWeight[s]) * m.kirkendallStageIncrement[static_cast<std::size_t>(s)];
  m.kirkendallPosition = plane;
  for (int i = 0; i < m.componentCount; ++i) {
    double flow = 0;
    for (int s = 1; s <= 6; ++s) flow += static_cast<double>(kFifthOrderWeight[s]) * m.wallInflowIncrement[s][i];
    m.wallInflow[static_cast<std::size_t>(i)] += flow;
  }
}

// Molar ratio of component 1 at the last grid point of a profile.
double surfaceRatio(const Table2<double>& c, int r, int last) {
  double total = 0;
  for (int i = 0; i < r; ++i) total += c[i][last];
  return c[0][last] / total;
}

// The three acceptance tests. An error entry must be a number within the
// tolerance: a NaN (an overflow in some stage of too long a step) fails the
// test as an infinite one does, and so does a profile that is not finite.
bool passAccepted(const TForm1& m, double kp1) {
  const int r = m.componentCount;
  const int last = m.pointCount - 1;
  bool accepted = true;
  for (int i = 0; i < r; ++i)
    for (int k = 0; k < m.pointCount; ++k)
      if (!(std::fabs(m.errorEstimate[i][k]) <= m.concentrationError) || !std::isfinite(m.concentration[i][k]))
        accepted = false;
  if (m.boundaryFluxMode == 2) {
    const double before = surfaceRatio(m.concentrationAtStepStart, r, last);
    const double after = surfaceRatio(m.concentration, r, last);
    if (before - after > kMaxSurfaceDepletionPerPass) accepted = false;
    if (kp1 < 0 || (kp1 >= 0 && m.concentration[0][last] < 0)) accepted = false;
  }
  return accepted;
}

// N_i := c0_i / sum_j c0_j: the molar ratios of the start of the pass.
void ratiosOfStepStart(TForm1& m) {
  const int r = m.componentCount;
  for (int k = 0; k < m.pointCount; ++k) {
    double total = 0;
    for (int j = 0; j < r; ++j) total += m.concentrationAtStepStart[j][k];
    for (int i = 0; i < r; ++i) m.molarRatio[i][k] = m.concentrationAtStepStart[i][k] / total;
  }
}

// Step increase after an accepted pass: every timeStepChangeInterval passes
// the step is multiplied, up to exactly maxTimeStep, unless the projected
// time of the next interval would reach the end of the run.
void increaseStep(TForm1& m) {
  if (m.stepCount % m.timeStepChangeInterval != 0) return;
  const double& dt = m.timeStep;
  if (!(m.timeStepChangeInterval * dt * m.timeStepMultiplier + m.currentTime < m.endTime)) return;
  if (dt * m.timeStepMultiplier < m.maxTimeStep)
    m.timeStep = dt * m.timeStepMultiplier;
  else if (dt != m.maxTimeStep)
    m.timeStep = m.maxTimeStep;
}

// The next time after the clock a pass must land on exactly: the end of the
// run, or before it a corner of the temperature schedule (where T(t) bends
// or steps, so no stage straddles it) or an output time.
double nextLanding(const TForm1& m) {
  double landing = m.endTime;
  if (m.temperatureSchedule) landing = std::min(landing, m.temperatureSchedule->nextCorner(m.currentTime));
  const auto output = std::upper_bound(m.outputTimes.begin(), m.outputTimes.end(), m.currentTime);
  if (output != m.outputTimes.end()) landing = std::min(landing, *output);
  return landing;
}

// Landing clipping: no step goes past the end of the run, a corner of the
// schedule or an output time. A step clipped short of the end is remembered,
// so that the step control goes on from its own step after the landing.
void clipToLanding(TForm1& m) {
  const double landing = nextLanding(m);
  if (m.timeStep + m.currentTime > landing && m.timeStep != 0) {
    if (landing != m.endTime) m.stepBeforeLanding = m.timeStep;
    m.timeStep = landing - m.currentTime;
  }
}

// The temperature of the schedule at stage s of a pass of step dt from the
// clock (the nodes of the stages, in double precision). No corner lies inside
// a pass: the first stage takes T from the clock on, the others T of the
// inside of the pass, so a pass that ends at a step is under the temperature
// before it (the stage time is held to the landing, which a rounded t + dt
// could pass).
constexpr double kStageNode[7] = {0, 0, 0.2, 0.3, 0.6, 1.0, 0.875};

void setStageTemperature(TForm1& m, int s, double dt, double landing) {
  if (!m.temperatureSchedule) return;
  if (s == 1) {
    m.temperature = m.temperatureSchedule->temperatureAt(m.currentTime);
    return;
  }
  m.temperature = m.temperatureSchedule->temperatureBefore(std::min(m.currentTime + kStageNode[s] * dt, landing));
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

// The first stage is the profile the pass starts from and its rates at the
// pass's clock; neither depends on the step (the cap of the oxidation flux
// does, but stays finite for any finite step), so a non-finite value there
// cannot be mended by dividing the step, only repeated until the step is 0.
void refuseNonFiniteStart(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  NonFiniteValue found;
  if (!findNonFinite(m.concentrationAtStepStart, r, n, found)) {
    if (!findNonFinite(m.concentrationRate, r, n, found)) return;
    found.inRates = true;
  }
  found.time = m.currentTime;
  found.pass = m.stepCount + 1;
  copyTable(m.concentrationAtStepStart, m.concentration, r, n);
  throw NonFinitePass(found);
}

[[noreturn]] void refuseSetting(const TForm1& m, const char* key, const std::string& what) {
  const std::string file = m.dataFileName.empty() ? std::string() : m.dataFileName + ", ";
  throw InputError(file + "key " + key + ": " + what);
}

}  // namespace

void checkRunSettings(const TForm1& m) {
  if (m.timeStep < 0) refuseSetting(m, "D3", "the initial time step " + formatGeneral(m.timeStep) + " is negative");
  if (!(m.maxTimeStep > 0))
    refuseSetting(m, "D5", "the maximal time step " + formatGeneral(m.maxTimeStep) + " must be positive");
  if (m.timeStepChangeInterval < 1)
    refuseSetting(
        m, "D6",
        "the number of passes between step changes " + formatInteger(m.timeStepChangeInterval) + " must be at least 1");
  if (!(m.timeStepMultiplier > 1))
    refuseSetting(m, "D7",
                  "the time step multiplier " + formatGeneral(m.timeStepMultiplier) +
                      " must be greater than 1 (a rejected step is divided by it)");
  if (m.refreshInterval < 1 || m.saveInterval < 1)
    refuseSetting(m, "D17",
                  "the numbers of passes between refreshes and between saves (" + formatInteger(m.refreshInterval) +
                      ", " + formatInteger(m.saveInterval) + ") must be at least 1");
  checkInputValues(m);
}

std::string describeNonFinite(const TForm1& m, const NonFiniteValue& v) {
  const char* kind = std::isnan(v.value) ? "NaN" : "an infinite value";
  const auto point = static_cast<std::size_t>(v.point);
  const std::string x = point < m.position.size() ? " (x = " + formatGeneral(m.position[point]) + " cm)" : "";
  return std::string(v.inRates ? "the rates of change dc/dt of the profile" : "the profile") +
         " turned non-finite: " + kind + " first appeared in component " + formatInteger(v.component + 1) +
         " at grid point " + formatInteger(v.point) + x + " at the start of pass " + formatInteger(v.pass) +
         ", t = " + formatGeneral(v.time) + " s; no smaller step can mend it, so the run ended there";
}

bool RunPass(TForm1& m, RunHost& host) {
  const int r = m.componentCount;
  const int n = m.pointCount;

  normaliseProfile(m);
  applyMolarRatioFloor(m);
  m.stageTimeStep = m.timeStep;
  copyTable(m.concentration, m.concentrationAtStepStart, r, n);

  const double dt = m.timeStep;  // the step this pass integrates
  const bool conservative = conservativeScheme(m);
  if (conservative) m.kirkendallPositionAtStepStart = m.kirkendallStagePosition = m.kirkendallPosition;
  const double landing = nextLanding(m);
  setStageTemperature(m, 1, dt, landing);
  host.EvaluateDerivative();
  refuseNonFiniteStart(m);
  const double kp1 = m.parabolicRateConstant;  // kp of the first stage
  storeIncrement(m, 1, dt);
  if (conservative) storeConservativeIncrements(m, 1, dt);
  for (int s = 2; s <= 6; ++s) {
    m.stageTimeStep += static_cast<double>(kNode[s]) * dt;
    setStageInput(m, s);
    if (conservative) setPlaneStageInput(m, s);
    setStageTemperature(m, s, dt, landing);
    host.EvaluateDerivative();
    storeIncrement(m, s, dt);
    if (conservative) storeConservativeIncrements(m, s, dt);
  }
  combineStages(m);

  const bool accepted = passAccepted(m, kp1);
  if (!accepted) {
    copyTable(m.concentrationAtStepStart, m.concentration, r, n);
    m.timeStep = dt / m.timeStepMultiplier;
    m.stepBeforeLanding = 0;  // the step control has taken a smaller step
  }
  if (m.boundaryFluxMode == 1 || m.boundaryFluxMode == 2) ratiosOfStepStart(m);

  if (accepted) {
    if (m.boundaryFluxMode == 2) {
      m.parabolicRateConstant = kp1;
      m.oxideThickness = m.oxideThickness + (kp1 / m.oxideThickness) * dt;  // parabolic growth of the scale
    }
    // The clock moves before Refresh, by the step just integrated; a clipped
    // step lands exactly on the end time, the corner or the output time.
    m.currentTime = dt == landing - m.currentTime ? landing : m.currentTime + dt;
    if (conservative) finishConservativePass(m);
    // The end of the run saves anyway.
    m.atOutputTime =
        m.currentTime != m.endTime && std::binary_search(m.outputTimes.begin(), m.outputTimes.end(), m.currentTime);
    host.Refresh();
    m.atOutputTime = false;
    if (m.stepBeforeLanding != 0 && m.currentTime == landing) {
      m.timeStep = m.stepBeforeLanding;
      m.stepBeforeLanding = 0;
    }
    increaseStep(m);
  }
  clipToLanding(m);
  if (m.timeStep > m.largestTimeStep) m.largestTimeStep = m.timeStep;
  ++m.stepCount;
  return accepted;
}

RunSummary Execute(TForm1& m, RunHost& host) {
  checkSolverModes(m);
  checkRunSettings(m);

  RunSummary summary;
  m.stopRequested = 0;
  try {
    host.InitRecords();
    m.stepCount = 0;
    m.largestTimeStep = 0;
    m.currentTime = m.startTime;
    if (conservativeScheme(m)) {
      m.kirkendallPosition = m.initialKirkendallPosition;
      std::fill(m.wallInflow.begin(), m.wallInflow.end(), 0.0);
    }
    m.stepBeforeLanding = 0;
    m.atOutputTime = false;
    if (m.temperatureSchedule) m.temperature = m.temperatureSchedule->temperatureAt(m.currentTime);
    clipToLanding(m);  // a first step longer than the whole run, or past a landing
    while (m.currentTime <= m.endTime && m.timeStep != 0 && m.stopRequested == 0) {
      host.pausePoint();
      if (m.stopRequested != 0) break;  // stopped while held at the pause point
      if (RunPass(m, host))
        ++summary.acceptedPasses;
      else
        ++summary.rejectedPasses;
      host.afterPass(std::max(m.calculationDelay, 0));
    }
  } catch (const NonFinitePass& pass) {
    summary.nonFinite = pass.value();
    JournalNonFinite(m, pass.value().component, pass.value().point, pass.value().time,
                     describeNonFinite(m, pass.value()));
  } catch (...) {
    summary.failure = std::current_exception();
    JournalFailure(m, summary.failure);
  }
  const bool stopped = m.stopRequested != 0;
  try {
    host.EndOfRun();
  } catch (...) {
    if (!summary.failure) summary.failure = std::current_exception();
  }

  if (summary.failure)
    summary.end = RunEnd::Failed;
  else if (summary.nonFinite.seen)
    summary.end = RunEnd::NonFinite;
  else if (m.currentTime == m.endTime && summary.acceptedPasses > 0)
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
