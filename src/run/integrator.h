#pragma once
// The time loop of a run: an embedded Runge-Kutta method of Cash-Karp type
// (fifth order, with a fourth-order error estimate) and adaptive step size,
// integrating the concentration profile of the model from startTime to
// endTime.
//
// The integrator keeps no numbers of its own: the clock, the step, the
// counters and every array live in the model. Whatever calls into the
// physics, the records, the results files or a window is handed over to the
// front end through a RunHost, so the same loop serves the desktop program
// (which runs it on a worker thread and hands the operations to the GUI
// thread) and the batch runner (direct calls on one thread).

#include <exception>
#include <string>

#include "model/tform1.h"

namespace torvex {

// What a front end does for the run. Each operation is called by the loop
// while it waits; it works on the model the loop was given.
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
  virtual void EndOfRun() = 0;
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
  Completed,     // the clock reached endTime
  NoPass,        // no pass could run: a zero time step or a start after the end
  Stopped,       // stopRequested ended it before endTime
  StepVanished,  // repeated rejection divided the step down to 0 before endTime
  NonFinite,     // a pass started from a non-finite value; see nonFinite
  Failed,        // a hand-over threw; see failure
};

// Where a non-finite value (NaN or infinite) first stood: in the profile a
// pass starts from, or in that profile's rates of change (dc/dt of the first
// stage). Both are the same for every step size, so no smaller step can mend
// the pass and the run ends there.
struct NonFiniteValue {
  bool seen = false;
  bool inRates = false;  // dc/dt (mol/(cm^3 s)) rather than the concentration
  int component = 0;     // 0-based
  int point = 0;
  double value = 0;
  double time = 0;  // s, the clock at the start of the pass
  int pass = 0;     // 1-based number of the pass that could not run
};

struct RunSummary {
  RunEnd end = RunEnd::NoPass;
  int acceptedPasses = 0;
  int rejectedPasses = 0;
  // Set when the run ended with RunEnd::NonFinite.
  NonFiniteValue nonFinite;
  // The error that ended the run (from a hand-over, or from EndOfRun); empty
  // when none. EndOfRun has still been called.
  std::exception_ptr failure;
};

// Refuses run settings the loop cannot work with: a negative first step (D3),
// a largest step that is not positive (D5), fewer than one pass between
// refreshes or saves (D17), which the load of an input file accepts; and,
// for models not built by a load (which raises them itself), fewer than one
// pass between step increases (D6) or a step multiplier of 1 or less (D7: a
// rejected step must shrink, or the same pass would be retried for ever).
// It then refuses the values that describe no physical case
// (checkInputValues). Throws InputError naming the data file, the key and the
// value.
void checkRunSettings(const TForm1& model);

// The message of a run that ended on a non-finite value: what it was, the
// component, grid point, position, pass and time.
std::string describeNonFinite(const TForm1& model, const NonFiniteValue& value);

// Runs the time loop to its end: clears stopRequested, InitRecords, passes
// while t <= endTime, dt != 0 and no stop is requested, then EndOfRun.
// Resets currentTime, stepCount and largestTimeStep (and, with the
// conservative scheme, puts the Kirkendall plane at its initial position);
// takes the first step from timeStep. After an accepted pass the clock advances by the step that
// pass integrated before Refresh, so every label, record and file carries the
// time its profile belongs to; the last step is clipped so that the clock
// lands exactly on endTime, and so is a step that would pass a corner of the
// temperature schedule or an output time (the step control then goes on from
// the step it had chosen). With a schedule, `temperature` is T(t) of each
// stage's time; it is T(startTime) before the first pass. An exception thrown by a hand-over ends the loop;
// EndOfRun is still called and the exception is returned in the summary.
// A pass that starts from a non-finite value (NonFinitePass) ends the loop
// the same way, with RunEnd::NonFinite and the place in the summary.
// Throws (before any hand-over) the errors of checkSolverModes and
// checkRunSettings. A pass allocates nothing.
RunSummary Execute(TForm1& model, RunHost& host);

// Thrown by RunPass when the pass cannot run at any step: the profile it
// starts from, or that profile's rates of change, hold a non-finite value.
// The profile is left as the pass found it; Execute turns this into
// RunEnd::NonFinite.
class NonFinitePass : public std::exception {
 public:
  explicit NonFinitePass(NonFiniteValue value) : value_(value) {}
  [[nodiscard]] const char* what() const noexcept override { return "a pass started from a non-finite value"; }
  [[nodiscard]] const NonFiniteValue& value() const { return value_; }

 private:
  NonFiniteValue value_;
};

// One pass of the loop at the model's current time and step: normalisation,
// the molar-ratio floor, six stages (which also move the Kirkendall plane
// with the conservative scheme), the error test, and on acceptance the
// oxide scale, the clock, Refresh and the step increase; then end clipping
// and the pass counter. Returns whether the pass was accepted. A pass whose
// error estimate or new profile holds a NaN or an infinite value is
// rejected like one whose error is too large. Throws NonFinitePass (before
// the counter moves) when the first stage shows a non-finite value. Exposed
// for tests; Execute is the way to run a case.
bool RunPass(TForm1& model, RunHost& host);

}  // namespace torvex
