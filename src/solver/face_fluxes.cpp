#include "solver/face_fluxes.h"

#include <algorithm>

#include "solver/boundary_fluxes.h"
#include "solver/cu_fe_ni.h"
#include "solver/evaluate_derivative.h"
#include "solver/fe_ni_cr.h"
#include "solver/mobilities.h"

namespace torvex {
namespace {

constexpr int kMax = Case::kMaxComponents;

// phi[q][l] = dmu_q/dN_l (J/mol) at one grid point, l < r-1.
struct PointPhi {
  double phi[kMax][kMax];
};

// The chemical-potential derivatives of the activity mode at grid point k.
void potentialDerivativesAt(const Case& c, RunState& s, const FeNiCrParameters& feNiCr, int k, PointPhi& out) {
  const int r = c.componentCount;
  switch (c.activityModel) {
    case ActivityModel::CuFeNi: {
      const CuFeNiPhi phi = cuFeNiPotentialDerivatives(s.molarRatio[0][k], s.molarRatio[1][k]);
      for (int q = 0; q < 3; ++q)
        for (int l = 0; l < 2; ++l) out.phi[q][l] = phi.phi[q][l];
      break;
    }
    case ActivityModel::FeNiCr: {
      const FeNiCrPhi phi = feNiCrPotentialDerivatives(feNiCr, s.temperature, s.molarRatio[0][k], s.molarRatio[1][k]);
      for (int q = 0; q < 3; ++q)
        for (int l = 0; l < 2; ++l) out.phi[q][l] = phi[q][l];
      break;
    }
    default: {
      Table2<double>& phi = s.activityDerivative;
      for (int q = 0; q < r; ++q)
        for (int l = 0; l < r - 1; ++l) {
          const CachedValue& cached = s.formulas.cached(FormulaKind::Activity, q, l);
          phi[q][l] = cached.valid ? cached.value
                                   : s.formula(FormulaKind::Activity, q, l,
                                               c.activityFormulas[static_cast<std::size_t>(q * r + l)], k);
          out.phi[q][l] = phi[q][l];
        }
    }
  }
}

// The built-in activity models are for three components only.
void checkActivityModel(const Case& c) {
  if (c.componentCount == 3) return;
  if (c.activityModel == ActivityModel::CuFeNi)
    refuseComponentCount(c, kCuFeNiComponentError, "key D12: the built-in Cu-Fe-Ni activities (D12 = 1)");
  if (c.activityModel == ActivityModel::FeNiCr)
    refuseComponentCount(c, kFeNiCrComponentError, "key D12: the built-in Fe-Ni-Cr activities (D12 = 2)");
}

// Everything one face needs, per component.
struct FaceState {
  double c[kMax];      // mean concentration (mol/cm^3)
  double B[kMax];      // mean mobility
  double force[kMax];  // driving force -dmu_j/dx (J/(mol cm))
  double v[kMax];      // diffusion velocity (cm/s)
};

// Diffusion velocities at face k+1/2 from the face state's c, B and force,
// then the velocity limit of the mean mobility.
void faceVelocities(const Case& c, const RunState& s, int k, double h, FaceState& f) {
  const int r = c.componentCount;
  const double T = s.temperature;
  if (c.constitutive == Constitutive::NernstPlanck) {
    if (c.activityModel == ActivityModel::Ideal) {
      // Fick: v_i = -(B_i / c_i) R T dc_i/dx.
      for (int i = 0; i < r; ++i)
        f.v[i] =
            -(f.B[i] / f.c[i]) * kSolverGasConstant * T * ((s.concentration[i][k + 1] - s.concentration[i][k]) / h);
    } else {
      // Nernst-Planck: v_i = -B_i dmu_i/dx.
      for (int i = 0; i < r; ++i) f.v[i] = f.B[i] * f.force[i];
    }
  } else {
    // Onsager with the face values, S = sum_l N_l B_l:
    // v_i = (B_i / S) ((S - N_i B_i) X_i - sum_{j != i} N_j B_j X_j).
    double NB[kMax];
    double S = 0.0;
    for (int l = 0; l < r; ++l) {
      NB[l] = 0.5 * (s.molarRatio[l][k] + s.molarRatio[l][k + 1]) * f.B[l];
      S += NB[l];
    }
    for (int i = 0; i < r; ++i) {
      double v = 0.0;
      for (int j = 0; j < r; ++j) {
        double L;  // L_ij / c_i
        if (i == j) {
          // The sum without term i directly: S - N_i B_i would cancel badly
          // where component i dominates.
          double others = 0.0;
          for (int l = 0; l < r; ++l)
            if (l != i) others += NB[l];
          L = others * f.B[i] / S;
        } else {
          L = -f.B[i] * NB[j] / S;
        }
        v += L * f.force[j];
      }
      f.v[i] = v;
    }
  }
  for (int i = 0; i < r; ++i) limitVelocity(f.v[i], velocityLimit(f.B[i], T));
}

// faceFlux and faceDarkenVelocity at every face k+1/2, k < n-1.
void computeFaceFluxes(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  const double T = s.temperature;
  const double* x = s.position.data();
  const bool ideal = c.activityModel == ActivityModel::Ideal;
  const FeNiCrParameters feNiCr = c.activityModel == ActivityModel::FeNiCr ? feNiCrParameters(T) : FeNiCrParameters{};
  // The derivatives of the left and right point of the face; the right one
  // serves as the left one of the next face.
  PointPhi phiBuffers[2];
  PointPhi* phiLeft = &phiBuffers[0];
  PointPhi* phiRight = &phiBuffers[1];
  int phiLeftPoint = -1;
  FaceState f;

  for (int k = 0; k + 1 < n; ++k) {
    if (!faceHasGradient(c, s, k)) {
      // A flat face carries nothing (and needs no coefficients).
      for (int i = 0; i < r; ++i) s.faceFlux[i][k] = 0.0;
      s.faceDarkenVelocity[static_cast<std::size_t>(k)] = 0.0;
      continue;
    }
    const double h = x[k + 1] - x[k];
    for (int i = 0; i < r; ++i) {
      f.c[i] = 0.5 * (s.concentration[i][k] + s.concentration[i][k + 1]);
      f.B[i] = 0.5 * (s.mobility[i][k] + s.mobility[i][k + 1]);
    }
    if (ideal) {
      // Ideal solution: dmu_j/dx = R T (dc_j/dx) / c_j.
      for (int j = 0; j < r; ++j)
        f.force[j] = -kSolverGasConstant * T * ((s.concentration[j][k + 1] - s.concentration[j][k]) / h) / f.c[j];
    } else {
      if (phiLeftPoint != k) potentialDerivativesAt(c, s, feNiCr, k, *phiLeft);
      potentialDerivativesAt(c, s, feNiCr, k + 1, *phiRight);
      for (int q = 0; q < r; ++q) {
        double gradient = 0.0;  // dmu_q/dx = sum_l phi_ql dN_l/dx
        for (int l = 0; l < r - 1; ++l)
          gradient +=
              0.5 * (phiLeft->phi[q][l] + phiRight->phi[q][l]) * ((s.molarRatio[l][k + 1] - s.molarRatio[l][k]) / h);
        f.force[q] = -gradient;
      }
      std::swap(phiLeft, phiRight);
      phiLeftPoint = k + 1;
    }
    faceVelocities(c, s, k, h, f);

    double vD = 0.0;
    if (c.darkenVelocityOn != 0) {
      double P = 0.0;  // sum_i c_i Omega_i v_i, the volume flux of the diffusion
      double Q = 0.0;  // sum_i c_i Omega_i, the volume fraction the components fill
      for (int i = 0; i < r; ++i) {
        const double cOmega = f.c[i] * 0.5 * (s.partialMolarVolume[i][k] + s.partialMolarVolume[i][k + 1]);
        P += cOmega * f.v[i];
        Q += cOmega;
      }
      vD = -P / Q;
    }
    s.faceDarkenVelocity[static_cast<std::size_t>(k)] = vD;
    for (int i = 0; i < r; ++i) s.faceFlux[i][k] = f.c[i] * (f.v[i] + vD);
  }
}

// The Darken velocity at the two walls: 0 where nothing crosses (a closed
// sample), otherwise that of the nearest face.
double wallDarkenVelocity(const Case& c, const RunState& s, int face) {
  if (c.boundaryFlux == BoundaryFlux::None) return 0.0;
  return s.faceDarkenVelocity[static_cast<std::size_t>(face)];
}

// darkenVelocity at the grid points, for the results files and the graphs:
// linear between the two faces around each point, the wall value at the
// ends.
void pointDarkenVelocities(const Case& c, RunState& s) {
  const int n = c.pointCount;
  const double* x = s.position.data();
  const double* face = s.faceDarkenVelocity.data();
  double* vD = s.darkenVelocity.data();
  vD[0] = wallDarkenVelocity(c, s, 0);
  vD[n - 1] = wallDarkenVelocity(c, s, n - 2);
  for (int k = 1; k < n - 1; ++k) {
    const double left = x[k] - x[k - 1];   // twice the distance to face k-1/2
    const double right = x[k + 1] - x[k];  // twice the distance to face k+1/2
    vD[k] = (face[k - 1] * right + face[k] * left) / (left + right);
  }
}

// The cell balances of a receding run, in amounts (see RunState::receding).
// The surface moves in at dL/dt = -Omega_1 J; every face k+1/2 of the
// uniformly contracting grid moves with it at u = (x_f - x_0) (dL/dt) / L,
// so what crosses a moving face is G = F - c_f u, c_f the face's mean
// concentration. The left end stands still; through the surface, which
// moves with the metal it consumes, only the scale's flux passes. Then
//   d(w_k c_ik)/dt = G_i,k-1/2 - G_i,k+1/2
// telescopes: an inventory changes by what crosses the ends alone. Since
// sum_i Omega_i F_i = 0 and sum_i Omega_i c_i = 1 at every face, each
// cell's volume sum_i Omega_i w_k c_ik changes as its width does, w_k L'/L,
// and the profile stays consistent with the molar volumes without being
// renormalised.
template <class LeftFlux, class RightFlux>
void recedingCellBalances(const Case& c, RunState& s, const LeftFlux& leftWallFlux, const RightFlux& rightWallFlux) {
  const int r = c.componentCount;
  const int last = c.pointCount - 1;
  const double* x = s.position.data();
  const double J = s.rightBoundaryFlux[0];
  s.sampleLengthRate = -c.partialMolarVolume[0] * J;
  const double strain = s.sampleLengthRate / s.stageSampleLength;  // 1/s, L'/L
  for (int i = 0; i < r; ++i) {
    const double* F = s.faceFlux[i];
    const double* ci = s.concentration[i];
    double* rate = s.concentrationRate[i];
    double inflow = leftWallFlux(i);  // G through the left face of cell k
    for (int k = 0; k < last; ++k) {
      const double faceSpeed = (0.5 * (x[k] + x[k + 1]) - x[0]) * strain;
      const double outflow = F[k] - 0.5 * (ci[k] + ci[k + 1]) * faceSpeed;
      rate[k] = inflow - outflow;
      inflow = outflow;
    }
    rate[last] = inflow - rightWallFlux(i);
  }
}

}  // namespace

void placeRecedingGrid(const Case& c, RunState& s, double length) {
  const double* start = s.startPosition.data();
  double* x = s.position.data();
  const double ratio = length / (start[c.pointCount - 1] - start[0]);
  for (int k = 0; k < c.pointCount; ++k) x[k] = start[0] + (start[k] - start[0]) * ratio;
}

bool faceHasGradient(const Case& c, const RunState& s, int k) {
  for (int i = 0; i < c.componentCount; ++i)
    if (s.concentration[i][k] != s.concentration[i][k + 1]) return true;
  return false;
}

double inventory(const Case& c, const RunState& s, int i) {
  double total = 0;
  for (int k = 0; k < c.pointCount; ++k) total += cellWidth(c, s, k) * s.concentration[i][k];
  return total;
}

double cellWidth(const Case& c, const RunState& s, int k) {
  const double* x = s.position.data();
  const int last = c.pointCount - 1;
  if (k == 0) return 0.5 * (x[1] - x[0]);
  if (k == last) return 0.5 * (x[last] - x[last - 1]);
  return 0.5 * (x[k + 1] - x[k - 1]);
}

void EvaluateDerivativeConservative(const Case& c, RunState& s) {
  const int r = c.componentCount;
  const int n = c.pointCount;
  const int last = n - 1;
  ComputeMobilities(c, s);
  if (c.activityModel != ActivityModel::Ideal) checkActivityModel(c);
  if (c.boundaryFlux == BoundaryFlux::Formulas) ComputeBoundaryFluxFormulas(c, s);
  ComputeMixtureVolume(c, s);

  computeFaceFluxes(c, s);
  if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation)
    ComputeBoundaryFluxOxidationHalfCell(c, s, s.faceFlux[0][n - 2]);

  // What enters through the left wall and leaves through the right one:
  // nothing in a closed sample, the formulas' fluxes, or the flux of
  // component 1 into the scale.
  const auto leftWallFlux = [&c, &s](int i) {
    return c.boundaryFlux == BoundaryFlux::Formulas ? s.leftBoundaryFlux[static_cast<std::size_t>(i)] : 0.0;
  };
  const auto rightWallFlux = [&c, &s](int i) {
    if (c.boundaryFlux == BoundaryFlux::Formulas) return s.rightBoundaryFlux[static_cast<std::size_t>(i)];
    if (c.boundaryFlux == BoundaryFlux::SelectiveOxidation && i == 0) return s.rightBoundaryFlux[0];
    return 0.0;
  };
  if (s.receding) {
    recedingCellBalances(c, s, leftWallFlux, rightWallFlux);
  } else {
    for (int i = 0; i < r; ++i) {
      const double* F = s.faceFlux[i];
      double* rate = s.concentrationRate[i];
      // The balance of each cell: dc/dt = -(F_out - F_in) / w.
      rate[0] = -(F[0] - leftWallFlux(i)) / cellWidth(c, s, 0);
      for (int k = 1; k < last; ++k) rate[k] = -(F[k] - F[k - 1]) / cellWidth(c, s, k);
      rate[last] = -(rightWallFlux(i) - F[last - 1]) / cellWidth(c, s, last);
    }
  }
  for (int i = 0; i < r; ++i) s.wallInflowRate[static_cast<std::size_t>(i)] = leftWallFlux(i) - rightWallFlux(i);

  if (c.darkenVelocityOn != 0) pointDarkenVelocities(c, s);
  s.kirkendallVelocity = latticeDriftAt(c, s, s.kirkendallStagePosition);
}

double latticeDriftAt(const Case& c, const RunState& s, double x) {
  const int n = c.pointCount;
  const double* p = s.position.data();
  x = std::clamp(x, p[0], p[n - 1]);
  // Grid points j and j+1 around x.
  const int j = std::clamp(static_cast<int>(std::upper_bound(p, p + n, x) - p) - 1, 0, n - 2);
  const double sigma =
      s.sigmaVelocity[static_cast<std::size_t>(j)] +
      (s.sigmaVelocity[static_cast<std::size_t>(j) + 1] - s.sigmaVelocity[static_cast<std::size_t>(j)]) *
          ((x - p[j]) / (p[j + 1] - p[j]));
  if (c.darkenVelocityOn == 0) return sigma;

  // The faces (or walls) a and b around x, at xa <= x <= xb.
  const double* face = s.faceDarkenVelocity.data();
  const double mid = 0.5 * (p[j] + p[j + 1]);
  double xa, xb, va, vb;
  if (x >= mid) {
    xa = mid;
    va = face[j];
    if (j + 1 == n - 1) {
      xb = p[n - 1];
      vb = wallDarkenVelocity(c, s, n - 2);
    } else {
      xb = 0.5 * (p[j + 1] + p[j + 2]);
      vb = face[j + 1];
    }
  } else {
    xb = mid;
    vb = face[j];
    if (j == 0) {
      xa = p[0];
      va = wallDarkenVelocity(c, s, 0);
    } else {
      xa = 0.5 * (p[j - 1] + p[j]);
      va = face[j - 1];
    }
  }
  return va + (vb - va) * ((x - xa) / (xb - xa)) + sigma;
}

}  // namespace torvex
