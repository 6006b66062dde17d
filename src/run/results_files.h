#pragma once
// The results files: seven text files in the folder "results" below the
// current working directory, each rewritten completely on every call and
// replaced atomically, so a reader never finds a half-written file.
//
//   at_out.dat               the input file, then the profile in atomic percent
//   wt_out.dat               the input file, then the initial and current
//                            profiles in weight percent
//   continue.dat             an input file that goes on from the current state
//   Kirk_plane.dat           the Kirkendall record
//   boundary_flux.dat        the boundary record
//   diffusivities.dat        B * 8 * T per component along the sample
//   fluxes_comparition.dat   the flux-comparison record

#include <string>
#include <vector>

#include "model/table.h"

namespace torvex {

class TForm1;

// The folder the results of the model's runs go to ("results" below the
// working directory), and the path of the results file `name` in it, as
// messages name it. Every file a run leaves goes through these.
std::string ResultsFolder(const TForm1& m);
std::string ResultsFilePath(const TForm1& m, const std::string& name);

// The profile the model holds now in atomic percent, 100 N_i with
// N_i = c_i / sum_j c_j, and in weight percent, 100 M_i c_i / sum_j M_j c_j;
// [r][n].
Table2<double> AtomicPercent(const TForm1& m);
Table2<double> WeightPercent(const TForm1& m);

// Writes the seven files from the model's current state. The atomic
// percentages of at_out.dat and continue.dat come from the molar ratios of
// the concentrations the model holds now (computed here; molarRatio is not
// changed), so every file describes the same profile. Builds
// atomicProfileLines, weightProfileLines, continuationLines and
// diffusivityProfileLines; only reads the three records. Throws InputError
// naming the file when a file cannot be written (the files before it in the
// order above are written, the later ones are not; each file is either its
// earlier version or the new one, whole), or naming the data file and the key
// when its lines end before a value the continuation file replaces (checked
// while the lists are built, so then no file is written). Temporary files
// that a process killed while saving left in "results" are removed first.
// While a run is in hand, the saved profile is then added to its history
// (run_journal.h), with the same FileWriteError when that cannot be written.
void WriteResults(TForm1& m);

// WriteResults for a run that ends after a failed save: a file that cannot
// be written does not stop the later ones, so every file that can be written
// is, the history included. Returns the messages of the FileWriteErrors of
// the files that could not be written, in the order above and the history
// last (empty when all were); throws the InputError
// of the continuation walk as WriteResults does.
std::vector<std::string> WriteEveryResultsFile(TForm1& m);

// The part of WriteResults that writes nothing: builds atomicProfileLines,
// weightProfileLines, continuationLines and diffusivityProfileLines from the
// model's state, with the same InputError for a data file whose lines end
// before a value the continuation file replaces.
void BuildResultsLists(TForm1& m);

}  // namespace torvex
