#pragma once
// What the charts show of one run, read from its results folder or taken
// from a running model's snapshot.
//
// From a results folder the reader prefers the run history (the history: the
// profile at every save; the series: one row per accepted pass) and falls
// back to the files every run writes (the profile files: the last profile;
// the Kirkendall and boundary records), so a folder of either kind gives
// every chart its data can support. The run report, when
// there is one, adds the temperature schedule the run followed and the times
// it started and ended.

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace torvex {

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

  // A coating-life run (series columns written only with its options): the
  // specific mass change after each accepted pass, mg/cm², with its two
  // parts, oxygen in the retained scale and metal lost with spalled scale.
  std::vector<double> massChangeTimeS;
  std::vector<double> massChange;
  std::vector<double> massChangeOxygen;
  std::vector<double> massChangeSpalled;
  // The content a critical condition watched (the series' watched_N<k>),
  // the condition as the report gives it ("N1<0.05"), and the life (s) when
  // it was reached.
  std::vector<double> watchedTimeS;
  std::vector<double> watchedContent;
  std::string watchedName;  // "N1"
  std::string lifeCondition;
  std::optional<double> lifeS;

  // The temperature schedule the run followed: T (K) at the times (s) of its
  // rows, in time order, a step being two rows at one time; empty when the
  // run had none.
  std::vector<double> scheduleTimeS;
  std::vector<double> scheduleTemperatureK;
  std::string scheduleFile;    // as the run named it
  std::string scheduleSha256;  // of its text; empty when unknown
  // Thermal cycles the run followed after the rows (or from its start when
  // there are none), as their description ("1000:3600@1373,600@300") and
  // the time the first began; empty when the run had none.
  std::string cyclesText;
  double cyclesStartS = 0.0;
  // The clock when the run ended; NaN while it runs or when unknown.
  double endTimeS = std::numeric_limits<double>::quiet_NaN();

  // Which files the data came from, for the user (their names, results_files.h).
  std::vector<std::string> filesRead;
  // What was wrong with a file that only some charts need; those charts are
  // left out, the others drawn. One sentence each, naming the file.
  std::vector<std::string> notes;

  [[nodiscard]] std::size_t pointCount() const { return positionCm.size(); }
};

// Reads the results folder. Throws InputError naming the file, the line and
// the offending text for a malformed file, or the folder when it holds
// neither a history nor an atomic profile file. A history whose last block is
// incomplete (a run killed while saving) is read without that block. A run
// report that
// cannot be read is not an error but a note (RunData::notes).
RunData ReadRunData(const std::string& folder);

// The end of a run as a study's summary reads it; a part whose file is
// missing, unreadable or without data stays empty.
struct FinalResults {
  // The last profile of the atomic profile file: per grid point its position
  // (cm) and the atomic percent of every component.
  std::vector<double> positionCm;
  std::vector<std::vector<double>> atomicPercent;  // [point][component]
  // The last line of the Kirkendall record: x_K (cm).
  std::optional<double> kirkendallPosition;
  // The lines of the boundary record. A line holds the time, four numbers
  // per component and the pressure ratio, and while a scale grows kp and its
  // thickness before that ratio: 4r + 2 or 4r + 4 numbers, told apart by
  // their count.
  struct BoundaryRow {
    double timeS = 0.0;
    std::vector<double> leftRatio;   // [r]
    std::vector<double> rightRatio;  // [r]
    std::optional<double> oxideThicknessCm;
  };
  std::vector<BoundaryRow> boundary;
};
FinalResults ReadFinalResults(const std::string& folder);

}  // namespace torvex
