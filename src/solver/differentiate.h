#pragma once
// Spatial derivatives on the (possibly unequally spaced) grid of the profile.

#include <vector>

#include "model/case.h"
#include "model/table.h"

namespace torvex {

// Slope at an interior grid point from the point and its two neighbours
// (x1 > x0 > xm1), by the case's difference scheme: central, forward or
// backward. Any other scheme has no formula and gives NaN; runs refuse such
// a scheme before they start.
double PointDerivative(DifferenceScheme scheme, double x1, double x0, double xm1, double f1, double f0, double fm1);

// Second-order one-sided slope at an end of the grid from three points
// a > b > c (by index) at any spacing: side 'L' gives the slope at x_c (the
// left end, point 0), any other side the slope at x_a (the right end). Exact
// for every quadratic.
double EndDerivative(char side, double xa, double xb, double xc, double fa, double fb, double fc);

// df := d f / dx for every row of the r x n table f on the grid x (cm), by
// the case's difference scheme: EndDerivative at both ends, PointDerivative
// in between.
void Differentiate(const Case& c, const std::vector<double>& x, const Table2<double>& f, Table2<double>& df);

}  // namespace torvex
