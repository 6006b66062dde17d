// Whole runs against closed-form theory that this program does not use:
// Darken's volume-fixed interdiffusion of a couple with equal
// self-diffusivities (an error-function profile of the volume fraction), and
// the steady surface content of an alloy under a growing parabolic scale.
// Both forms of the conservation equation are run; the volume-fixed form
// departs from the first where the molar volumes differ, by a measured
// amount that these tests pin, so that a change of either form shows.
//
// The suites are named Slow...: each run takes a second or two here and far
// longer under the sanitizers, whose stage leaves them out.

#include <cmath>
#include <iostream>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/number_format.h"
#include "run/refresh.h"
#include "support/case_file.h"
#include "support/load_fixture.h"
#include "support/sample_variant.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::CaseFile;

void runCompletely(Simulation& m) {
  ASSERT_EQ(test::runToEnd(m).end, RunEnd::Completed);
}

// ---- A couple with equal self-diffusivities -------------------------------

// With D1* = D2* = D* and ideal mixing, Darken's analysis in the volume-fixed
// frame gives dphi1/dt = d/dx(D~ dphi1/dx) for the volume fraction
// phi1 = c1 Omega1 with D~ = N2 D1* + N1 D2* = D*, whatever the molar volumes:
//   phi1(x, t) = phiR + (phiL - phiR) / 2 * erfc((x - x0) / s),  s = 2 sqrt(D* t).
// The rates take central differences twice, which couples every other grid
// point: the even and the odd points each follow the solution about their
// own centre (half a grid spacing either side of the contact plane), so the
// fit has two centres and one width.
struct ErfcFit {
  double evenCentre = 0, oddCentre = 0, width = 0;  // cm
  double worstResidual = 0;                         // largest |phi1 - fit|
};

ErfcFit fitErfc(const std::vector<double>& x, const std::vector<double>& phi, double phiL, double phiR, ErfcFit start) {
  const double half = (phiL - phiR) / 2;
  ErfcFit fit = start;
  const auto model = [&](std::size_t k, double& dCentre, double& dWidth) {
    const double centre = k % 2 == 0 ? fit.evenCentre : fit.oddCentre;
    const double u = (x[k] - centre) / fit.width;
    const double slope = -half * 2 / std::sqrt(std::numbers::pi) * std::exp(-u * u);  // d/du of the fit
    dCentre = slope * (-1 / fit.width);
    dWidth = slope * (-u / fit.width);
    return phiR + half * std::erfc(u);
  };
  // Gauss-Newton on (even centre, odd centre, width).
  for (int iteration = 0; iteration < 20; ++iteration) {
    double A[3][3] = {}, b[3] = {};
    for (std::size_t k = 0; k < x.size(); ++k) {
      double dCentre, dWidth;
      const double residual = phi[k] - model(k, dCentre, dWidth);
      const double g[3] = {k % 2 == 0 ? dCentre : 0, k % 2 == 0 ? 0 : dCentre, dWidth};
      for (int i = 0; i < 3; ++i) {
        b[i] += g[i] * residual;
        for (int j = 0; j < 3; ++j) A[i][j] += g[i] * g[j];
      }
    }
    // Gaussian elimination of the 3 x 3 normal equations (A is positive definite).
    for (int p = 0; p < 3; ++p)
      for (int i = p + 1; i < 3; ++i) {
        const double f = A[i][p] / A[p][p];
        for (int j = p; j < 3; ++j) A[i][j] -= f * A[p][j];
        b[i] -= f * b[p];
      }
    double step[3];
    for (int i = 2; i >= 0; --i) {
      double s = b[i];
      for (int j = i + 1; j < 3; ++j) s -= A[i][j] * step[j];
      step[i] = s / A[i][i];
    }
    fit.evenCentre += step[0];
    fit.oddCentre += step[1];
    fit.width += step[2];
  }
  for (std::size_t k = 0; k < x.size(); ++k) {
    double dCentre, dWidth;
    fit.worstResidual = std::fmax(fit.worstResidual, std::fabs(phi[k] - model(k, dCentre, dWidth)));
  }
  return fit;
}

struct CoupleCase {
  const char* name;
  double omega1, omega2;  // cm^3/mol
  int frame;              // D14
  // What the run must show: the fitted D over D* and the largest residual of
  // phi1, each within its tolerance.
  double diffusivityRatio, ratioTolerance;
  double residual, residualTolerance;
  int scheme = 0;  // D16
};

void PrintTo(const CoupleCase& c, std::ostream* os) {
  *os << c.name;
}

class SlowTheoryCouple : public test::LoadFixture, public ::testing::WithParamInterface<CoupleCase> {};

// The grid error: the twice-applied central difference has the truncation
// error D (2h)^2 / 12 phi'''' (spacing 2h between coupled points), and for an
// error-function solution the profile error it leaves after time t is
// exactly D t (2h)^2 / 12 phi'''' (it solves the error equation, since
// phi'''' solves the diffusion equation too). With max |phi''''| =
// |phiL - phiR| / 2 * 2 / sqrt(pi) * 3.904 / s^4 and s^2 = 4 D t this is
//   |phiL - phiR| * 3.904 / (12 sqrt(pi)) * (h / s)^2,
// 6.9e-5 for the 400-point couple with equal volumes (h = 5e-5 cm, s = 2.31e-3
// cm, |phiL - phiR| = 0.8): the classic form, and with equal molar volumes
// also the volume-fixed one, must fit within it. The fitted
// width absorbs part of it, so the residual is smaller (2.1e-5 .. 2.8e-5), and
// the fitted D is within 0.1 % of D*.
TEST_P(SlowTheoryCouple, VolumeFractionAgainstErfc) {
  const CoupleCase& c = GetParam();
  const double D = 3.7194252254980954e-10;  // cm^2/s
  const double t = 3600;                    // s
  test::writeLines("couple.dfv",
                   {"###Torvex_v2.3###", "# component 1", formatGeneral(D), "# component 2", formatGeneral(D), "#end"});
  CaseFile file;
  file.value("D1") = "0   3600";
  file.value("D2") = "400";
  file.value("D3") = "0.01";
  file.value("D4") = "1e-7";
  file.value("D5") = "30";
  file.value("D9") = "0 couple.dfv";
  file.value("D11") = formatGeneral(c.omega1) + " " + formatGeneral(c.omega2);
  file.value("D14") = formatInteger(c.frame);
  file.value("D16") = formatInteger(c.scheme);
  file.value("D15") = "1";
  file.value("D17") = "100000   100000";
  file.profile = {"0 90 0 0 0", "0.02 10 0 0 0"};
  loadCase(file);
  runCompletely(model_);
  ASSERT_EQ(model_.state.currentTime, t);

  const int n = model_.input.pointCount;
  const auto volumeFraction = [&](double N1) { return N1 * c.omega1 / (N1 * c.omega1 + (1 - N1) * c.omega2); };
  std::vector<double> phi(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    const double v1 = model_.state.concentration[0][k] * c.omega1, v2 = model_.state.concentration[1][k] * c.omega2;
    phi[static_cast<std::size_t>(k)] = v1 / (v1 + v2);
  }
  const double phiL = volumeFraction(0.9), phiR = volumeFraction(0.1);
  const ErfcFit start{model_.state.position[n / 2 - 1], model_.state.position[n / 2], 2 * std::sqrt(D * t), 0};
  const ErfcFit fit = fitErfc(model_.state.position, phi, phiL, phiR, start);

  const double h = model_.state.position[1] - model_.state.position[0];
  const double gridError =
      std::fabs(phiL - phiR) * 3.904 / (12 * std::sqrt(std::numbers::pi)) * std::pow(h / (2 * std::sqrt(D * t)), 2);
  if (c.frame == 1 || c.omega1 == c.omega2 || c.scheme == 3) {
    EXPECT_LT(fit.worstResidual, gridError) << "grid error bound";
  }
  const double ratio = fit.width * fit.width / (4 * D * t);
  std::cout << "fitted D / D* = " << formatGeneral(ratio) << ", largest residual of phi1 "
            << formatGeneral(fit.worstResidual) << " (grid error bound " << formatGeneral(gridError) << ")\n";
  EXPECT_NEAR(ratio, c.diffusivityRatio, c.ratioTolerance) << "fitted D / D*";
  EXPECT_NEAR(fit.worstResidual, c.residual, c.residualTolerance) << "largest residual of phi1";
}

// The classic form and the conservative scheme (D16 = 3) reproduce Darken's
// result for any molar volumes; the volume-fixed form only for equal ones:
// it scales each diffusive flux by Omega_i / Omega, and its profile departs
// by up to 1 % (the oxidation sample's volumes) or 3 % (a 1 : 3 ratio) of
// the volume fraction. Those departures are pinned within 5 %, far above
// the grid error (7e-5).
const CoupleCase kCouples[] = {
    {"EqualVolumesVolumeFixed", 10, 10, 0, 1.0, 1e-3, 2.1e-5, 1e-5},
    {"EqualVolumesClassic", 10, 10, 1, 1.0, 1e-3, 2.1e-5, 1e-5},
    {"SampleVolumesClassic", 6.587, 9.09, 1, 1.0, 1e-3, 2.3e-5, 1e-5},
    {"OneToThreeClassic", 5, 15, 1, 1.0, 1e-3, 2.8e-5, 1e-5},
    {"SampleVolumesVolumeFixed", 6.587, 9.09, 0, 1.0036, 3e-4, 9.5e-3, 4.7e-4},
    {"OneToThreeVolumeFixed", 5, 15, 0, 1.027, 2e-3, 3.0e-2, 1.5e-3},
    // The conservative scheme's face fluxes are Darken's whatever D14 says.
    {"SampleVolumesConservative", 6.587, 9.09, 0, 1.0, 1e-3, 8.3e-6, 5e-6, 3},
    {"OneToThreeConservative", 5, 15, 0, 1.0, 1e-3, 7.5e-6, 5e-6, 3},
};

INSTANTIATE_TEST_SUITE_P(Frames, SlowTheoryCouple, ::testing::ValuesIn(kCouples),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Selective oxidation under a parabolic scale --------------------------

// The scale grows parabolically, dxi/dt = kp / xi, so xi = sqrt(2 kp t) once
// it is much thicker than at the start, and it takes component 1 from the
// alloy surface at the rate J = c_ox kp / xi = c_ox sqrt(kp / (2 t)); kp
// depends on the surface content Ns through the oxygen pressure at the
// scale's inner face, kp = 3 D_ox (p''^(1/6) - (p' / Ns^2)^(1/6)) f.
// In the alloy (equal self-diffusivities D, so the interdiffusion
// coefficient is D) the depletion profile is an error function from the
// surface, which delivers a flux (N0 - Ns) / Omega * sqrt(D / (pi t)) in
// molar ratios, or (phi0 - phis) / Omega1 * sqrt(D / (pi t)) of component 1
// in volume fractions. Both sides fall as t^-1/2, so a constant Ns balances
// them, and which balance holds depends on what crosses the surface:
//  - the alloy surface held in place, nothing entering (the fixed-surface
//    value):        N0 - Ns = Omega c_ox sqrt(pi kp / (2 D)),  Omega the
//    alloy's molar volume at N0;
//  - the classic form with the Darken velocity: the lattice at the surface
//    moves in at the volume rate Omega1 J of the oxidised component 1 and
//    carries the surface alloy in with it, so the alloy keeps its volume and
//    loses component 1 at the net rate J (1 - phis):
//                   phi0 - phis = Omega1 c_ox (1 - phis) sqrt(pi kp / (2 D)).
// Each is solved with its kp(Ns) by bisection (the left side falls and the
// right side rises with Ns).
struct SurfaceBalance {
  const Simulation& m;
  double N0, omega1, omega2, D;

  double kp(double Ns) const {
    return 3 * m.state.oxide.diffusivity * m.state.oxide.fluxMultiplier *
           (std::pow(m.state.oxide.externalPressure, 1.0 / 6) -
            std::pow(m.state.oxide.innerPressure / (Ns * Ns), 1.0 / 6));
  }
  double phi(double N) const { return N * omega1 / (N * omega1 + (1 - N) * omega2); }
  double rate(double Ns) const {
    return m.state.oxide.molarConcentration * std::sqrt(std::numbers::pi * kp(Ns) / (2 * D));
  }

  template <class Imbalance>
  static double solve(double high, const Imbalance& imbalance) {
    double low = 1e-3;  // imbalance(low) > 0 > imbalance(high)
    for (int i = 0; i < 100; ++i) {
      const double middle = (low + high) / 2;
      (imbalance(middle) < 0 ? high : low) = middle;
    }
    return (low + high) / 2;
  }
  double fixedSurface() const {
    const double Omega = N0 * omega1 + (1 - N0) * omega2;
    return solve(N0, [&](double Ns) { return N0 - Ns - Omega * rate(Ns); });
  }
  double latticeInflow() const {
    return solve(N0, [&](double Ns) { return phi(N0) - phi(Ns) - omega1 * (1 - phi(Ns)) * rate(Ns); });
  }
};

class SlowTheoryOxidation : public test::LoadFixture {
 protected:
  // The oxidation sample for 1e5 s with `points` grid points over its 0.002
  // cm, in the given form, with a tight step tolerance (the sample's 1e-4
  // moves Ns by 2 %); returns N1 at the surface at the end. The diffusion
  // length 2 sqrt(D t) = 1.1e-3 cm: the far end loses a little (N1 = 0.196),
  // but what it reflects back to the surface is erfc(3.6) = 4e-7 of the
  // depletion, so the surface sees a semi-infinite alloy (measured: Ns the
  // same within 0.1 % with a 0.0025 cm sample at the same spacing).
  double surfaceContent(int points, int frame, int scheme = 0) {
    test::loadSampleVariant(model_, "oxidation.dat",
                            {{DataKey::D1, "0   100000"},
                             {DataKey::D2, formatInteger(points)},
                             {DataKey::D4, "1e-6"},
                             {DataKey::D14, formatInteger(frame)},
                             {DataKey::D16, formatInteger(scheme)}},
                            "semi_infinite.dat");
    EXPECT_EQ(keyValue(model_.input.frame), frame);
    runCompletely(model_);
    const int last = model_.input.pointCount - 1;
    const double Ns = model_.state.concentration[0][last] /
                      (model_.state.concentration[0][last] + model_.state.concentration[1][last]);
    std::cout << points << " points, D14 = " << frame << ", D16 = " << scheme << ": surface content "
              << formatGeneral(Ns) << "\n";
    return Ns;
  }
};

// The classic form converges to its balance, not to the fixed-surface value:
// its grid error is first order in h / sqrt(D t) (the lattice velocity jumps
// at the surface point) and large, -28 % at h = 1e-5 cm and -15 % at 5e-6 cm
// (and -8 % at 2.5e-6 cm, measured), so one grid proves nothing: at 5e-6 cm
// the error happens to cancel the 20 % between the two balances. The first-
// order extrapolation 2 Ns(h) - Ns(2h) from 200 and 400 points is within
// 1.1 % of the classic balance (0.0292; the three grids extrapolate to
// 0.0289 .. 0.0294), and 19 % above the fixed-surface value (0.0242).
TEST_F(SlowTheoryOxidation, ClassicFormAgainstItsSurfaceBalance) {
  const double coarse = surfaceContent(200, 1);
  const double fine = surfaceContent(400, 1);
  const double extrapolated = 2 * fine - coarse;
  const SurfaceBalance balance{model_, 0.2, 6.587, 9.09, 3.1e-12};
  const double fixedSurface = balance.fixedSurface();
  const double inflow = balance.latticeInflow();
  EXPECT_NEAR(fixedSurface, 0.02424, 5e-5);
  EXPECT_NEAR(inflow, 0.02921, 5e-5);
  std::cout << "extrapolated " << formatGeneral(extrapolated) << ", fixed-surface value " << formatGeneral(fixedSurface)
            << ", with the lattice inflow " << formatGeneral(inflow) << "\n";
  EXPECT_NEAR(extrapolated, inflow, 0.03 * inflow) << "the classic form's surface balance";
  EXPECT_GT(extrapolated, 1.12 * fixedSurface) << "the classic form lets the lattice in at the surface";
  EXPECT_LT(coarse, fine) << "the grid error is no longer of one sign";
}

// The conservative scheme (D16 = 3) carries the same volume-fixed fluxes as
// face fluxes, which keep the balance at the surface exact on any grid: at
// 200 points it is within 0.6 % of the classic balance (0.0294, 0.0293 at
// 400 and 800 points), the same physics reached without extrapolation.
TEST_F(SlowTheoryOxidation, ConservativeSchemeMeetsTheSurfaceBalance) {
  const double Ns = surfaceContent(200, 0, 3);
  const SurfaceBalance balance{model_, 0.2, 6.587, 9.09, 3.1e-12};
  EXPECT_NEAR(Ns, balance.latticeInflow(), 0.01 * balance.latticeInflow());
}

// The volume-fixed form ends more than twice as high: it scales the
// diffusive fluxes by Omega_i / Omega and carries the same lattice inflow.
// Its value at 200 points (0.0565; 0.0571 at 400, 0.0577 extrapolated) is
// pinned within 1 %, so that a change of the form shows.
TEST_F(SlowTheoryOxidation, VolumeFixedFormPinned) {
  EXPECT_NEAR(surfaceContent(200, 0), 0.05647, 0.01 * 0.05647);
}

}  // namespace
}  // namespace torvex
