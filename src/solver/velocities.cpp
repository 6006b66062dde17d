#include "solver/velocities.h"

#include "solver/evaluate_derivative.h"

namespace torvex {

void ComputeVelocitiesFick(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  const double T = s.temperature;
  for (int i = 0; i < r; ++i) {
    const double* B = s.mobility[i];
    const double* ci = s.concentration[i];
    const double* dc = s.concentrationGradient[i];
    double* v = s.diffusionVelocity[i];
    for (int k = 1; k < n - 1; ++k) v[k] = ((-B[k] / ci[k]) * kSolverGasConstant) * T * dc[k];
  }
}

void ComputeVelocitiesNernstPlanck(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  for (int i = 0; i < r; ++i) {
    const double* B = s.mobility[i];
    const double* dmu = s.chemicalPotentialGradient[i];
    double* v = s.diffusionVelocity[i];
    for (int k = 1; k < n - 1; ++k) v[k] = -B[k] * dmu[k];
  }
}

void ComputeOnsagerCoefficients(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  for (int k = 0; k < n; ++k) {
    double S = 0.0;  // sum_l N_l B_l
    for (int l = 0; l < r; ++l) S += s.molarRatio[l][k] * s.mobility[l][k];
    for (int i = 0; i < r; ++i) {
      const double ci = s.concentration[i][k];
      const double Bi = s.mobility[i][k];
      for (int j = 0; j < r; ++j) {
        double L;
        if (i == j) {
          // The sum without term i is formed directly: S - N_i B_i would
          // cancel badly where component i dominates.
          double others = 0.0;
          for (int l = 0; l < r; ++l)
            if (l != i) others += s.molarRatio[l][k] * s.mobility[l][k];
          L = others * ci * Bi / S;
        } else {
          L = -ci * Bi * s.molarRatio[j][k] * s.mobility[j][k] / S;
        }
        s.onsagerCoefficient[i][j][k] = L;
      }
    }
  }
}

void ComputeVelocitiesOnsagerIdeal(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  const double T = s.temperature;
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < r; ++i) {
      const double ci = s.concentration[i][k];
      double v = 0.0;
      for (int j = 0; j < r; ++j) {
        // Ideal solution: dmu_j/dx = R T dc_j/dx / c_j.
        const double force = (-kSolverGasConstant * T) / s.concentration[j][k] * s.concentrationGradient[j][k];
        v += (1.0 / ci) * s.onsagerCoefficient[i][j][k] * force;
      }
      s.diffusionVelocity[i][k] = v;
    }
}

void ComputeVelocitiesOnsager(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < r; ++i) {
      const double ci = s.concentration[i][k];
      double v = 0.0;
      for (int j = 0; j < r; ++j)
        v += (1.0 / ci) * s.onsagerCoefficient[i][j][k] * (-s.chemicalPotentialGradient[j][k]);
      s.diffusionVelocity[i][k] = v;
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

void LimitVelocities(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const double T = s.temperature;
  forNodeBlocks(c.pointCount, [&]<int L>(int k0) {
    for (int i = 0; i < r; ++i) {
      double* v = s.diffusionVelocity[i] + k0;
      const double* B = s.mobility[i] + k0;
      for (int lane = 0; lane < L; ++lane) limitVelocity(v[lane], velocityLimit(B[lane], T));
    }
  });
}

void ComputeDarkenVelocity(const Case& c, RunState& s) {
  const int r = c.componentCount;
  forNodeBlocks(c.pointCount, [&]<int L>(int k0) {
    double P[L] = {};  // sum_i c_i Omega_i v_i, the volume flux of the components
    double Q[L] = {};  // sum_i c_i Omega_i, the volume fraction they fill
    for (int i = 0; i < r; ++i) {
      const double* ci = s.concentration[i] + k0;
      const double* Omega = s.partialMolarVolume[i] + k0;
      const double* v = s.diffusionVelocity[i] + k0;
      for (int lane = 0; lane < L; ++lane) {
        const double cOmega = ci[lane] * Omega[lane];
        P[lane] += cOmega * v[lane];
        Q[lane] += cOmega;
      }
    }
    double* vD = s.darkenVelocity.data() + k0;
    for (int lane = 0; lane < L; ++lane) vD[lane] = -P[lane] / Q[lane];
  });
}

void ComputeDarkenVelocityGradient(const Case& c, RunState& s) {
  const int r = c.componentCount;
  forNodeBlocks(c.pointCount, [&]<int L>(int k0) {
    double P[L] = {}, Q[L] = {}, dP[L] = {}, dQ[L] = {};
    for (int i = 0; i < r; ++i) {
      const double* ci = s.concentration[i] + k0;
      const double* dc = s.concentrationGradient[i] + k0;
      const double* v = s.diffusionVelocity[i] + k0;
      const double* dv = s.diffusionVelocityGradient[i] + k0;
      const double* Omega = s.partialMolarVolume[i] + k0;
      const double* dOmega = s.partialMolarVolumeGradient[i] + k0;
      for (int lane = 0; lane < L; ++lane) {
        P[lane] += ci[lane] * Omega[lane] * v[lane];
        Q[lane] += ci[lane] * Omega[lane];
        dP[lane] +=
            dc[lane] * v[lane] * Omega[lane] + ci[lane] * dv[lane] * Omega[lane] + ci[lane] * v[lane] * dOmega[lane];
        dQ[lane] += dc[lane] * Omega[lane] + ci[lane] * dOmega[lane];
      }
    }
    double* dvD = s.darkenVelocityGradient.data() + k0;
    for (int lane = 0; lane < L; ++lane) dvD[lane] = -(dP[lane] * Q[lane] - P[lane] * dQ[lane]) / (Q[lane] * Q[lane]);
  });
}

namespace {

// -s d(c_i v^D)/dx with s = 1 when the Darken velocity is on. When it is off
// the term is exactly 0, whatever the Darken arrays hold.
double darkenTerm(const Case& c, const RunState& s, double ci, double dci, int k) {
  if (c.darkenVelocityOn == 0) return -0.0;
  const auto point = static_cast<std::size_t>(k);
  return -(dci * s.darkenVelocity[point] + ci * s.darkenVelocityGradient[point]);
}

}  // namespace

void ComputeRatesVolumeFixed(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  const double* ctot = s.totalConcentration.data();
  const double* dctot = s.totalConcentrationGradient.data();
  for (int i = 0; i < r; ++i) {
    const double* ci = s.concentration[i];
    const double* dc = s.concentrationGradient[i];
    const double* v = s.diffusionVelocity[i];
    const double* dv = s.diffusionVelocityGradient[i];
    const double* Omega = s.partialMolarVolume[i];
    const double* dOmega = s.partialMolarVolumeGradient[i];
    double* rate = s.concentrationRate[i];
    // d(c Omega_i c_i v_i)/dx, one factor differentiated at a time.
    const auto volumeFlux = [&](int k) {
      return dc[k] * ctot[k] * Omega[k] * v[k] + ci[k] * dctot[k] * Omega[k] * v[k] +
             ci[k] * ctot[k] * dOmega[k] * v[k] + ci[k] * ctot[k] * Omega[k] * dv[k];
    };
    if (c.darkenVelocityOn == 0) {
      for (int k = 0; k < n; ++k) rate[k] = -0.0 - volumeFlux(k);
    } else {
      for (int k = 0; k < n; ++k) rate[k] = darkenTerm(c, s, ci[k], dc[k], k) - volumeFlux(k);
    }
  }
}

void ComputeRatesClassic(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  for (int i = 0; i < r; ++i) {
    const double* ci = s.concentration[i];
    const double* dc = s.concentrationGradient[i];
    const double* v = s.diffusionVelocity[i];
    const double* dv = s.diffusionVelocityGradient[i];
    double* rate = s.concentrationRate[i];
    if (c.darkenVelocityOn == 0) {
      for (int k = 0; k < n; ++k) rate[k] = -0.0 - (dc[k] * v[k] + ci[k] * dv[k]);
    } else {
      for (int k = 0; k < n; ++k) rate[k] = darkenTerm(c, s, ci[k], dc[k], k) - (dc[k] * v[k] + ci[k] * dv[k]);
    }
  }
}

}  // namespace torvex
