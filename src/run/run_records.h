#pragma once
// The three records a run keeps, one line per accepted pass: the trajectory
// of the Kirkendall plane, the compositions and fluxes at both ends of the
// sample, and (selective oxidation) the flux of component 1 arriving from the
// alloy beside the flux the oxide scale takes up. They are written to disk by
// WriteResults. Reals are written in the general number format.

namespace torvex {

class TForm1;

// Opens the records of a run, once before its first pass: appends the five
// header lines of the Kirkendall record (never emptied, so it accumulates
// every run of the model), replaces the boundary record by its two header
// lines, and appends the two header lines of the flux-comparison record
// (also accumulating). Under selective oxidation it first brings
// totalConcentration, molarRatio and mobility up to the concentrations held
// (the mobilities of the current diffusivity mode; FatalModelError from the
// built-in model when r is not 3), evaluates the five oxidation constants
// and sets the starting thickness of the oxide scale, oxideThickness (cm).
void InitRecords(TForm1& m);

// Moves the Kirkendall plane with the drift velocity (Darken plus sigma)
// interpolated linearly at its initial position: x_K = x_K0 + 2 v t. Stores
// it in kirkendallPosition and appends "t x_K" to the Kirkendall record.
// With the conservative scheme (D16 = 3) the integrator has already moved
// the plane with the drift at its current position, stage by stage; only the
// record line is appended.
void AdvanceKirkendallPlane(TForm1& m);

// Appends the boundary line (flux modes 1 and 2): t, then per component the
// molar ratio and flux at the left and at the right end, kp and the scale
// thickness when kp >= 0 (mode 2), and the pressure ratio P3 / N1^(4/3).
// N is molarRatio as the run loop leaves it.
void AppendBoundaryFluxLine(TForm1& m);

// Selective oxidation, after an accepted pass: updates the five constants and
// kp, and appends t, N1 at both ends, the alloy flux of component 1 at the
// surface and the flux taken up by the scale to the flux-comparison record.
void AppendFluxComparisonLine(TForm1& m);

}  // namespace torvex
