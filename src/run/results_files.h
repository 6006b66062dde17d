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

namespace torvex {

class TForm1;

// Writes the seven files from the model's current state. The atomic
// percentages of at_out.dat and continue.dat come from the molar ratios of
// the concentrations the model holds now (computed here; molarRatio is not
// changed), so every file describes the same profile. Builds
// atomicProfileLines, weightProfileLines, continuationLines and
// diffusivityProfileLines; only reads the three records. Throws InputError
// naming the file when a file cannot be written (the files before it in the
// order above are written, the later ones are not), or naming the data file
// and the key when its lines end before a value the continuation file
// replaces (checked while the lists are built, so then no file is written).
void WriteResults(TForm1& m);

}  // namespace torvex
