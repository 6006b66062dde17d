#pragma once
// Models for solver tests, built in memory without a data file.

#include <functional>
#include <vector>

#include "run/simulation.h"

namespace torvex::test {

// n points spread evenly over [0, width].
std::vector<double> uniformGrid(int n, double width);

// Gives `model` a case of r components on the grid `positions` and a state
// prepared from it, every other array zero: 1273 K, correlation factor 1,
// molar masses 50 g/mol, partial molar volumes 7 cm^3/mol, every switch 0
// (formula diffusivities, ideal activities, Fick, volume-fixed frame, no
// Darken velocity, central differences, closed sample).
void buildModel(Simulation& model, int r, const std::vector<double>& positions);

// Sets the concentrations from molar ratios ratio(i, x): c_i = N_i / Omega
// with Omega = sum_i Omega_i N_i, then the total concentration and molar
// ratios as an evaluation would compute them.
void setProfile(Simulation& model, const std::function<double(int, double)>& ratio);

}  // namespace torvex::test
