// Whole runs of the conservative scheme (D16 = 3) against answers that do
// not depend on the implementation: the amount of every component in a
// closed sample, the error-function solution of a couple with equal
// diffusivities and its second-order convergence, and the moving-marker
// similarity solution of a couple with unequal ones.
//
// The suite is named Slow...: these are long runs that check numbers, and
// the sanitizer stage leaves them out.

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/number_format.h"
#include "run/refresh.h"
#include "solver/face_fluxes.h"
#include "support/case_file.h"
#include "support/load_fixture.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::CaseFile;

class SlowConservativeRun : public test::LoadFixture {
 protected:
  static void run(Simulation& m) { ASSERT_EQ(test::runToEnd(m).end, RunEnd::Completed); }

  static std::vector<double> inventories(const Simulation& m) {
    std::vector<double> amounts;
    for (int i = 0; i < m.input.componentCount; ++i) amounts.push_back(inventory(m.input, m.state, i));
    return amounts;
  }

  // A closed binary couple, D1 and D2 constant (cm^2/s), molar volumes
  // `volumes`, contents of component 1 `left` and `right` (at.%), `width` cm,
  // n points, 0 to `end` s.
  static CaseFile couple(double D1, double D2, const std::string& volumes, const std::string& left,
                         const std::string& right, const std::string& width, int n, const std::string& end) {
    test::writeLines("couple.dfv", {"###Torvex_v2.3###", "# component 1", formatGeneral(D1), "# component 2",
                                    formatGeneral(D2), "#end"});
    CaseFile file;
    file.value("D1") = "0   " + end;
    file.value("D2") = formatInteger(n);
    file.value("D3") = "0.01";
    file.value("D4") = "1e-9";
    file.value("D5") = "30";
    file.value("D9") = "0 couple.dfv";
    file.value("D11") = volumes;
    file.value("D16") = "3";
    file.value("D17") = "100000   100000";
    file.profile = {"0 " + left + " 0 0 0", width + " " + right + " 0 0 0"};
    return file;
  }

  // The face where the two alloys meet at the start (cm).
  static double initialInterface(const Simulation& m) {
    const auto half = static_cast<std::size_t>(m.input.pointCount / 2);
    return 0.5 * (m.state.position[half - 1] + m.state.position[half]);
  }
};

// The equal-diffusivity couple of the closed-form checks: 45 / 55 at.%,
// 0.02 cm, D* for both components.
constexpr double kEqualD = 3.7194252254980954e-10;  // cm^2/s

// Largest distance of phi1 = c1 Omega1 from the error-function solution at
// 3600 s. With equal self-diffusivities the Darken flux of component 1 in the
// volume-fixed frame is -D* dc1/dx whatever the molar volumes (sum c Omega
// stays 1), so c1, and with it the volume fraction phi1, solves the diffusion
// equation with D*: phi1 = phiL + (phiR - phiL) / 2 erfc(-(x - x0) / (2 sqrt(D* t))),
// x0 the face where the alloys meet.
double erfcResidual(Simulation& m) {
  const double t = m.state.currentTime;
  const double x0 = 0.5 * (m.state.position[static_cast<std::size_t>(m.input.pointCount / 2 - 1)] +
                           m.state.position[static_cast<std::size_t>(m.input.pointCount / 2)]);
  const auto volumeFraction = [&m](double N1) {
    const double O1 = m.state.partialMolarVolume[0][0];
    const double O2 = m.state.partialMolarVolume[1][0];
    return N1 * O1 / (N1 * O1 + (1 - N1) * O2);
  };
  const double left = volumeFraction(0.45);
  const double right = volumeFraction(0.55);
  double worst = 0;
  for (int k = 0; k < m.input.pointCount; ++k) {
    const double expected =
        left + (right - left) / 2 *
                   std::erfc(-(m.state.position[static_cast<std::size_t>(k)] - x0) / (2 * std::sqrt(kEqualD * t)));
    worst = std::fmax(worst, std::fabs(m.state.concentration[0][k] * m.state.partialMolarVolume[0][k] - expected));
  }
  return worst;
}

TEST_F(SlowConservativeRun, ClosedSamplesKeepEveryComponent) {
  struct Case {
    const char* name;
    CaseFile file;
    std::string dataFile;  // a sample file instead of `file` when not empty
    const char* endTime;
  };
  const Case cases[] = {
      {"equal molar volumes", couple(kEqualD, kEqualD, "7 7", "45", "55", "0.02", 400, "3600"), "", nullptr},
      {"molar volumes 6.587 / 9.09", couple(kEqualD, kEqualD, "6.587 9.09", "45", "55", "0.02", 400, "3600"), "",
       nullptr},
      {"molar volumes 5 / 15", couple(kEqualD, kEqualD, "5 15", "45", "55", "0.02", 400, "3600"), "", nullptr},
      {"Darken couple", couple(1e-9, 2e-10, "7 7", "80", "20", "0.2", 400, "36000"), "", nullptr},
      {"Cu-Fe-Ni sample", {}, "interdiffusion.dat", "0   2000"},
  };
  for (const Case& c : cases)
    for (const Integrator integrator : {Integrator::RungeKutta, Integrator::Bdf}) {
      SCOPED_TRACE(c.name);
      SCOPED_TRACE(integratorName(integrator));
      Simulation m;
      if (c.dataFile.empty()) {
        c.file.write("case.dat");
        m.load("case.dat");
      } else {
        test::loadSampleVariant(m, c.dataFile, {{DataKey::D1, c.endTime}, {DataKey::D16, "3"}}, "sample.dat");
      }
      m.input.integrator = integrator;
      ASSERT_EQ(m.input.differenceScheme, DifferenceScheme::Conservative);
      ASSERT_EQ(m.input.boundaryFlux, BoundaryFlux::None);
      const std::vector<double> before = inventories(m);
      run(m);
      const std::vector<double> after = inventories(m);
      for (int i = 0; i < m.input.componentCount; ++i) {
        const auto component = static_cast<std::size_t>(i);
        EXPECT_LE(std::fabs(after[component] - before[component]), 1e-12 * before[component]) << "component " << i + 1;
        EXPECT_EQ(m.state.wallInflow[component], 0.0) << "nothing crosses a closed end";
      }
    }
}

TEST_F(SlowConservativeRun, EqualDiffusivitiesFollowTheErrorFunctionInTheVolumeFraction) {
  for (const char* volumes : {"6.587 9.09", "5 15"}) {
    SCOPED_TRACE(volumes);
    Simulation m;
    couple(kEqualD, kEqualD, volumes, "45", "55", "0.02", 400, "3600").write("case.dat");
    m.load("case.dat");
    run(m);
    ASSERT_EQ(m.state.currentTime, 3600);
    EXPECT_LE(erfcResidual(m), 5e-5);
    // With equal diffusivities the lattice does not move.
    EXPECT_NEAR(m.state.kirkendallPosition, m.input.initialKirkendallPosition, 1e-12);
  }
}

// The residual falls by 4 with every halving of the spacing.
TEST_F(SlowConservativeRun, ErrorFunctionResidualConvergesAtSecondOrder) {
  std::vector<double> residuals;
  for (int n : {100, 200, 400, 800}) {
    Simulation m;
    couple(kEqualD, kEqualD, "6.587 9.09", "45", "55", "0.02", n, "3600").write("case.dat");
    m.load("case.dat");
    run(m);
    residuals.push_back(erfcResidual(m));
  }
  for (std::size_t k = 1; k < residuals.size(); ++k) {
    const double order = std::log2(residuals[k - 1] / residuals[k]);
    EXPECT_GT(order, 1.8) << "from " << residuals[k - 1] << " to " << residuals[k];
    EXPECT_LT(order, 2.2) << "from " << residuals[k - 1] << " to " << residuals[k];
  }
}

// The similarity solution of a closed Darken couple, derived here.
//
// With Fick's intrinsic fluxes J_i = -D_i dc_i/dx and constant molar
// volumes, sum_i Omega_i c_i = 1, and the Darken velocity is
//   v^D = Omega1 D1 dc1/dx + Omega2 D2 dc2/dx = (D1 - D2) dphi/dx
// with phi = Omega1 c1 the volume fraction of component 1. The volume-fixed
// flux c1 (v1 + v^D) = -((1 - phi) D1 + phi D2) dc1/dx, so phi obeys
//   dphi/dt = d/dx (D(phi) dphi/dx),   D(phi) = (1 - phi) D1 + phi D2,
// and from a step at x0 it is a function of eta = (x - x0) / sqrt(t) alone:
//   (D(phi) phi')' + (eta / 2) phi' = 0,   phi(-inf) = phiL, phi(+inf) = phiR.
// A marker that starts at the step stays at a fixed eta_K: its drift
// dx_K/dt = eta_K / (2 sqrt t) equals v^D = (D1 - D2) phi'(eta_K) / sqrt t, so
//   eta_K = 2 (D1 - D2) phi'(eta_K),
// and x_K - x0 = eta_K sqrt(t).
class DarkenSimilarity {
 public:
  DarkenSimilarity(double D1, double D2, double left, double right) : D1_(D1), D2_(D2), left_(left), right_(right) {
    // Shoot from eta = 0 with phi(0) and the flux q(0) = D phi'(0); Newton
    // on the two far values. The decaying mode is integrated outward, which
    // is stable.
    const double Dmean = 0.5 * (D1 + D2);
    double p0 = 0.5 * (left + right);
    double q0 = Dmean * (right - left) / std::sqrt(4 * std::acos(-1.0) * Dmean);
    for (int iteration = 0; iteration < 30; ++iteration) {
      const auto residual = [&](double p, double q) {
        return std::array<double, 2>{farValue(p, q, +1) - right, farValue(p, q, -1) - left};
      };
      const auto f = residual(p0, q0);
      const double dp = 1e-7, dq = 1e-7 * std::fabs(q0);
      const auto fp = residual(p0 + dp, q0);
      const auto fq = residual(p0, q0 + dq);
      const double a = (fp[0] - f[0]) / dp, b = (fq[0] - f[0]) / dq;
      const double c = (fp[1] - f[1]) / dp, d = (fq[1] - f[1]) / dq;
      const double det = a * d - b * c;
      p0 -= (d * f[0] - b * f[1]) / det;
      q0 -= (a * f[1] - c * f[0]) / det;
      if (std::fabs(f[0]) + std::fabs(f[1]) < 1e-14) break;
    }
    phi0_ = p0;
    q0_ = q0;
    // eta_K by bisection between 0 and the side the lattice moves to.
    const auto g = [&](double eta) { return eta - 2 * (D1_ - D2_) * slopeAt(eta); };
    double a = 0, b = 2 * (D1_ - D2_) * slopeAt(0) * 3;
    for (int k = 0; k < 200; ++k) {
      const double mid = 0.5 * (a + b);
      if ((g(mid) > 0) == (g(a) > 0))
        a = mid;
      else
        b = mid;
    }
    markerSlope_ = 0.5 * (a + b);
  }

  // eta_K (cm/s^0.5).
  [[nodiscard]] double markerSlope() const { return markerSlope_; }

 private:
  static constexpr int kSteps = 40000;
  [[nodiscard]] double diffusivity(double phi) const { return (1 - phi) * D1_ + phi * D2_; }
  [[nodiscard]] double reach() const { return 12 * std::sqrt(std::fmax(D1_, D2_)); }

  // RK4 on (phi, q) from 0 to eta (any sign); returns phi and phi'.
  [[nodiscard]] std::array<double, 2> integrate(double p, double q, double eta) const {
    const double h = eta / kSteps;
    const auto rhs = [&](double s, double phi, double flux) {
      const double slope = flux / diffusivity(phi);
      return std::array<double, 2>{slope, -0.5 * s * slope};
    };
    double s = 0;
    for (int k = 0; k < kSteps; ++k) {
      const auto k1 = rhs(s, p, q);
      const auto k2 = rhs(s + h / 2, p + h / 2 * k1[0], q + h / 2 * k1[1]);
      const auto k3 = rhs(s + h / 2, p + h / 2 * k2[0], q + h / 2 * k2[1]);
      const auto k4 = rhs(s + h, p + h * k3[0], q + h * k3[1]);
      p += h / 6 * (k1[0] + 2 * k2[0] + 2 * k3[0] + k4[0]);
      q += h / 6 * (k1[1] + 2 * k2[1] + 2 * k3[1] + k4[1]);
      s += h;
    }
    return {p, q / diffusivity(p)};
  }
  [[nodiscard]] double farValue(double p, double q, int side) const { return integrate(p, q, side * reach())[0]; }
  [[nodiscard]] double slopeAt(double eta) const {
    if (eta == 0) return q0_ / diffusivity(phi0_);
    return integrate(phi0_, q0_, eta)[1];
  }

  double D1_, D2_, left_, right_;
  double phi0_ = 0, q0_ = 0, markerSlope_ = 0;
};

TEST_F(SlowConservativeRun, KirkendallPlaneOfADarkenCoupleMovesAsTheSimilaritySolution) {
  const double D1 = 1e-9, D2 = 2e-10;
  const DarkenSimilarity exact(D1, D2, 0.8, 0.2);
  EXPECT_NEAR(exact.markerSlope(), -1.133e-5, 0.005e-5);

  for (const Integrator integrator : {Integrator::RungeKutta, Integrator::Bdf}) {
    SCOPED_TRACE(integratorName(integrator));
    Simulation m;
    m.resultsDirectory.reset();  // the whole Kirkendall record stays in memory
    CaseFile file = couple(D1, D2, "7 7", "80", "20", "0.2", 1000, "36000");
    file.value("D5") = "10";
    file.value("D17") = "1   100000";
    file.write("case.dat");
    m.load("case.dat");
    // The markers start where the two alloys meet.
    m.input.initialKirkendallPosition = initialInterface(m);
    m.input.integrator = integrator;
    run(m);

    // x_K against sqrt(t) over 3600-36000 s, by least squares: the slope is
    // the similarity solution's. The line misses the origin by a small part of
    // the grid spacing, the distance the plane lags in the first seconds, when
    // the step is still sharper than the grid can resolve; it shrinks with the
    // spacing.
    std::vector<double> roots, shifts;
    for (const std::string& line : m.records.kirkendall.lines()) {
      const auto blank = line.find(' ');
      if (blank == std::string::npos) continue;
      const auto t = parseReal(line.substr(0, blank));
      const auto x = parseReal(line.substr(blank + 1));
      if (!t || !x || *t < 3600 || *t > 36000) continue;
      roots.push_back(std::sqrt(*t));
      shifts.push_back(*x - m.input.initialKirkendallPosition);
    }
    ASSERT_GT(roots.size(), 100u);
    double meanRoot = 0, meanShift = 0;
    for (std::size_t k = 0; k < roots.size(); ++k) {
      meanRoot += roots[k] / static_cast<double>(roots.size());
      meanShift += shifts[k] / static_cast<double>(roots.size());
    }
    double covariance = 0, variance = 0;
    for (std::size_t k = 0; k < roots.size(); ++k) {
      covariance += (roots[k] - meanRoot) * (shifts[k] - meanShift);
      variance += (roots[k] - meanRoot) * (roots[k] - meanRoot);
    }
    const double slope = covariance / variance;
    EXPECT_NEAR(slope / exact.markerSlope(), 1.0, 0.005) << slope << " cm/s^0.5 against " << exact.markerSlope();
    const double spacing = m.state.position[1] - m.state.position[0];
    EXPECT_LT(std::fabs(meanShift - slope * meanRoot), 0.25 * spacing);
  }
}

}  // namespace
}  // namespace torvex
