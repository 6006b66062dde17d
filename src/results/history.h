#pragma once
// What a run leaves beside the results files, besides its last profile:
//
//   history.csv  the profile at every save, one row per (time, grid point,
//                component): time_s,x_cm,component,at_pct,wt_pct
//   series.csv   one row per accepted pass: time_s,dt_s,kirkendall_cm, the
//                molar ratios N<i>_left,N<i>_right of every component at both
//                ends, and with selective oxidation oxide_thickness_cm,kp_cm2_s
//
// Both are replaced by their header and first rows at the first save of a
// run, and then grow by appends only: a save's block (and the series rows
// held back until then) is one write, so a killed run leaves whole blocks
// and rows, or at worst a torn last one, which readers drop. LF line ends,
// the general number format.

#include <optional>
#include <string>
#include <vector>

#include "model/table.h"
#include "model/text_list.h"
#include "results/records.h"

namespace torvex {

// The header line of history.csv.
std::string historyHeader();
// Appends the block of one save: for every grid point, for every component,
// "time,x,component,at_pct,wt_pct".
void appendHistoryBlock(std::string& block, double time, const std::vector<double>& position,
                        const Table2<double>& atomic, const Table2<double>& weight);

// The header line of series.csv for r components.
std::string seriesHeader(int componentCount, bool oxidation);
// Appends the row of one accepted pass: the clock and the step it
// integrated (s), the Kirkendall plane (cm), the molar ratio of every
// component at both ends (from the concentrations, mol/cm^3), and the scale
// (thickness, then kp) when given.
void appendSeriesRow(std::string& rows, double time, double step, double kirkendallPosition,
                     const Table2<double>& concentration, const std::optional<ScaleColumns>& scale);

// The molar ratio N_i = c_i / sum_j c_j at grid point k.
double molarRatioAt(const Table2<double>& concentration, int i, int k);

// A file of the results folder that a run grows: replaced by its header and
// first content at the run's first write, appended to afterwards. A
// continuation appends to the earlier run's file instead when it holds this
// header and times up to the continuation's start (continued_files.h), and
// keeps any other file under another name.
class GrowingFile {
 public:
  explicit GrowingFile(const char* name) : name_(name) {}
  // The run starts at `start` > 0 and goes on from an earlier one.
  void continueFrom(double start) { continueFrom_ = start; }
  // Flushed to disk when sync is Now. Throws FileWriteError naming the file.
  void add(const std::string& folder, const std::string& header, const std::string& content,
           FileSync sync = FileSync::Now);
  [[nodiscard]] bool started() const { return started_; }

 private:
  const char* name_;
  bool started_ = false;
  std::optional<double> continueFrom_;
};

// The profile at one save, kept in memory by a run that writes no files.
struct SavedProfile {
  double time = 0.0;      // s
  Table2<double> atomic;  // [r][n], at.%
  Table2<double> weight;  // [r][n], wt.%
};

}  // namespace torvex
