#include "solver/velocities.h"

#include "solver/evaluate_derivative.h"

namespace torvex {

void ComputeVelocitiesFick(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  const double T = m.temperature;
  for (int i = 0; i < r; ++i) {
    const double* B = m.mobility[i];
    const double* c = m.concentration[i];
    const double* dc = m.concentrationGradient[i];
    double* v = m.diffusionVelocity[i];
    for (int k = 1; k < n - 1; ++k) v[k] = ((-B[k] / c[k]) * kSolverGasConstant) * T * dc[k];
  }
}

void ComputeVelocitiesNernstPlanck(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  for (int i = 0; i < r; ++i) {
    const double* B = m.mobility[i];
    const double* dmu = m.chemicalPotentialGradient[i];
    double* v = m.diffusionVelocity[i];
    for (int k = 1; k < n - 1; ++k) v[k] = -B[k] * dmu[k];
  }
}

void ComputeOnsagerCoefficients(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  for (int k = 0; k < n; ++k) {
    double S = 0.0;  // sum_l N_l B_l
    for (int l = 0; l < r; ++l) S += m.molarRatio[l][k] * m.mobility[l][k];
    for (int i = 0; i < r; ++i) {
      const double ci = m.concentration[i][k];
      const double Bi = m.mobility[i][k];
      for (int j = 0; j < r; ++j) {
        double L;
        if (i == j) {
          // The sum without term i is formed directly: S - N_i B_i would
          // cancel badly where component i dominates.
          double others = 0.0;
          for (int l = 0; l < r; ++l)
            if (l != i) others += m.molarRatio[l][k] * m.mobility[l][k];
          L = others * ci * Bi / S;
        } else {
          L = -ci * Bi * m.molarRatio[j][k] * m.mobility[j][k] / S;
        }
        m.onsagerCoefficient[i][j][k] = L;
      }
    }
  }
}

void ComputeVelocitiesOnsagerIdeal(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  const double T = m.temperature;
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < r; ++i) {
      const double ci = m.concentration[i][k];
      double v = 0.0;
      for (int j = 0; j < r; ++j) {
        // Ideal solution: dmu_j/dx = R T dc_j/dx / c_j.
        const double force = (-kSolverGasConstant * T) / m.concentration[j][k] * m.concentrationGradient[j][k];
        v += (1.0 / ci) * m.onsagerCoefficient[i][j][k] * force;
      }
      m.diffusionVelocity[i][k] = v;
    }
}

void ComputeVelocitiesOnsager(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < r; ++i) {
      const double ci = m.concentration[i][k];
      double v = 0.0;
      for (int j = 0; j < r; ++j)
        v += (1.0 / ci) * m.onsagerCoefficient[i][j][k] * (-m.chemicalPotentialGradient[j][k]);
      m.diffusionVelocity[i][k] = v;
    }
}

void LimitVelocities(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < r; ++i)
      limitVelocity(m.diffusionVelocity[i][k], velocityLimit(m.mobility[i][k], m.temperature));
}

void ComputeDarkenVelocity(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  for (int k = 0; k < n; ++k) {
    double P = 0.0;  // sum_i c_i Omega_i v_i, the volume flux of the components
    double Q = 0.0;  // sum_i c_i Omega_i, the volume fraction they fill
    for (int i = 0; i < r; ++i) {
      const double cOmega = m.concentration[i][k] * m.partialMolarVolume[i][k];
      P += cOmega * m.diffusionVelocity[i][k];
      Q += cOmega;
    }
    m.darkenVelocity[static_cast<std::size_t>(k)] = -P / Q;
  }
}

void ComputeDarkenVelocityGradient(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  for (int k = 0; k < n; ++k) {
    double P = 0.0, Q = 0.0, dP = 0.0, dQ = 0.0;
    for (int i = 0; i < r; ++i) {
      const double c = m.concentration[i][k];
      const double dc = m.concentrationGradient[i][k];
      const double v = m.diffusionVelocity[i][k];
      const double dv = m.diffusionVelocityGradient[i][k];
      const double Omega = m.partialMolarVolume[i][k];
      const double dOmega = m.partialMolarVolumeGradient[i][k];
      P += c * Omega * v;
      Q += c * Omega;
      dP += dc * v * Omega + c * dv * Omega + c * v * dOmega;
      dQ += dc * Omega + c * dOmega;
    }
    m.darkenVelocityGradient[static_cast<std::size_t>(k)] = -(dP * Q - P * dQ) / (Q * Q);
  }
}

namespace {

// -s d(c_i v^D)/dx with s = 1 when the Darken velocity is on. When it is off
// the term is exactly 0, whatever the Darken arrays hold.
double darkenTerm(const TForm1& m, double c, double dc, int k) {
  if (m.darkenVelocityOn == 0) return -0.0;
  const auto point = static_cast<std::size_t>(k);
  return -(dc * m.darkenVelocity[point] + c * m.darkenVelocityGradient[point]);
}

}  // namespace

void ComputeRatesVolumeFixed(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  const double* ctot = m.totalConcentration.data();
  const double* dctot = m.totalConcentrationGradient.data();
  for (int i = 0; i < r; ++i) {
    const double* c = m.concentration[i];
    const double* dc = m.concentrationGradient[i];
    const double* v = m.diffusionVelocity[i];
    const double* dv = m.diffusionVelocityGradient[i];
    const double* Omega = m.partialMolarVolume[i];
    const double* dOmega = m.partialMolarVolumeGradient[i];
    double* rate = m.concentrationRate[i];
    for (int k = 0; k < n; ++k) {
      // d(c Omega_i c_i v_i)/dx, one factor differentiated at a time.
      const double volumeFlux = dc[k] * ctot[k] * Omega[k] * v[k] + c[k] * dctot[k] * Omega[k] * v[k] +
                                c[k] * ctot[k] * dOmega[k] * v[k] + c[k] * ctot[k] * Omega[k] * dv[k];
      rate[k] = darkenTerm(m, c[k], dc[k], k) - volumeFlux;
    }
  }
}

void ComputeRatesClassic(TForm1& m) {
  const int r = m.componentCount;
  const int n = m.pointCount;
  for (int i = 0; i < r; ++i) {
    const double* c = m.concentration[i];
    const double* dc = m.concentrationGradient[i];
    const double* v = m.diffusionVelocity[i];
    const double* dv = m.diffusionVelocityGradient[i];
    double* rate = m.concentrationRate[i];
    for (int k = 0; k < n; ++k) rate[k] = darkenTerm(m, c[k], dc[k], k) - (dc[k] * v[k] + c[k] * dv[k]);
  }
}

}  // namespace torvex
