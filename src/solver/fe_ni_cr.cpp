#include "solver/fe_ni_cr.h"

#include <cmath>

namespace torvex {

FeNiCrParameters feNiCrParameters(double T) {
  using std::pow;
  FeNiCrParameters P{};
  P.Pd = 7416 - 6.285 * T;
  P.Pe = 2095 - 0.0038369 * pow(T, 2) + 1.63532e-6 * pow(T, 3);
  P.Pg = 0.024439 * pow(T, 2) - 34861 - 1.04159e-5 * pow(T, 3);
  P.Pl = 0.00469364 * pow(T, 2) - 8380 - 7.81393e-6 * pow(T, 3);
  P.Po = 0.00949077 * pow(T, 2) - 25140 - 2.61079e-6 * pow(T, 3);
  return P;
}

FeNiCrPhi feNiCrPotentialDerivatives(const FeNiCrParameters& P, double T, double x, double y) {
  using std::pow;
  const double RT = kFeNiCrGasConstant * T;
  const auto [Pd, Pe, Pg, Pl, Po] = P;
  // A, B and E are the second derivatives of the molar Gibbs energy that
  // the chain rule over N_Fe and N_Ni combines into the phi table.
  const double A = RT * (y - 1) / (x * (x + y - 1)) + 2 * (Pg - Pe) * pow(y, 3) / pow(x + y, 3) +
                   ((4 - 6 * x - 4 * y) * Pl + 2 * Po * y) / (y - 1);
  const double B = (Pl * (3 * pow(x, 2) - pow(y - 1, 2)) + Po * (pow(y - 1, 2) - 2 * x)) / pow(y - 1, 2) -
                   RT / (x + y - 1) + (Pe * pow(y, 2) * (3 * x + y) + Pg * pow(x, 2) * (x + 3 * y)) / pow(x + y, 3) -
                   (3 * Pd * pow(y, 2) + Pd * (1 - 2 * x + pow(x, 2) - 3 * pow(y, 2))) / pow(x - 1, 2);
  const double E = 2 * pow(x, 2) * (Po - Pl * x) / pow(y - 1, 3) + RT * (x - 1) / (y * (x + y - 1)) +
                   2 * (Pe - Pg) * pow(x, 3) / pow(x + y, 3) +
                   (Pd * (4 - 4 * x - 6 * y) + 2 * Pd * (x + 3 * y - 1)) / (x - 1);
  FeNiCrPhi phi{};
  phi[0] = {(1 - x) * A - y * B, -y * E + (1 - x) * B};
  phi[1] = {-x * A + (1 - y) * B, (1 - y) * E - x * B};
  phi[2] = {-x * A - y * B, -y * E - x * B};
  return phi;
}

}  // namespace torvex
