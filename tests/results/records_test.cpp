// The record formats and the readers a study's summary uses, and the unit
// conversions every writer and reader shares.

#include "results/records.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "results/results_files.h"
#include "results/run_data.h"
#include "results/units.h"
#include "support/test_files.h"

namespace torvex {
namespace {

TEST(Records, LinesHoldTheirColumnsInTheGeneralFormat) {
  EXPECT_EQ(kirkendallRecordLine(1000, 0.00125), "1000 0.00125");
  Table2<double> ratios(2, 3);
  ratios[0][0] = 0.2;
  ratios[1][0] = 0.8;
  ratios[0][2] = 0.15;
  ratios[1][2] = 0.85;
  const std::vector<double> left = {1e-12, -1e-12}, right = {-3e-12, 0.0};
  EXPECT_EQ(boundaryRecordLine(10, ratios, left, right, std::nullopt, 2.5),
            "10   0.2   1E-12   0.15   -3E-12   0.8   -1E-12   0.85   0   2.5");
  EXPECT_EQ(boundaryRecordLine(10, ratios, left, right, ScaleColumns{2e-12, 3e-5}, 2.5),
            "10   0.2   1E-12   0.15   -3E-12   0.8   -1E-12   0.85   0   2E-12   0.00003   2.5");
  EXPECT_EQ(fluxComparisonLine(5, 0.2, 0.15, 1.5e-10, 1.25e-10), "5   0.2   0.15   1.5E-10   1.25E-10");
}

TEST(Records, OpeningAccumulatesTheKirkendallAndComparisonRecordsAndRestartsTheBoundaryOne) {
  RunRecords records;
  openRecords(records, false);
  records.boundary.add("a line of the first run");
  openRecords(records, true);
  EXPECT_EQ(records.kirkendall.count(), 10u);
  EXPECT_EQ(records.fluxComparison.count(), 4u);
  ASSERT_EQ(records.boundary.count(), 2u);
  EXPECT_TRUE(records.boundary[1].ends_with(" kp, growth"));
}

TEST(Records, TheLastFluxComparisonIsReadFromTheLastDataLine) {
  TextList record;
  const auto [noAlloy, noOxide] = lastFluxComparison(record);
  EXPECT_TRUE(std::isnan(noAlloy) && std::isnan(noOxide));
  RunRecords records;
  openRecords(records, true);
  records.fluxComparison.add(fluxComparisonLine(1, 0.2, 0.15, 1e-10, 2e-10));
  records.fluxComparison.add(fluxComparisonLine(2, 0.2, 0.14, 1.5e-10, 1.25e-10));
  const auto [alloy, oxide] = lastFluxComparison(records.fluxComparison);
  EXPECT_EQ(alloy, 1.5e-10);
  EXPECT_EQ(oxide, 1.25e-10);
  records.fluxComparison.add("3   0.2");  // a line cut short
  EXPECT_TRUE(std::isnan(lastFluxComparison(records.fluxComparison).first));
}

// The boundary record's lines are told apart by their length: 4r + 2
// numbers, or 4r + 4 while a scale grows.
TEST(FinalResults, ReadsTheLastProfileThePlaneAndEveryBoundaryLine) {
  test::ScratchDirectory dir;
  const std::string folder = dir.path().string();
  test::writeLines(
      resultsFilePath(folder, kAtomicProfileFile),
      {"   2", "#a comment", "Calculated profiles [% at.]", "Current time:       7", "", "",
       "   0   20   80   0   0   0   0", "   0.001   30   70   0   0   0   0", "#End of calculation file"});
  test::writeLines(resultsFilePath(folder, kKirkendallRecordFile),
                   {"The calculation of the Kirkendall plane", "1 0.0005", "2 0.00051", ""});
  Table2<double> ratios(2, 2);
  ratios[0][0] = 0.2;
  ratios[1][0] = 0.8;
  ratios[0][1] = 0.3;
  ratios[1][1] = 0.7;
  const std::vector<double> flux = {0.0, 0.0};
  test::writeLines(resultsFilePath(folder, kBoundaryRecordFile),
                   {"The calculations of the boundary function", "time [s], N1, ... kp, growth",
                    boundaryRecordLine(1, ratios, flux, flux, ScaleColumns{1e-12, 2e-5}, 1),
                    boundaryRecordLine(2, ratios, flux, flux, std::nullopt, 1)});
  const FinalResults read = ReadFinalResults(folder);
  EXPECT_EQ(read.positionCm, (std::vector<double>{0, 0.001}));
  ASSERT_EQ(read.atomicPercent.size(), 2u);
  EXPECT_EQ(read.atomicPercent[1], (std::vector<double>{30, 70}));
  EXPECT_EQ(read.kirkendallPosition, 0.00051);
  ASSERT_EQ(read.boundary.size(), 2u);
  EXPECT_EQ(read.boundary[0].oxideThicknessCm, 2e-5);
  EXPECT_EQ(read.boundary[0].rightRatio, (std::vector<double>{0.3, 0.7}));
  EXPECT_FALSE(read.boundary[1].oxideThicknessCm);
  EXPECT_EQ(read.boundary[1].leftRatio, (std::vector<double>{0.2, 0.8}));

  // A run killed while appending may leave a torn last line: it is not read
  // (here it would give the plane as 0.0006 and a boundary line of a
  // different length).
  const std::string kirkendall = test::readBytes(resultsFilePath(folder, kKirkendallRecordFile));
  test::writeBytes(resultsFilePath(folder, kKirkendallRecordFile), kirkendall + "3 0.0006");
  const std::string boundary = test::readBytes(resultsFilePath(folder, kBoundaryRecordFile));
  test::writeBytes(resultsFilePath(folder, kBoundaryRecordFile), boundary + "3   0.2   0   0.3   0   0.8   0");
  const FinalResults torn = ReadFinalResults(folder);
  EXPECT_EQ(torn.kirkendallPosition, 0.00051);
  EXPECT_EQ(torn.boundary.size(), 2u);

  // A folder without results reads as empty, not as an error.
  const FinalResults none = ReadFinalResults((dir.path() / "absent").string());
  EXPECT_TRUE(none.atomicPercent.empty() && none.boundary.empty() && !none.kirkendallPosition);
}

TEST(Units, AtomicAndWeightPercentAgreeWhicheverWayTheyAreReached) {
  Table2<double> c(2, 2);
  c[0][0] = 0.02;
  c[1][0] = 0.06;
  c[0][1] = 0.05;
  c[1][1] = 0.05;
  const std::vector<double> M = {58.69, 195.08};
  const Table2<double> atomic = atomicPercent(c);
  const Table2<double> weight = weightPercent(c, M);
  EXPECT_DOUBLE_EQ(atomic[0][0], 25.0);
  EXPECT_DOUBLE_EQ(weight[0][1], 100 * 58.69 / (58.69 + 195.08));
  const std::vector<double> fromAtomic =
      weightFromAtomicPercent({atomic[0][0], atomic[0][1], atomic[1][0], atomic[1][1]}, M, 2);
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < 2; ++k) EXPECT_NEAR(fromAtomic[static_cast<std::size_t>(i * 2 + k)], weight[i][k], 1e-12);
  EXPECT_TRUE(weightFromAtomicPercent({50, 50}, {1.0}, 2).empty());  // no molar mass per component
}

TEST(Units, InterpolationHoldsTheEndsAndGivesTheSlope) {
  const std::vector<double> x = {1.0, 2.0, 4.0};
  const std::vector<double> y = {10.0, 20.0, 0.0};
  EXPECT_EQ(interpolateHeld(x, y, 3.0).value, 10.0);
  EXPECT_EQ(interpolateHeld(x, y, 3.0).slope, -10.0);
  EXPECT_EQ(interpolateHeld(x, y, 2.0).value, 20.0);  // on a point: its own value
  EXPECT_EQ(interpolateHeld(x, y, 0.0).value, 10.0);
  EXPECT_EQ(interpolateHeld(x, y, 0.0).slope, 0.0);
  EXPECT_EQ(interpolateHeld(x, y, 9.0).value, 0.0);
  EXPECT_TRUE(std::isnan(InterpolateLinear(x, y, 9.0)));  // outside: no value
  EXPECT_TRUE(std::isnan(InterpolateLinear(x, {1.0, 2.0}, 1.5)));
  RootMeanSquare rms;
  EXPECT_TRUE(std::isnan(rms.value()));
  rms.add(3);
  rms.add(-4);
  EXPECT_DOUBLE_EQ(rms.value(), std::sqrt(12.5));
}

}  // namespace
}  // namespace torvex
