#pragma once
// The results files of a run, each named here once: the seven text files a
// run rewrites at every save, the history and series it appends to, and its
// report. Every writer and reader of a results file names it through these.
//
//   at_out.dat               the input file, then the profile in atomic percent
//   wt_out.dat               the input file, then the initial and current
//                            profiles in weight percent
//   continue.dat             an input file that goes on from the current state
//   Kirk_plane.dat           the Kirkendall record (records.h)
//   boundary_flux.dat        the boundary record (records.h)
//   diffusivities.dat        B * R * T per component along the sample
//   fluxes_comparition.dat   the flux-comparison record (records.h)
//   history.csv, series.csv  the profile at every save, a row per pass (history.h)
//   run.json                 the run report (run_report.h)
//
// The four profile files are rewritten completely at every save and replaced
// atomically, so a reader never finds a half-written one. The three records
// only grow during a run: a save appends their new lines (record_file.h).

#include <string>
#include <vector>

#include "model/case.h"
#include "model/table.h"
#include "model/text_list.h"
#include "results/record_file.h"
#include "results/records.h"

namespace torvex {

inline constexpr const char* kAtomicProfileFile = "at_out.dat";
inline constexpr const char* kWeightProfileFile = "wt_out.dat";
inline constexpr const char* kContinuationFile = "continue.dat";
inline constexpr const char* kKirkendallRecordFile = "Kirk_plane.dat";
inline constexpr const char* kBoundaryRecordFile = "boundary_flux.dat";
inline constexpr const char* kDiffusivitiesFile = "diffusivities.dat";
inline constexpr const char* kFluxComparisonFile = "fluxes_comparition.dat";
inline constexpr const char* kHistoryFile = "history.csv";
inline constexpr const char* kSeriesFile = "series.csv";
inline constexpr const char* kRunReportFile = "run.json";
// The folder the results go to unless a front end names another, below the
// working directory, and the folder below it that keeps the case as it ran.
inline constexpr const char* kDefaultResultsFolder = "results";
inline constexpr const char* kRenderedCaseFolder = "case";

// The path of the results file `name` in `folder`, as messages name it.
std::string resultsFilePath(const std::string& folder, const std::string& name);

// The state of a run at a save, as the profile files describe it.
struct ProfileState {
  double time;                                // s, the clock
  double largestTimeStep;                     // s, the first step of a continuation
  double kirkendallPosition;                  // cm
  double temperature;                         // K
  const std::vector<double>& position;        // [n], cm
  const Table2<double>& concentration;        // [r][n], mol/cm^3
  const Table2<double>& mobility;             // [r][n]
  const std::vector<double>& darkenVelocity;  // [n], cm/s
  const std::vector<double>& sigmaVelocity;   // [n], cm/s
  const std::vector<double>& pressure;        // [n]
};

// The four files made from the profile at a save.
struct ProfileFiles {
  TextList atomic;         // at_out.dat
  TextList weight;         // wt_out.dat
  TextList continuation;   // continue.dat
  TextList diffusivities;  // diffusivities.dat
};

// Builds the four files of the case at the state s. The atomic percentages
// of at_out.dat and continue.dat come from the concentrations of s. Throws
// InputError naming the data file and the key when its lines end before a
// value the continuation file replaces.
ProfileFiles buildProfileFiles(const Case& c, const ProfileState& s);

// Makes the folder if need be and removes the temporary files that a process
// killed while saving left beside the results files. Throws FileWriteError
// naming the folder when it cannot be made.
void prepareResultsFolder(const std::string& folder);

// How the saves of a run reach its results folder: the writers of the three
// records, which append what a record gained since the last save, and when a
// save waits for the disk. A run keeps one for all its saves.
struct ResultsWriter {
  RecordFile kirkendall;
  RecordFile boundary;
  RecordFile fluxComparison;
  SyncSchedule sync;
};

// Writes the seven files in the order of the table above: the profile files
// replaced atomically, the records brought up to date by `writer` (appended
// to), then releases from `records` the lines their files now hold
// (RecordFile::release; the opening lines and the last line stay). Flushed to disk when sync is Now (then the folder
// too). Throws FileWriteError naming the file that cannot be written: the files before it are written, the later ones
// are not; each profile file is either its earlier version or the new one, whole, and each record its earlier lines and
// at worst a part of the new ones.
void writeResultsFiles(const std::string& folder, const ProfileFiles& profiles, RunRecords& records,
                       ResultsWriter& writer, FileSync sync);
// The same with every file replaced whole and synced; records keep every line.
void writeResultsFiles(const std::string& folder, const ProfileFiles& profiles, const RunRecords& records);

// The same for a run that ends after a failed save: a file that cannot be
// written does not stop the later ones. Returns the messages of the files
// that could not be written, in order (empty when all were).
std::vector<std::string> writeEveryResultsFile(const std::string& folder, const ProfileFiles& profiles,
                                               RunRecords& records, ResultsWriter& writer, FileSync sync);
std::vector<std::string> writeEveryResultsFile(const std::string& folder, const ProfileFiles& profiles,
                                               const RunRecords& records);

}  // namespace torvex
