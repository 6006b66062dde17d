#pragma once
// A case and the run made of it, as one object a front end holds: the case
// as loaded, the state the integrator advances, the records the run keeps,
// its journal, and where its results go. The batch runner, a fit's runs,
// the tests and the desktop program each hold one per run they make (the
// desktop program one for its session, its records accumulating run after
// run).

#include <optional>
#include <string>
#include <vector>

#include "model/case.h"
#include "results/records.h"
#include "results/results_files.h"
#include "run/integrator.h"
#include "run/run_journal.h"
#include "solver/run_state.h"

namespace torvex {

class Simulation {
 public:
  Case input;
  RunState state;
  RunRecords records;
  RunJournal journal;
  // The folder the results files, the history and the report are written to;
  // none: nothing is written, and the run keeps its saves in memory
  // (journal.saves()).
  std::optional<std::string> resultsDirectory = std::string(kDefaultResultsFolder);
  // How the saves reach that folder: the records appended to, and how often
  // a save waits for the disk (writer.sync.setInterval).
  ResultsWriter writer;

  // Loads the case at path and prepares the state from it. After a failed
  // load the simulation holds no case and no arrays (r = n = 0), so a
  // half-read case can never be run or drawn; the error is passed on.
  void load(const std::string& path, const CaseLoadOptions& options = {});
  // Takes a case loaded elsewhere (from texts in memory, say) and prepares
  // the state from it.
  void load(Case loaded);
  // Puts the state back at the case's initial profile.
  void prepare() { state.prepare(input); }
  // Forgets the case and releases the state's arrays.
  void clear();
};

// The state a save describes, as the results files take it.
ProfileState profileStateOf(const RunState& s);

// Writes the results of the state held: the seven results files (the
// profiles replaced atomically, the records appended to; results_files.h)
// into the results folder, then the save's block of the history while a run
// is in hand (run_journal.h). The files are synced to disk when the
// simulation's sync schedule says so, and always at a final save (the end of
// a run, or a save the user asked for). Without a
// results folder only the journal keeps the save. Throws InputError naming
// the data file and the key when its lines end before a value the
// continuation file replaces (then no file is written), FileWriteError
// naming the file that cannot be written (the files before it in the order
// of results_files.h are written, the later ones are not). Temporary files
// that a process killed while saving left in the folder are removed first.
void WriteResults(Simulation& sim, bool final = false);

// WriteResults for a run that ends after a failed save: a file that cannot
// be written does not stop the later ones, so every file that can be written
// is, the history included. Returns the messages of the FileWriteErrors of
// the files that could not be written, in order and the history last (empty
// when all were); throws the InputError of the continuation walk as
// WriteResults does.
std::vector<std::string> WriteEveryResultsFile(Simulation& sim, bool final = true);

// Runs the simulation's case on its state (integrator.h).
inline RunSummary Execute(Simulation& sim, RunHost& host) {
  return Execute(sim.input, sim.state, host);
}

}  // namespace torvex
