#pragma once
// What a run leaves beside the results files, besides its last profile:
//
//   history.csv  the profile at every save, one row per (time, grid point,
//                component): time_s,x_cm,component,at_pct,wt_pct
//   series.csv   one row per accepted pass: time_s,dt_s,kirkendall_cm, the
//                molar ratios N<i>_left,N<i>_right of every component at both
//                ends, and with selective oxidation oxide_thickness_cm,kp_cm2_s
//   run.json     provenance, the schedule and output times when the run had
//                them, outcome and verification checks (run_report.h)
//
// Both CSV files are replaced by their header and first rows at the first
// save of a run, and then grow by appends only: a save's block (and the
// series rows held back until then) is one write, so a killed run leaves
// whole blocks and rows, or at worst a torn last one, which readers drop.
// The CSV files use LF line ends and the general number format. run.json is
// replaced atomically: written as "running" at the first save, and with its
// outcome and checks when the run ends.
//
// The journal of a run lives in the model (TForm1::runJournal). Its hooks
// are called by the core's hand-overs (refresh.h) and by WriteResults; they do
// nothing while no run is in hand, so a model that is only refreshed or saved
// by a test leaves no journal files.

#include <exception>
#include <string>

#include "results/run_report.h"

namespace torvex {

class TForm1;

// The schedule and the output times the model holds, as the report records
// them; empty when it holds neither.
HeatTreatmentRecord HeatTreatmentOf(const TForm1& m);

// Sets what the front end tells about the runs of the model from now on.
void SetRunProvenance(TForm1& m, RunProvenance provenance);

// Once before the first pass (after InitRecords): starts the journal of a
// run; the inventories and end compositions of the profile held are kept for
// the checks. Writes nothing: the run's files are started at its first save.
void BeginRunJournal(TForm1& m);

// After every accepted pass, with the clock, the step and the Kirkendall
// plane of that pass: a series row (held back until the next save) and what
// the checks need.
void JournalAcceptedPass(TForm1& m);

// At a save while a run is in hand: appends the profile's block to
// history.csv, with the atomic and weight percentages the results files hold
// (unless the last block has the same time), and the series rows held back.
// Throws FileWriteError naming the file that cannot be written.
void JournalSave(TForm1& m);

// The error that ended the run, for its outcome.
void JournalFailure(TForm1& m, const std::exception_ptr& failure);

// A run stopped at a pass that could not start from a finite profile or
// finite rates: the outcome is non-finite, and the bounds check names where
// the value appeared (message as describeNonFinite gives it).
void JournalNonFinite(TForm1& m, int component, int point, double time, const std::string& message);

// At the end of a run, after its final save: appends the series rows held
// back, computes the checks and replaces run.json. Ends the journal (further
// saves add nothing). Throws FileWriteError naming a file that cannot be
// written; the report is kept all the same.
void FinishRunJournal(TForm1& m);

// The report of the last run that finished, or nullptr.
const RunReport* LastRunReport(const TForm1& m);

}  // namespace torvex
