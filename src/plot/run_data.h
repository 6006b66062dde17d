#pragma once
// What the charts show of one run, read from its results folder or taken
// from a running model's snapshot. Plain C++: no toolkit, no model.
//
// From a results folder the reader prefers the run history (history.csv: the
// profile at every save; series.csv: one row per accepted pass) and falls
// back to the files every run writes (at_out.dat and wt_out.dat: the last
// profile; Kirk_plane.dat; boundary_flux.dat), so a folder of either kind
// gives every chart its data can support. The run report (run.json), when
// there is one, adds the temperature schedule the run followed and the times
// it started and ended.

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace torvex::plot {

// The profile at one time: percent of each component at each grid point,
// component-major ([component * n + point]).
struct ProfileFrame {
  double timeS = 0.0;
  std::vector<double> atPct;
  std::vector<double> wtPct;  // empty when the molar masses are unknown
};

struct RunData {
  std::string source;  // the folder, or "running case"
  int componentCount = 0;
  // The components' names, when the run gave them; empty (or an empty name)
  // for the numbers N1, N2, ...
  std::vector<std::string> componentNames;
  std::vector<double> positionCm;    // [n], the grid of every frame
  std::vector<double> molarMass;     // [r] g/mol, empty when unknown
  std::vector<ProfileFrame> frames;  // ascending time
  double startTimeS = 0.0;

  // The Kirkendall plane after each accepted pass.
  std::vector<double> kirkendallTimeS;
  std::vector<double> kirkendallCm;
  double initialKirkendallCm = std::numeric_limits<double>::quiet_NaN();

  // Selective oxidation of component 1 at the right end of the sample.
  bool oxidation = false;
  std::vector<double> surfaceTimeS;
  std::vector<double> surfaceRatio;  // molar ratio N1 at the surface
  std::vector<double> scaleTimeS;
  std::vector<double> scaleThicknessCm;  // X
  std::vector<double> scaleKp;           // cm^2/s, as the run computed it

  // The temperature schedule the run followed: T (K) at the times (s) of its
  // rows, in time order, a step being two rows at one time; empty when the
  // run had none.
  std::vector<double> scheduleTimeS;
  std::vector<double> scheduleTemperatureK;
  std::string scheduleFile;    // as the run named it
  std::string scheduleSha256;  // of its text; empty when unknown
  // The clock when the run ended; NaN while it runs or when unknown.
  double endTimeS = std::numeric_limits<double>::quiet_NaN();

  // Which files the data came from, for the user ("history.csv", ...).
  std::vector<std::string> filesRead;
  // What was wrong with a file that only some charts need; those charts are
  // left out, the others drawn. One sentence each, naming the file.
  std::vector<std::string> notes;

  [[nodiscard]] std::size_t pointCount() const { return positionCm.size(); }
};

// Reads the results folder. Throws InputError naming the file, the line and
// the offending text for a malformed file, or the folder when it holds
// neither a history nor at_out.dat. A history whose last block is incomplete
// (a run killed while saving) is read without that block. A run.json that
// cannot be read is not an error but a note (RunData::notes).
RunData ReadRunData(const std::string& folder);

// Weight percent from atomic percent with molar masses M (g/mol):
// w_i = 100 a_i M_i / sum_j a_j M_j, per grid point; frame is component-major
// with r components. Empty when M does not have r entries.
std::vector<double> WeightPercent(const std::vector<double>& atPct, const std::vector<double>& molarMass, int r);

}  // namespace torvex::plot
