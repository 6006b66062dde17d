#pragma once
// The three records a run keeps, one line per accepted pass, and their line
// formats: the trajectory of the Kirkendall plane, the compositions and
// fluxes at both ends of the sample, and (selective oxidation) the flux of
// component 1 arriving from the alloy beside the flux the oxide scale takes
// up. Reals are written in the general number format; the columns of the
// boundary and flux-comparison records are separated by three blanks.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/table.h"
#include "model/text_list.h"

namespace torvex {

// The lines of the three records, as their files hold them. A run owns them
// (the desktop program keeps them over every run of a session: the Kirkendall
// and flux-comparison records accumulate, each run adding its header). A run
// that writes them to a results folder holds, once a save has written them,
// only their opening lines and their last line: the file holds the rest.
struct RunRecords {
  TextList kirkendall;      // Kirk_plane.dat
  TextList boundary;        // boundary_flux.dat
  TextList fluxComparison;  // fluxes_comparition.dat
};

// The opening lines openRecords gives each record. A run writing to a
// results folder keeps only these and the last line of a record in memory
// once the file holds the rest (RecordFile::release).
inline constexpr std::size_t kKirkendallOpeningLines = 5;
inline constexpr std::size_t kBoundaryOpeningLines = 2;
inline constexpr std::size_t kFluxComparisonOpeningLines = 2;

// Opens the records of a run: appends the five header lines of the
// Kirkendall record, replaces the boundary record by its two header lines
// (the second naming the scale columns under selective oxidation), and
// appends the two header lines of the flux-comparison record. From now on
// the three keep their text (TextList::keepText), so saving them does not
// join their lines again.
void openRecords(RunRecords& records, bool oxidation);

// "t x_K": the clock (s) and the plane (cm).
std::string kirkendallRecordLine(double time, double position);

// One line of the boundary record: t, then per component the molar ratio and
// flux at the left end (grid point 0) and at the right end (the last point
// of molarRatio), then, while a scale grows, kp (cm^2/s) and the scale
// thickness (cm), then the pressure ratio p' / N1^(4/3).
struct ScaleColumns {
  double parabolicRateConstant = 0.0;
  double thickness = 0.0;
};
std::string boundaryRecordLine(double time, const Table2<double>& molarRatio, const std::vector<double>& leftFlux,
                               const std::vector<double>& rightFlux, const std::optional<ScaleColumns>& scale,
                               double pressureRatio);

// One line of the flux-comparison record: t, N1 at both ends, the flux of
// component 1 from the alloy into the surface and the flux the scale takes
// up (mol/(cm^2 s)).
std::string fluxComparisonLine(double time, double leftRatio, double surfaceRatio, double alloyFlux, double oxideFlux);

// The alloy and oxide fluxes of the last data line of the flux-comparison
// record, as written; NaN both when it has no data line.
std::pair<double, double> lastFluxComparison(const TextList& record);

}  // namespace torvex
