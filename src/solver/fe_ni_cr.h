#pragma once
// The built-in Fe-Ni-Cr alloy: a subregular solution model of the chemical
// potentials, components in the order Fe, Ni, Cr.

#include <array>

namespace torvex {

inline constexpr const char* kFeNiCrComponentError = "ERROR 1. Check input files. (3 components Fe-Ni-Cr)";

// The model's own gas constant, J/(mol K) (the solver elsewhere uses 8).
constexpr double kFeNiCrGasConstant = 8.314;

// The five interaction parameters (J/mol) at temperature T (K).
struct FeNiCrParameters {
  double Pd, Pe, Pg, Pl, Po;
};
FeNiCrParameters feNiCrParameters(double T);

// phi[q][l] = d mu_q / d N_l (J/mol) for q = Fe, Ni, Cr and l = 0 (N_Fe),
// 1 (N_Ni), at x = N_Fe, y = N_Ni; the derivative by N_Cr is 0.
using FeNiCrPhi = std::array<std::array<double, 2>, 3>;
FeNiCrPhi feNiCrPotentialDerivatives(const FeNiCrParameters& P, double T, double x, double y);

}  // namespace torvex
