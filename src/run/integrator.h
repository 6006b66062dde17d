#pragma once
// The time loop of a run: an embedded Runge-Kutta method of Cash-Karp type
// (fifth order, with a fourth-order error estimate) and adaptive step size,
// integrating the concentration profile of a run's state from the case's
// start time to its end time.
//
// The clock, the step, the counters and the profile live in the run's state;
// the integrator keeps only the stages of the pass in hand. Whatever calls
// into the physics, the records, the results files or a window is handed
// over to the front end through a RunHost, so the same loop serves the
// desktop program (which runs it on a worker thread and hands the operations
// to the GUI thread) and the batch runner (direct calls on one thread).

#include <array>
#include <exception>
#include <string>

#include "model/case.h"
#include "results/non_finite.h"
#include "solver/run_state.h"

namespace torvex {

struct RunSummary;

// What a front end does for the run. Each operation is called by the loop
// while it waits; it works on the case and state the loop was given.
class RunHost {
 public:
  virtual ~RunHost() = default;
  // Once before the first pass: open the run records.
  virtual void InitRecords() = 0;
  // Six times per pass: dc/dt of the current stage into concentrationRate.
  virtual void EvaluateDerivative() = 0;
  // After every accepted pass, the clock already advanced: records, labels,
  // graphs and periodic saves.
  virtual void Refresh() = 0;
  // Once after the loop, however it ended: final save, stop flag set.
  // `summary` says how the loop ended so far: the error that ended it or the
  // non-finite value it stopped at, if any.
  virtual void EndOfRun(const RunSummary& summary) = 0;
  // A point where the loop holds nothing the front end needs: a paused run
  // waits here. Called at the start of every pass; a stop requested by the
  // time it returns ends the loop before the pass.
  virtual void pausePoint() {}
  // After every pass, accepted or rejected: the pacing delay of the case
  // (calculationDelay ms, never negative) and any progress report.
  virtual void afterPass(int delayMilliseconds) { static_cast<void>(delayMilliseconds); }
};

// How a run ended.
enum class RunEnd {
  Completed,        // the clock reached endTime
  NoPass,           // no pass could run: a zero time step or a start after the end
  Stopped,          // stopRequested ended it before endTime
  StepVanished,     // the step shrank until t + dt == t before endTime
  NonFinite,        // a pass started from a non-finite value; see nonFinite
  Failed,           // a hand-over threw; see failure
  CriticalContent,  // the critical content of a life run was reached (s.life.spent)
};

struct RunSummary {
  RunEnd end = RunEnd::NoPass;
  int acceptedPasses = 0;
  int rejectedPasses = 0;
  // Set when the run ended with RunEnd::NonFinite: where the value first
  // stood, in the profile a pass starts from or in that profile's rates of
  // change (dc/dt of the first stage). Both are the same for every step
  // size, so no smaller step can mend the pass and the run ends there.
  NonFiniteValue nonFinite;
  // The error that ended the run (from a hand-over, or from EndOfRun); empty
  // when none. EndOfRun has still been called.
  std::exception_ptr failure;
};

// Runs the time loop to its end: clears stopRequested, InitRecords, passes
// while t <= endTime, dt != 0, no stop is requested and the critical content
// of a life run has not been reached (life_run.h keeps the books after every
// accepted pass, before Refresh), then EndOfRun.
// The case's integrator makes the passes: the Cash-Karp loop below, or the
// implicit loop of bdf_integrator.h (then the step vanished also when the
// implicit integrator could take no step, and its other failures end the run
// as Failed). Resets currentTime, stepCount and largestTimeStep (and, with the
// conservative scheme, puts the Kirkendall plane at its initial position and
// the flows through the ends at 0); takes the first step from the state's
// timeStep. After an accepted pass the clock advances by the step that
// pass integrated before Refresh, so every label, record and file carries the
// time its profile belongs to; the last step is clipped so that the clock
// lands exactly on endTime, and so is a step that would pass a corner of the
// temperature schedule or an output time (the step control then goes on from
// the step it had chosen). With a schedule, `temperature` is T(t) of each
// stage's time; it is T(startTime) before the first pass. An exception thrown by a hand-over ends the loop;
// EndOfRun is still called and the exception is returned in the summary.
// A pass that starts from a non-finite value (NonFinitePass) ends the loop
// the same way, with RunEnd::NonFinite and the place in the summary.
// Throws (before any hand-over) the errors of Case::validate. A pass
// allocates nothing.
RunSummary Execute(const Case& c, RunState& s, RunHost& host);

// ---- Shared by the explicit and the implicit loop ----

// The next time after the clock a pass must land on exactly: the end of the
// run, or before it a corner of the temperature schedule (where T(t) bends
// or steps) or an output time.
double NextLanding(const Case& c, const RunState& s);

// The end of every accepted pass, with the clock at the time the pass
// reached and timeStep the step it integrated: the life books
// (KeepLifeBooks, life_run.h), marks a pass that landed on an output time
// (atOutputTime, during Refresh only), then Refresh.
void FinishAcceptedPass(const Case& c, RunState& s, RunHost& host);

// The lowest molar ratio a run lets a component fall to: 0.001 in a closed
// sample, the minimal molar fraction of D21 in an open one.
double MolarRatioFloor(const Case& c);

// c_i := N_i / Omega at every point, so that the profile is consistent with
// the molar volumes; leaves the totals, molar ratios and molar volumes of the
// profile before it in the state.
void NormaliseProfile(const Case& c, RunState& s);

// No molar ratio below MolarRatioFloor: a low component is raised to the
// floor times the total and the others give up the difference in equal
// shares; the ratios and totals are those NormaliseProfile left.
void ApplyMolarRatioFloor(const Case& c, RunState& s);

// Thrown by a pass that cannot run at any step: the profile it starts from,
// or that profile's rates of change, hold a non-finite value. The profile is
// left as the pass found it; Execute turns this into RunEnd::NonFinite.
class NonFinitePass : public std::exception {
 public:
  explicit NonFinitePass(NonFiniteValue value) : value_(value) {}
  [[nodiscard]] const char* what() const noexcept override { return "a pass started from a non-finite value"; }
  [[nodiscard]] const NonFiniteValue& value() const { return value_; }

 private:
  NonFiniteValue value_;
};

// Before a run: whether the oxidising surface recedes (the case's life
// setting); if so, the grid it starts from and its length.
void BeginRecedingSurface(const Case& c, RunState& s);

// Throws NonFinitePass naming the formula when a side-file formula evaluated
// since the state's last forgetNonFinite() gave NaN or an infinite value.
// Called after the evaluation of the state a pass starts from: there every
// formula meets an accepted profile, so such a value is the formula's own
// (a logarithm of a negative number, an overflow), and no step can mend it.
void refuseNonFiniteFormula(const Case& c, const RunState& s);

// The Cash-Karp integrator of one run: the stages of the pass in hand, and
// the increments of the Kirkendall plane and of the flows through the ends
// that the conservative scheme integrates with them. Made once per run
// (allocating its stage tables); a pass allocates nothing.
class RungeKuttaIntegrator {
 public:
  RungeKuttaIntegrator(const Case& c, RunState& s);

  // Before the first pass: clips a first step longer than the whole run or
  // past a landing.
  void start();

  // One pass at the state's current time and step: normalisation, the
  // molar-ratio floor (neither with a receding surface, whose passes
  // advance the cells' amounts and the sample's length), six stages (which also move the Kirkendall plane with
  // the conservative scheme), the error test, and on acceptance the oxide
  // scale, the clock, Refresh and the step increase; then end clipping and
  // the pass counter. Returns whether the pass was accepted. A pass whose
  // error estimate or new profile holds a NaN or an infinite value is
  // rejected like one whose error is too large. Throws NonFinitePass (before
  // the counter moves) when the first stage shows a non-finite value.
  bool pass(RunHost& host);

  // Whether a rejected pass has cut the step below the smallest step the run
  // may take: its first step (key D3) or 1e-15 of its length, whichever is
  // smaller. Such a step would need more passes than any run can make (and
  // is what a right-hand side that no step can satisfy leads to); the run
  // ends there.
  [[nodiscard]] bool stepVanished() const { return stepVanished_; }

  // The error estimate of the last pass, [r][n] (mol/cm^3).
  [[nodiscard]] const Table2<double>& errorEstimate() const { return errorEstimate_; }

 private:
  void setStageInput(int stage);
  void combineStages();
  void storeIncrements(int stage, double dt);
  void refuseNonFiniteStart();
  void finishConservativePass();
  [[nodiscard]] bool accepted(double kpOfFirstStage) const;
  void clipToLanding();
  void setRecedingProfile(const Table2<double>& amounts, double length);

  const Case& c_;
  RunState& s_;
  Table2<double> concentrationAtStepStart_;      // [r][n]
  Table2<double> errorEstimate_;                 // [r][n]
  std::array<Table2<double>, 7> increment_;      // [1..6][r][n], dt times the rates of each stage
  double kirkendallPositionAtStepStart_ = 0.0;   // cm
  std::array<double, 7> kirkendallIncrement_{};  // cm, dt times the drift of stages 1..6
  Table2<double> wallInflowIncrement_;           // [7][r], mol/cm^2, dt times the flows through the ends of stages 1..6
  // A receding surface: the amounts w_k c_ik the passes advance (the tables
  // above then hold amounts too), the sample length at the start of the pass
  // and dt times dL/dt of each stage.
  Table2<double> amount_;                    // [r][n], mol/cm^2, at the end of the last pass
  double lengthAtStepStart_ = 0.0;           // cm
  std::array<double, 7> lengthIncrement_{};  // cm
  // The step the step control chose when a pass was clipped to land on a
  // corner of the schedule or an output time (0: none); the pass after the
  // landing goes on from it.
  double stepBeforeLanding_ = 0.0;
  double smallestStep_ = 0.0;  // s, see stepVanished()
  bool stepVanished_ = false;
};

}  // namespace torvex
