#pragma once
// Values that a data file can hold and the load accepts as numbers, but that
// describe no physical case: an absolute temperature at or below zero, a
// negative content, a molar mass of zero. Such a case cannot give results
// anyone should trust (it divides by zero, diffuses up the gradient, or runs
// for ever), so it is refused before a run opens, with the reason.

#include "model/tform1.h"

namespace torvex {

// Refuses, for a loaded case:
//   D4   a concentration error that is not positive (no pass could pass);
//   D8   a temperature that is not above 0 K;
//   D9   a self-diffusion coefficient below 0, or a diffusivity matrix entry
//        on or above the diagonal below 0, where given as a plain number;
//   D9a  a correlation factor that is not positive;
//   D10  a molar mass that is not positive;
//   D11  a negative partial molar volume;
//   D20  a declared Kirkendall plane outside the sample;
//   D21  in flux modes 1 and 2, a minimal molar fraction below 0, or one that
//        no composition of the r components can keep for all of them (r
//        times it reaching 1); in mode 2, a plain-number oxide constant that
//        makes no scale: diffusivity or molar concentration not positive,
//        a negative pressure or flux multiplier;
//   D23  an initial content below 0 or above 100 %, or contents of one line
//        that sum above 100 % (the last component would be negative). A line
//        that sums to exactly 100 % as typed may leave the last component a
//        few units in the last place below zero; that is accepted.
// Throws InputError naming the data file (or the side file), the key, the
// value and what is accepted. Checks only what the model holds: a model built
// in memory without profile lines has no contents to check.
void checkInputValues(const TForm1& model);

}  // namespace torvex
