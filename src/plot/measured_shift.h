#pragma once
// Where a measured line scan lies on the simulated sample. A scan's origin is
// wherever the probe started; the simulation's is the left end of the
// sample. The interface of a couple is the one place both profiles know: the
// proposed shift puts the scan's crossing of the mid content where the
// simulated profile crosses it.

#include <cstddef>
#include <string>
#include <vector>

#include "model/measured_profile.h"
#include "results/run_data.h"

namespace torvex::plot {

struct ShiftProposal {
  double shiftCm = 0.0;  // to add to every measured position
  // True when both profiles cross the mid content; false when the proposal
  // only centres the scan on the sample (or is 0 with nothing to compare).
  bool fromCrossing = false;
  // One or two sentences for the user: what the proposal lines up, in µm.
  std::string explanation;
};

// Where y(x) crosses level, interpolated linearly between the samples: the
// median of the crossings, since a noisy scan crosses several times about one
// place. x need not be sorted (it is, here); NaN when y never reaches level.
double CrossingPosition(std::vector<double> x, std::vector<double> y, double level);

// The shift for measured (its positions as read, without a shift) against
// the run's save frame. The component is the measured one whose simulated
// content spans most; the level is halfway between its simulated extremes.
ShiftProposal ProposeMeasuredShift(const RunData& run, const MeasuredProfile& measured, std::size_t frame);

}  // namespace torvex::plot
