// The closed forms of coating life against independent routes to the same
// answers: the depletion balances against the loss of metal followed in
// small portions, the life integral against the parabolic law, the surface
// balances against their limits, the spallation recursion against its steady
// state.

#include "run/life_closed_forms.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

namespace torvex {
namespace {

// The oxidation sample's scale constants, and the same with p' negligible.
constexpr ScaleConstants kSample{4.578e-14, 8.97e-2, 9.1e-14, 0.21, 1};
constexpr ScaleConstants kConstantKp{6.49e-13, 8.97e-2, 1e-40, 0.21, 1};

// The sample gives up its component 1 in 200 000 small portions δn. Refilling:
// the volume Ω1 δn it loses is made up by alloy of its own (uniform)
// composition; receding: nothing comes in, the length shrinks by Ω1 δn. The
// closed forms must say what the portions add up to.
TEST(UniformDepletion, BalancesMatchTheLossFollowedInSmallPortions) {
  for (const UniformAlloy alloy :
       {UniformAlloy{0.002, 0.2, 7, 7}, UniformAlloy{0.005, 0.3, 6.587, 9.09}, UniformAlloy{0.01, 0.25, 10, 7.5}}) {
    const double critical = 0.05;
    for (SurfaceKind kind : {SurfaceKind::kRefilling, SurfaceKind::kReceding}) {
      const double Omega0 = alloy.initialContent * alloy.omega1 + (1 - alloy.initialContent) * alloy.omegaRest;
      double n1 = alloy.length * alloy.initialContent / Omega0;  // mol/cm²
      double rest = alloy.length * (1 - alloy.initialContent) / Omega0;
      double length = alloy.length;
      const double total = consumptionToReach(alloy, kind, critical);
      const int portions = 200000;
      const double dn = total / portions;
      for (int k = 0; k < portions; ++k) {
        const double N = n1 / (n1 + rest);
        n1 -= dn;
        if (kind == SurfaceKind::kRefilling) {
          const double refill = alloy.omega1 * dn / (N * alloy.omega1 + (1 - N) * alloy.omegaRest);
          n1 += N * refill;
          rest += (1 - N) * refill;
        } else {
          length -= alloy.omega1 * dn;
        }
      }
      EXPECT_NEAR(n1 / (n1 + rest), critical, 1e-5) << "length " << alloy.length;
      EXPECT_NEAR(contentAfter(alloy, kind, total), critical, 1e-12);
      EXPECT_NEAR(consumptionToReach(alloy, kind, contentAfter(alloy, kind, 0.3 * total)), 0.3 * total, 1e-12 * total);
      // What is left fills the length, atom by atom (Vegard's rule).
      EXPECT_NEAR(n1 * alloy.omega1 + rest * alloy.omegaRest, length, 1e-9 * length);
      if (kind == SurfaceKind::kReceding) {
        EXPECT_NEAR(recededLength(alloy, total), length, 1e-10 * length);
      }
    }
    // The receding sample gives up less: it keeps no refill of component 1.
    EXPECT_LT(consumptionToReach(alloy, SurfaceKind::kReceding, critical),
              consumptionToReach(alloy, SurfaceKind::kRefilling, critical));
  }
}

// The fixed-length sample of 0.002 cm, 20 % of component 1, molar volumes 7:
// the balance that refills with alloy needs 99 800 s to reach 5 %, but a run
// of n points simulates (n - 1)/n of the width (its points stand width/n
// apart), and the life goes with the square of the alloy's length.
TEST(UniformDepletion, LifeFollowsTheParabolicLawAndTheSquareOfTheLength) {
  const UniformAlloy declared{0.002, 0.2, 7, 7};
  const double kp = kConstantKp.kp(0.05);
  EXPECT_NEAR(kp / (3 * 6.49e-13 * std::pow(0.21, 1.0 / 6)), 1, 1e-6) << "p' negligible";
  const double refilling = uniformDepletionLife(declared, SurfaceKind::kRefilling, kConstantKp, 0.05, 0);
  EXPECT_NEAR(refilling, 99804, 1);
  // Constant kp: the integral is the parabolic law, also from a start thickness.
  for (double start : {0.0, 9.3e-7, 1e-4}) {
    const double metal = consumptionToReach(declared, SurfaceKind::kReceding, 0.05);
    EXPECT_NEAR(uniformDepletionLife(declared, SurfaceKind::kReceding, kConstantKp, 0.05, start),
                parabolicTime(metal, kConstantKp.oxideConcentration, kp, start), 1e-6 * refilling);
  }
  // A start thickness of 9.3e-7 cm delays the life by about ξ0 ξ / kp, 0.35 %.
  EXPECT_NEAR(uniformDepletionLife(declared, SurfaceKind::kRefilling, kConstantKp, 0.05, 9.3e-7) / refilling, 1.0035,
              2e-4);

  const UniformAlloy simulated{gridSpan(0.002, 50), 0.2, 7, 7};
  EXPECT_NEAR(simulated.length, 0.00196, 1e-15);
  EXPECT_NEAR(uniformDepletionLife(simulated, SurfaceKind::kRefilling, kConstantKp, 0.05, 0) / refilling, 0.98 * 0.98,
              1e-9);
  EXPECT_NEAR(surfaceLag(0.00196, 1e-8), 128.05, 0.01);
  EXPECT_EQ(uniformDepletionLife(declared, SurfaceKind::kReceding, kConstantKp, 0.25, 0), 0) << "spent from the start";
}

// Where p' matters, kp falls with the surface content and the scale slows
// down as the alloy runs out: the integral must match the growth law
// dξ/dt = kp(N(ξ)) / ξ followed step by step.
TEST(UniformDepletion, LifeFollowsAKpThatFallsWithTheContent) {
  const ScaleConstants scale{6.49e-13, 8.97e-2, 2e-5, 0.21, 1};  // kp(0.05) is a third below kp(0.2)
  const UniformAlloy alloy{0.002, 0.2, 6.587, 9.09};
  EXPECT_LT(scale.kp(0.05), 0.9 * scale.kp(0.2));
  for (SurfaceKind kind : {SurfaceKind::kRefilling, SurfaceKind::kReceding}) {
    const double life = uniformDepletionLife(alloy, kind, scale, 0.05, 1e-6);
    const double target = 1e-6 + consumptionToReach(alloy, kind, 0.05) / scale.oxideConcentration;
    // Fourth-order Runge-Kutta on d(ξ²)/dt = 2 kp(N(ξ)) over the life.
    const auto rate = [&](double square) {
      const double xi = std::sqrt(square);
      return 2 * scale.kp(contentAfter(alloy, kind, scale.oxideConcentration * (xi - 1e-6)));
    };
    double square = 1e-12;
    const int steps = 20000;
    const double dt = life / steps;
    for (int k = 0; k < steps; ++k) {
      const double k1 = rate(square), k2 = rate(square + dt / 2 * k1), k3 = rate(square + dt / 2 * k2),
                   k4 = rate(square + dt * k3);
      square += dt / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
    }
    EXPECT_NEAR(std::sqrt(square), target, 1e-7 * target);
    EXPECT_GT(life,
              parabolicTime(consumptionToReach(alloy, kind, 0.05), scale.oxideConcentration, scale.kp(0.2), 1e-6));
  }
}

TEST(SurfaceBalance, RecessionFactorRunsFromNoRecessionToFullConsumption) {
  EXPECT_NEAR(recessionFactor(1e-4), std::sqrt(std::numbers::pi) * 1e-4 - 2e-8, 1e-11);  // sqrt(pi) γ - 2 γ² + ...
  EXPECT_NEAR(recessionFactor(1), 0.7578721561, 1e-9);                                   // sqrt(pi) e erfc(1)
  EXPECT_NEAR(recessionFactor(20 - 1e-9), recessionFactor(20 + 1e-9), 1e-10) << "where the series takes over";
  EXPECT_NEAR(recessionFactor(1e4), 1, 1e-8);
  double previous = 0;
  for (double gamma = 0.01; gamma < 100; gamma *= 1.5) {
    const double F = recessionFactor(gamma);
    EXPECT_GT(F, previous);
    EXPECT_LT(F, 1);
    previous = F;
  }
}

// The oxidation sample (0.2 of component 1, molar volumes 6.587 and 9.09,
// D1* = D2* = 3.1e-12 cm²/s): a surface held in place and refilled settles at
// 0.0292, one that recedes at 0.0453. The receding value is a balance of
// volume fractions with Ω1 in γ, since the surface moves by the volume of the
// consumed component 1; with equal molar volumes it is the molar balance
// Ns = (N0 - F) / (1 - F) with the alloy's molar volume.
TEST(SurfaceBalance, SettledSurfaceContentsOfTheOxidationSample) {
  const double refilling = settledSurfaceContent(SurfaceKind::kRefilling, kSample, 0.2, 3.1e-12, 6.587, 9.09);
  const double receding = settledSurfaceContent(SurfaceKind::kReceding, kSample, 0.2, 3.1e-12, 6.587, 9.09);
  EXPECT_NEAR(refilling, 0.02921, 5e-5);
  EXPECT_NEAR(receding, 0.04526, 5e-5);

  for (double omega : {6.587, 7.0, 9.09}) {
    const double Ns = settledSurfaceContent(SurfaceKind::kReceding, kSample, 0.2, 3.1e-12, omega, omega);
    const double F = recessionFactor(omega * kSample.oxideConcentration * std::sqrt(kSample.kp(Ns) / (2 * 3.1e-12)));
    EXPECT_NEAR(Ns, (0.2 - F) / (1 - F), 1e-12) << "equal molar volumes " << omega;
  }
  // A slow scale hardly moves the surface: both balances then agree, to the
  // order of γ² against γ.
  const ScaleConstants slow{1e-18, 8.97e-2, 1e-40, 0.21, 1};
  const double a = settledSurfaceContent(SurfaceKind::kRefilling, slow, 0.2, 3.1e-12, 6.587, 9.09);
  const double b = settledSurfaceContent(SurfaceKind::kReceding, slow, 0.2, 3.1e-12, 6.587, 9.09);
  EXPECT_LT(0.2 - a, 0.01);
  EXPECT_NEAR(a, b, 0.01 * (0.2 - a));
  // A scale that cannot grow at the sample's content leaves the surface as it is.
  const ScaleConstants starved{4.578e-14, 8.97e-2, 0.5, 0.21, 1};
  EXPECT_NEAR(settledSurfaceContent(SurfaceKind::kReceding, starved, 0.2, 3.1e-12, 6.587, 9.09), 0.2, 1e-9);
}

// Constant fraction q, the same dose every cycle: the scale before each
// cool-down tends to ξ* = sqrt(dose / (q (2 - q))), the alloy then gives up
// c_ox q ξ* per cycle, and the mass change falls by M1 times that.
TEST(Spallation, RecursionSettlesToItsSteadyState) {
  const double dose = 2 * 1.5e-12 * 3600;
  const double q = 0.05;
  const double cOx = 0.0775;
  const std::vector<SpallCycle> books = spallRecursion(1e-7, dose, dose, SpallLaw{q, 0}, 1e-7, cOx, 400);
  const double steady = steadySpallThickness(dose, q);
  EXPECT_NEAR(books.front().beforeSpall, std::sqrt(1e-14 + dose), 1e-18);
  EXPECT_NEAR(books.back().beforeSpall, steady, 1e-6 * steady);
  for (std::size_t k = 1; k < books.size(); ++k) {
    EXPECT_GE(books[k].beforeSpall, books[k - 1].beforeSpall) << "the scale thickens towards its steady state";
    EXPECT_NEAR(books[k].afterSpall, (1 - q) * books[k].beforeSpall, 1e-18);
  }
  const double lastLoss = books[399].consumedMetal - books[398].consumedMetal;
  EXPECT_NEAR(lastLoss, steadyMetalLossPerCycle(dose, q, cOx), 1e-6 * lastLoss);
  const double lastSpall = books[399].spalledMetal - books[398].spalledMetal;
  EXPECT_NEAR(-1000 * 26.98 * lastSpall, terminalMassChangeSlope(dose, q, cOx, 26.98), 1e-5);
  // All of the scale spalls every cycle: each cycle regrows from the thinnest.
  const std::vector<SpallCycle> bare = spallRecursion(1e-7, dose, dose, SpallLaw{1, 0}, 1e-7, cOx, 3);
  EXPECT_NEAR(bare[2].consumedMetal, 3 * cOx * (std::sqrt(1e-14 + dose) - 1e-7), 1e-18);
}

// The time at which a spalling scale has taken a given amount of metal:
// between two cool-downs it is the parabolic law from the thickness left.
TEST(Spallation, LifeUnderSpallingIsReadFromTheRecursion) {
  const double kp = 1.5e-12, period = 4200, firstCoolDown = 3600, cOx = 0.0775, q = 0.1;
  const SpallLaw law{q, 0};
  const std::vector<SpallCycle> books = spallRecursion(0, 2 * kp * firstCoolDown, 2 * kp * period, law, 0, cOx, 50);
  // The metal reached exactly at cool-down 20 gives its time; a little more,
  // a little after it.
  const double atCoolDown = books[20].consumedMetal;
  EXPECT_NEAR(spallingLife(atCoolDown, 0, kp, firstCoolDown, period, law, 0, cOx, 100), firstCoolDown + 20 * period,
              1e-6);
  const double more = atCoolDown + cOx * 1e-5;
  const double xi = books[20].afterSpall;
  EXPECT_NEAR(spallingLife(more, 0, kp, firstCoolDown, period, law, 0, cOx, 100),
              firstCoolDown + 20 * period + ((xi + 1e-5) * (xi + 1e-5) - xi * xi) / (2 * kp), 1e-6);
  // Spalling shortens the life against the parabolic law.
  EXPECT_LT(spallingLife(atCoolDown, 0, kp, firstCoolDown, period, law, 0, cOx, 100),
            parabolicTime(atCoolDown, cOx, kp, 0));
  // No spalling: the parabolic law itself.
  EXPECT_NEAR(spallingLife(atCoolDown, 0, kp, firstCoolDown, period, SpallLaw{0, 0}, 0, cOx, 100),
              parabolicTime(atCoolDown, cOx, kp, 0), 1e-6);
  EXPECT_TRUE(std::isinf(spallingLife(1, 0, kp, firstCoolDown, period, law, 0, cOx, 100)));
}

}  // namespace
}  // namespace torvex
