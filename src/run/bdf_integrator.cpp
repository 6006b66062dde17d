#include "run/bdf_integrator.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "model/heat_treatment.h"

namespace torvex {
namespace {

// The nodes of two-point Gauss-Legendre quadrature on [0, 1]: 1/2 -+ this.
constexpr double kGaussOffset = 0.28867513459481288225;  // 1 / (2 sqrt 3)
// A relative tolerance above this asks for no accuracy at all.
constexpr double kLargestRelativeTolerance = 0.1;
// The part of D4 any one entry's local error may reach. The explicit loop
// holds every entry of each pass's error estimate within D4 (and its steps
// are mostly limited by stability or D5, far inside that bound); the
// integrator's error test is a root mean square over all unknowns, which
// lets the few entries at a front or a surface carry up to the square root
// of their number times the tolerance. Dividing by that square root makes
// the test bound every entry, and a BDF step is as long as the bound
// allows, so its global error is the sum of many such local errors: a tenth
// of D4 keeps the samples within 1e-4 in molar ratio of the explicit loop.
constexpr double kLocalErrorShareOfD4 = 0.1;

bool conservativeScheme(const Case& c) {
  return c.differenceScheme == DifferenceScheme::Conservative;
}

// The reach of a point's rate, in unknowns: the product-rule schemes take the
// gradient and then the divergence of the velocities (two points either
// side), and at the ends a one-sided derivative over three points of
// velocities that reach one point further (three points); the conservative
// scheme's faces reach one point. Under selective oxidation the thickness,
// after the last point, couples to the surface point and, through the
// surface velocity, to the two points before it.
std::size_t halfBandwidth(const Case& c, std::size_t size) {
  const auto r = static_cast<std::size_t>(c.componentCount);
  std::size_t band = conservativeScheme(c) ? 2 * r - 1 : 4 * r - 1;
  if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation) band = std::max(band, 2 * r);
  return std::min(band, size - 1);
}

// The temperature of the stretch from t to the next corner of the schedule
// when it holds, none when it ramps or there is no schedule.
std::optional<double> holdTemperature(const Case& c, double t) {
  const auto& schedule = c.heatTreatment.schedule;
  if (!schedule) return std::nullopt;
  const double T = schedule->temperatureAt(t);
  const double next = schedule->nextCorner(t);
  if (std::isfinite(next) && schedule->temperatureBefore(next) != T) return std::nullopt;
  return T;
}

}  // namespace

BdfTolerances bdfTolerances(const Case& c) {
  double reference = 0;
  for (const double total : c.initial.totalConcentration) reference = std::max(reference, total);
  BdfTolerances tolerances;
  const double unknowns = static_cast<double>(c.componentCount) * c.pointCount;
  tolerances.absolute = kLocalErrorShareOfD4 * c.concentrationError / std::sqrt(std::max(unknowns, 1.0));
  tolerances.relative =
      std::min(reference > 0 ? tolerances.absolute / reference : tolerances.absolute, kLargestRelativeTolerance);
  return tolerances;
}

BdfIntegrator::BdfIntegrator(const Case& c, RunState& s)
    : c_(c), s_(s), oxidation_(c.boundaryFlux == BoundaryFlux::SelectiveOxidation) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  profileSize_ = static_cast<std::size_t>(r) * static_cast<std::size_t>(n);
  // The profile the first step starts from is the one a first Runge-Kutta
  // pass would start from.
  NormaliseProfile(c, s);
  ApplyMolarRatioFloor(c, s);
  std::vector<double> start(profileSize_ + (oxidation_ ? 1 : 0));
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < r; ++i) start[static_cast<std::size_t>(k * r + i)] = s.concentration[i][k];
  if (oxidation_) start.back() = s.oxide.thickness;
  buffer_.resize(start.size());

  const BdfTolerances tolerances = bdfTolerances(c);
  BdfSettings settings;
  settings.relativeTolerance = tolerances.relative;
  if (oxidation_) {
    // The thickness (cm) is held to the relative tolerance of its start.
    settings.absoluteTolerances.assign(start.size(), tolerances.absolute);
    const double thickness = std::isfinite(s.oxide.thickness) ? std::fabs(s.oxide.thickness) : 0.0;
    settings.absoluteTolerances.back() = thickness > 0 ? tolerances.relative * thickness : tolerances.absolute;
  } else {
    settings.absoluteTolerance = tolerances.absolute;
  }
  settings.firstStep = c.timeStep;
  // After a corner the rates have jumped (a temperature step, a spalled
  // scale): D3, the first step of the run, would make every cycle creep up
  // from it again, so the integrator estimates the step from the new rates.
  settings.firstStepAfterRestart = 0;
  // Under a schedule the integrator restarts at every corner; in a hold it
  // keeps its Jacobian for the next hold at the same temperature (thermal
  // cycles come back to the same two), where a new one would cost
  // 2 (half-bandwidth) + 1 evaluations of the rates.
  settings.keepJacobians = c.heatTreatment.schedule != nullptr;
  settings.largestStep = c.maxTimeStep;
  stepStart_ = s.currentTime;
  landing_ = NextLanding(c, s);
  stepper_.emplace(system(), settings, s.currentTime, start);
  stepper_->setJacobianKey(holdTemperature(c, s.currentTime));
}

BandedSystem BdfIntegrator::system() {
  BandedSystem system;
  system.size = profileSize_ + (oxidation_ ? 1 : 0);
  system.lowerBandwidth = system.upperBandwidth = halfBandwidth(c_, system.size);
  system.rightHandSide = [this](double t, std::span<const double> y, std::span<double> rate) {
    if (conservativeScheme(c_)) s_.kirkendallStagePosition = s_.kirkendallPosition;
    const BdfCallbackResult result = evaluate(t, y.data());
    if (result != BdfCallbackResult::Ok) return result;
    const int r = c_.componentCount;
    for (int i = 0; i < r; ++i) {
      const double* F = s_.concentrationRate[i];
      for (int k = 0; k < c_.pointCount; ++k) rate[static_cast<std::size_t>(k * r + i)] = F[k];
    }
    if (oxidation_) rate[profileSize_] = s_.oxide.parabolicRateConstant / s_.oxide.thickness;
    return BdfCallbackResult::Ok;
  };
  system.projection = [this](double, std::span<const double> y, std::span<double> correction, std::span<double> error) {
    return project(y, correction, error);
  };
  return system;
}

void BdfIntegrator::setEvaluationClock(double t) {
  // The clock of the formulas; the pass sets the run's clock when it ends.
  s_.currentTime = t;
  if (const auto& schedule = c_.heatTreatment.schedule)
    s_.temperature =
        t > stepStart_ ? schedule->temperatureBefore(std::min(t, landing_)) : schedule->temperatureAt(stepStart_);
}

void BdfIntegrator::loadState(std::span<const double> y) {
  const int r = c_.componentCount;
  for (int i = 0; i < r; ++i) {
    double* ci = s_.concentration[i];
    for (int k = 0; k < c_.pointCount; ++k) ci[k] = y[static_cast<std::size_t>(k * r + i)];
  }
  if (oxidation_) s_.oxide.thickness = y[profileSize_];
}

// The rates of a trial state into the run's state. A state or rate that is
// not finite and a scale that is not positive cannot be a step's: the
// integrator retries shorter.
BdfCallbackResult BdfIntegrator::evaluate(double t, const double* y) {
  const std::size_t size = profileSize_ + (oxidation_ ? 1 : 0);
  for (std::size_t j = 0; j < size; ++j)
    if (!std::isfinite(y[j])) return BdfCallbackResult::Retry;
  if (oxidation_ && !(y[profileSize_] > 0)) return BdfCallbackResult::Retry;
  loadState({y, size});
  setEvaluationClock(t);
  host_->EvaluateDerivative();
  const int r = c_.componentCount;
  for (int i = 0; i < r; ++i) {
    const double* F = s_.concentrationRate[i];
    for (int k = 0; k < c_.pointCount; ++k)
      if (!std::isfinite(F[k])) return BdfCallbackResult::Retry;
  }
  return BdfCallbackResult::Ok;
}

// The normalisation and the floor of a Runge-Kutta pass, as the correction
// that takes y onto them, and the step's error estimate carried along
// (linearised about y): the normalisation z = y / S with S = sum_j Omega_j y_j
// takes an error e to e / S - y (sum_j Omega_j e_j) / S^2; the floor sets a
// low component to theta C (C = sum_j z_j) and shares the difference among
// the others, and its error likewise.
BdfCallbackResult BdfIntegrator::project(std::span<const double> y, std::span<double> correction,
                                         std::span<double> error) const {
  const int r = c_.componentCount;
  const double theta = MolarRatioFloor(c_);
  for (int k = 0; k < c_.pointCount; ++k) {
    const auto base = static_cast<std::size_t>(k * r);
    const double* yk = &y[base];
    double* zk = &correction[base];
    double* ek = &error[base];
    double S = 0;
    double SE = 0;
    double total = 0;
    for (int j = 0; j < r; ++j) {
      const double omega = s_.partialMolarVolume[j][k];
      S += omega * yk[j];
      SE += omega * ek[j];
      total += yk[j];
    }
    if (!(S > 0) || !std::isfinite(S) || !(total > 0)) return BdfCallbackResult::Retry;
    double C = 0;
    double CE = 0;
    for (int j = 0; j < r; ++j) {
      zk[j] = yk[j] / S;
      ek[j] = ek[j] / S - yk[j] * SE / (S * S);
      C += zk[j];
      CE += ek[j];
    }
    if (r > 1)
      for (int j = 0; j < r; ++j) {
        if (!(yk[j] / total < theta)) continue;
        const double share = (theta * C - zk[j]) / (r - 1);
        const double errorShare = (theta * CE - ek[j]) / (r - 1);
        for (int other = 0; other < r; ++other)
          if (other != j) {
            zk[other] += share;
            ek[other] += errorShare;
          }
        zk[j] = theta * C;
        ek[j] = theta * CE;
      }
    for (int j = 0; j < r; ++j) zk[j] -= yk[j];
  }
  if (oxidation_) correction[profileSize_] = 0;
  return BdfCallbackResult::Ok;
}

// dx_K/dt = v(x_K, t) and the flows through the ends over the step just
// taken, by two-point Gauss quadrature of the interpolated profile; the plane
// at each node is predicted from the drift before it.
void BdfIntegrator::integrateConservativeTerms(double from, double to) {
  const double h = to - from;
  const double x0 = s_.kirkendallPosition;
  const int r = c_.componentCount;
  double drift[2] = {0, 0};
  std::vector<double>& flows = s_.wallInflow;
  double predicted = s_.kirkendallVelocity;  // at the start of the step
  for (int node = 0; node < 2; ++node) {
    const double offset = node == 0 ? 0.5 - kGaussOffset : 0.5 + kGaussOffset;
    const double t = from + offset * h;
    stepper_->interpolate(t, 0, buffer_);
    s_.kirkendallStagePosition = x0 + offset * h * predicted;
    static_cast<void>(evaluate(t, buffer_.data()));
    drift[node] = s_.kirkendallVelocity;
    predicted = drift[node];
    for (int i = 0; i < r; ++i)
      flows[static_cast<std::size_t>(i)] += 0.5 * h * s_.wallInflowRate[static_cast<std::size_t>(i)];
  }
  s_.kirkendallPosition = x0 + 0.5 * h * (drift[0] + drift[1]);
}

void BdfIntegrator::refuseNonFinite(double time) {
  if (s_.formulas.nonFinite().seen) {
    s_.currentTime = time;
    refuseNonFiniteFormula(c_, s_);
  }
  const int r = c_.componentCount;
  NonFiniteValue found;
  for (int pass = 0; pass < 2 && !found.seen; ++pass) {
    const Table2<double>& table = pass == 0 ? s_.concentration : s_.concentrationRate;
    for (int i = 0; i < r && !found.seen; ++i)
      for (int k = 0; k < c_.pointCount; ++k)
        if (!std::isfinite(table[i][k])) {
          found.seen = true;
          found.inRates = pass == 1;
          found.component = i;
          found.point = k;
          found.value = table[i][k];
          break;
        }
  }
  if (!found.seen) return;
  found.time = time;
  found.pass = s_.stepCount + 1;
  throw NonFinitePass(found);
}

BdfStatistics BdfIntegrator::statistics() const {
  return stepper_->statistics();
}

BdfPass BdfIntegrator::pass(RunHost& host) {
  const Case& c = c_;
  RunState& s = s_;
  host_ = &host;
  BdfPass result;
  const double t0 = s.currentTime;
  const double temperature0 = s.temperature;
  stepStart_ = t0;
  landing_ = NextLanding(c, s);

  const auto countFailures = [&] {
    const BdfStatistics work = stepper_->statistics();
    const long failures = work.errorTestFailures + work.nonlinearConvergenceFailures;
    result.rejected = static_cast<int>(failures - failuresSoFar_);
    failuresSoFar_ = failures;
    s.implicitWork = ImplicitWork{.steps = work.steps,
                                  .rightHandSideEvaluations = work.rightHandSideEvaluations,
                                  .jacobianEvaluations = work.jacobianEvaluations,
                                  .factorisations = work.linearSolverSetups,
                                  .errorTestFailures = work.errorTestFailures,
                                  .convergenceFailures = work.nonlinearConvergenceFailures};
  };
  // A step that failed leaves the state where the last one ended.
  const auto restoreStart = [&] {
    loadState(stepper_->state());
    s.currentTime = t0;
    s.temperature = temperature0;
  };

  // The profile the run starts from and its rates must be finite: no step
  // can mend them (later passes start where the last one's check ended).
  if (!startChecked_) {
    startChecked_ = true;
    setEvaluationClock(t0);
    s.formulas.forgetNonFinite();
    host.EvaluateDerivative();
    refuseNonFinite(t0);
    loadState(stepper_->state());
  }

  BdfStep step;
  try {
    step = stepper_->step(landing_);
  } catch (const BdfError& error) {
    restoreStart();
    countFailures();
    if (!error.stepVanished()) throw;
    result.vanished = true;
    result.rejected = std::max(result.rejected, 1);
    s.stepCount += result.rejected;
    return result;
  } catch (...) {
    restoreStart();
    throw;
  }
  countFailures();
  s.stepCount += result.rejected;

  const double t1 = step.reachedStop ? landing_ : step.time;
  if (conservativeScheme(c)) integrateConservativeTerms(t0, t1);
  // The rates, velocities, fluxes and kp the records take are those of the
  // state the step reached.
  if (conservativeScheme(c)) s.kirkendallStagePosition = s.kirkendallPosition;
  loadState(stepper_->state());
  setEvaluationClock(t1);
  s.formulas.forgetNonFinite();
  host.EvaluateDerivative();
  refuseNonFinite(t1);
  // The closed ends of the product-rule schemes are overwritten by an
  // evaluation; the files take the profile the integrator holds.
  loadState(stepper_->state());

  s.currentTime = t1;
  s.timeStep = t1 - t0;
  s.largestTimeStep = std::max(s.largestTimeStep, s.timeStep);
  const bool atCorner = step.reachedStop && c.heatTreatment.schedule && c.heatTreatment.schedule->nextCorner(t0) == t1;
  FinishAcceptedPass(c, s, host);
  // T(t) steps or bends at a corner: the integrator's history, a polynomial
  // in t, does not reach across it. A cool-down may also have spalled the
  // scale (the books set the run's thickness), and the thickness is one of
  // the unknowns: the integrator starts again from the thinner scale, which
  // then regrows at the faster rate kp / X of a thin one.
  const bool thicknessChanged = oxidation_ && s.oxide.thickness != stepper_->state()[profileSize_];
  if ((atCorner || thicknessChanged) && t1 < c.endTime) {
    const std::span<const double> reached = stepper_->state();
    std::copy(reached.begin(), reached.end(), buffer_.begin());
    if (oxidation_) buffer_[profileSize_] = s.oxide.thickness;
    stepper_->setJacobianKey(holdTemperature(c, t1));
    stepper_->restart(t1, buffer_);
  }
  ++s.stepCount;
  result.accepted = true;
  return result;
}

}  // namespace torvex
