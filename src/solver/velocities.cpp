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

namespace {

// The nodes-outer loops below take the nodes in blocks of kBlock, the lanes
// of a block side by side, so that the compiler can vectorise across them;
// each node still gets exactly its own operations in the specified order.
constexpr int kBlock = 4;

// Calls block.template operator()<L>(k) for blocks of L = kBlock nodes
// starting at k, then for the remaining nodes one at a time (L = 1).
template <class Block>
void forNodeBlocks(int n, const Block& block) {
  int k = 0;
  for (; k + kBlock <= n; k += kBlock) block.template operator()<kBlock>(k);
  for (; k < n; ++k) block.template operator()<1>(k);
}

}  // namespace

void LimitVelocities(TForm1& m) {
  const int r = m.componentCount;
  const double T = m.temperature;
  forNodeBlocks(m.pointCount, [&]<int L>(int k0) {
    for (int i = 0; i < r; ++i) {
      double* v = m.diffusionVelocity[i] + k0;
      const double* B = m.mobility[i] + k0;
      for (int lane = 0; lane < L; ++lane) limitVelocity(v[lane], velocityLimit(B[lane], T));
    }
  });
}

void ComputeDarkenVelocity(TForm1& m) {
  const int r = m.componentCount;
  forNodeBlocks(m.pointCount, [&]<int L>(int k0) {
    double P[L] = {};  // sum_i c_i Omega_i v_i, the volume flux of the components
    double Q[L] = {};  // sum_i c_i Omega_i, the volume fraction they fill
    for (int i = 0; i < r; ++i) {
      const double* c = m.concentration[i] + k0;
      const double* Omega = m.partialMolarVolume[i] + k0;
      const double* v = m.diffusionVelocity[i] + k0;
      for (int lane = 0; lane < L; ++lane) {
        const double cOmega = c[lane] * Omega[lane];
        P[lane] += cOmega * v[lane];
        Q[lane] += cOmega;
      }
    }
    double* vD = m.darkenVelocity.data() + k0;
    for (int lane = 0; lane < L; ++lane) vD[lane] = -P[lane] / Q[lane];
  });
}

void ComputeDarkenVelocityGradient(TForm1& m) {
  const int r = m.componentCount;
  forNodeBlocks(m.pointCount, [&]<int L>(int k0) {
    double P[L] = {}, Q[L] = {}, dP[L] = {}, dQ[L] = {};
    for (int i = 0; i < r; ++i) {
      const double* c = m.concentration[i] + k0;
      const double* dc = m.concentrationGradient[i] + k0;
      const double* v = m.diffusionVelocity[i] + k0;
      const double* dv = m.diffusionVelocityGradient[i] + k0;
      const double* Omega = m.partialMolarVolume[i] + k0;
      const double* dOmega = m.partialMolarVolumeGradient[i] + k0;
      for (int lane = 0; lane < L; ++lane) {
        P[lane] += c[lane] * Omega[lane] * v[lane];
        Q[lane] += c[lane] * Omega[lane];
        dP[lane] +=
            dc[lane] * v[lane] * Omega[lane] + c[lane] * dv[lane] * Omega[lane] + c[lane] * v[lane] * dOmega[lane];
        dQ[lane] += dc[lane] * Omega[lane] + c[lane] * dOmega[lane];
      }
    }
    double* dvD = m.darkenVelocityGradient.data() + k0;
    for (int lane = 0; lane < L; ++lane) dvD[lane] = -(dP[lane] * Q[lane] - P[lane] * dQ[lane]) / (Q[lane] * Q[lane]);
  });
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
    // d(c Omega_i c_i v_i)/dx, one factor differentiated at a time.
    const auto volumeFlux = [&](int k) {
      return dc[k] * ctot[k] * Omega[k] * v[k] + c[k] * dctot[k] * Omega[k] * v[k] + c[k] * ctot[k] * dOmega[k] * v[k] +
             c[k] * ctot[k] * Omega[k] * dv[k];
    };
    if (m.darkenVelocityOn == 0) {
      for (int k = 0; k < n; ++k) rate[k] = -0.0 - volumeFlux(k);
    } else {
      for (int k = 0; k < n; ++k) rate[k] = darkenTerm(m, c[k], dc[k], k) - volumeFlux(k);
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
    if (m.darkenVelocityOn == 0) {
      for (int k = 0; k < n; ++k) rate[k] = -0.0 - (dc[k] * v[k] + c[k] * dv[k]);
    } else {
      for (int k = 0; k < n; ++k) rate[k] = darkenTerm(m, c[k], dc[k], k) - (dc[k] * v[k] + c[k] * dv[k]);
    }
  }
}

}  // namespace torvex
