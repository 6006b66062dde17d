// The scale's books under cycling and the end-of-life watch: what the alloy
// gave up, what spalled, the specific mass change a balance would weigh, and
// the time a critical content is reached.

#include "solver/oxide_scale.h"

#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace torvex {
namespace {

// Alumina, 3.95 g/cm³ and 101.96 g/mol: 2 × 3.95 / 101.96 mol of aluminium
// per cm³ of scale; aluminium 26.98 g/mol.
constexpr double kAluminaMetal = 2 * 3.95 / 101.96;
constexpr double kAluminium = 26.98;
const OxideComposition kAlumina{1.5, 15.999};

// Growth adds metal, a cool-down moves part of it from the scale to the
// spalled pile in proportion to the thickness, and what the alloy gave up is
// the sum of both less the scale the run began with.
TEST(ScaleLedger, MetalMovesBetweenScaleAndSpallsButIsNeverLost) {
  ScaleLedger ledger = startLedger(1e-6, kAluminaMetal);
  EXPECT_EQ(consumedMetal(ledger), 0);
  growScale(ledger, 1e-3, kAluminaMetal);
  const double grown = kAluminaMetal * (1e-3 - 1e-6);
  EXPECT_DOUBLE_EQ(consumedMetal(ledger), grown);
  growScale(ledger, 5e-4, kAluminaMetal);  // not growth
  EXPECT_EQ(ledger.thickness, 1e-3);

  const SpallEvent quarter = spallScale(ledger, SpallLaw{0.25, 0}, 1e-6);
  EXPECT_DOUBLE_EQ(quarter.fraction, 0.25);
  EXPECT_DOUBLE_EQ(quarter.removed, 2.5e-4);
  EXPECT_DOUBLE_EQ(quarter.metal, 0.25 * kAluminaMetal * 1e-3);
  EXPECT_DOUBLE_EQ(ledger.thickness, 7.5e-4);
  EXPECT_DOUBLE_EQ(consumedMetal(ledger), grown) << "spalling takes nothing more from the alloy";
  EXPECT_EQ(ledger.spalls, 1);

  // Everything spalls: the surface starts again at the thinnest scale, and
  // only the part above it counts as spalled.
  const SpallEvent all = spallScale(ledger, SpallLaw{3, 0}, 1e-6);
  EXPECT_DOUBLE_EQ(ledger.thickness, 1e-6);
  EXPECT_DOUBLE_EQ(all.removed, 7.5e-4 - 1e-6);
  EXPECT_NEAR(consumedMetal(ledger), grown, 1e-15);
  const SpallEvent none = spallScale(ledger, SpallLaw{0.5, 0}, 1e-6);
  EXPECT_EQ(none.removed, 0) << "a scale at the thinnest spalls no further";
  EXPECT_EQ(ledger.spalls, 2);
}

// A 10 µm alumina scale holds 1.5 × 7.75e-5 mol/cm² of oxygen, about
// 1.86 mg/cm² (the familiar 5.4 µm per mg/cm² of oxygen); when half of it
// spalls, the specimen keeps half the oxygen and loses the aluminium of the
// other half, and ends lighter than it began.
TEST(ScaleLedger, SpecificMassChangeWeighsOxygenKeptAgainstMetalLost) {
  ScaleLedger ledger = startLedger(0, kAluminaMetal);
  growScale(ledger, 1e-3, kAluminaMetal);
  const MassChange grown = specificMassChange(ledger, kAlumina, kAluminium);
  EXPECT_NEAR(grown.oxygenGain, 1.8594, 1e-4);
  EXPECT_EQ(grown.spallLoss, 0);
  EXPECT_NEAR(1e-3 / grown.oxygenGain * 1e4, 5.38, 0.01) << "µm of alumina per mg/cm² of oxygen";

  spallScale(ledger, SpallLaw{0.5, 0}, 1e-7);
  const MassChange spalled = specificMassChange(ledger, kAlumina, kAluminium);
  EXPECT_NEAR(spalled.oxygenGain, grown.oxygenGain / 2, 1e-12);
  EXPECT_NEAR(spalled.spallLoss, -0.5 * kAluminaMetal * 1e-3 * kAluminium * 1000, 1e-12);
  EXPECT_NEAR(spalled.total, spalled.oxygenGain + spalled.spallLoss, 1e-15);
  EXPECT_LT(spalled.total, 0) << "alumina's aluminium outweighs its oxygen: 26.98 > 1.5 × 16.00";
}

TEST(EndOfLife, WatchesTheContentAndInterpolatesTheCrossing) {
  const std::vector<double> ratios = {0.2, 0.05, 0.1};
  EXPECT_EQ(watchedContent(parseCritical("N1<0.04", "x"), ratios), 0.1);
  EXPECT_EQ(watchedContent(parseCritical("min(N1)<0.04", "x"), ratios), 0.05);
  EXPECT_EQ(watchedContent(parseCritical("max(N1)>0.5", "x"), ratios), 0.2);

  EXPECT_DOUBLE_EQ(crossingTime(10, 0.06, 20, 0.04, 0.05), 15);
  EXPECT_DOUBLE_EQ(crossingTime(10, 0.85, 20, 0.95, 0.9), 15);
  EXPECT_EQ(crossingTime(10, 0.05, 20, 0.04, 0.05), 10) << "reached at the pass before (a < condition held only after)";
  EXPECT_EQ(crossingTime(10, 0.04, 20, 0.04, 0.05), 20);

  EndOfLifeWatch watch(parseCritical("N1<0.05", "x"));
  EXPECT_FALSE(watch.observe(0, 0.2));
  EXPECT_FALSE(watch.observe(10, 0.06));
  EXPECT_FALSE(watch.observe(15, std::numeric_limits<double>::quiet_NaN())) << "a NaN meets no condition";
  EXPECT_FALSE(watch.observe(16, 0.06));
  EXPECT_TRUE(watch.observe(20, 0.04));
  EXPECT_DOUBLE_EQ(*watch.life(), 18);
  EXPECT_FALSE(watch.observe(30, 0.01)) << "only the first crossing counts";
  EXPECT_DOUBLE_EQ(*watch.life(), 18);

  EndOfLifeWatch spent(parseCritical("N1<0.05", "x"));
  EXPECT_TRUE(spent.observe(100, 0.01));
  EXPECT_EQ(*spent.life(), 100) << "spent from the start";
  EXPECT_FALSE(EndOfLifeWatch(parseCritical("N1<0.05", "x")).life().has_value());
}

}  // namespace
}  // namespace torvex
