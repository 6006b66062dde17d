// Measured profiles: what the reader accepts, the message for every kind of
// malformed file, and the misfit against a simulated profile.

#include "model/measured_profile.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "results/units.h"
#include "support/test_files.h"

namespace torvex {
namespace {

using test::messageOf;

TEST(MeasuredProfile, ReadsUnitsSeparatorsCommentsAndLineEnds) {
  struct Case {
    const char* text;
    double secondPositionCm;
    std::vector<int> components;
    CompositionBasis basis;
  };
  const std::vector<Case> cases = {
      {"x_um,N1,N2\n0,90,10\n50,60,40\n", 50e-4, {0, 1}, CompositionBasis::Atomic},
      {"# scan 3\r\n\r\nx_mm;N1_wt_pct;N3_wt_pct\r\n0;80;10\r\n# mid\r\n0.5;70;12\r\n",
       0.05,
       {0, 2},
       CompositionBasis::Weight},
      {"x_cm\t2\t1\twt_pct\n0\t1\t2\tflag\n0.25\t3\t4\tflag", 0.25, {1, 0}, CompositionBasis::Weight},
      {"\xEF\xBB\xBF x_um , N2 \r0 , 5\r7.5e1 , 6\r", 75e-4, {1}, CompositionBasis::Atomic},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const MeasuredProfile p = ParseMeasuredProfile(c.text, "scan.csv");
    EXPECT_EQ(p.components, c.components);
    EXPECT_EQ(p.basis, c.basis);
    ASSERT_EQ(p.positionCm.size(), 2u);
    EXPECT_DOUBLE_EQ(p.positionCm[0], 0.0);
    EXPECT_DOUBLE_EQ(p.positionCm[1], c.secondPositionCm);
    ASSERT_EQ(p.percent.size(), c.components.size());
    for (const auto& column : p.percent) EXPECT_EQ(column.size(), 2u);
  }
}

// A spreadsheet in a decimal-comma language separates its cells by
// semicolons (or tabs): there a comma is the decimal sign. Where commas
// separate the cells, "1,5" stays two cells.
TEST(MeasuredProfile, DecimalCommaWhereSemicolonsOrTabsSeparate) {
  for (const char* text : {"x_um;N1\n0;12,5\n2,5;13\n", "x_um\tN1\n0\t12,5\n2,5\t13\n"}) {
    SCOPED_TRACE(text);
    const MeasuredProfile p = ParseMeasuredProfile(text, "scan.csv");
    EXPECT_DOUBLE_EQ(p.positionCm[1], 2.5e-4);
    EXPECT_DOUBLE_EQ(p.percent[0][0], 12.5);
  }
  EXPECT_NE(messageOf<InputError>([] { ParseMeasuredProfile("x_um,N1\n0,12,5\n", "scan.csv"); }).find("extra cell '5'"),
            std::string::npos);
}

TEST(MeasuredProfile, ShiftAndBasisOptions) {
  MeasuredProfileOptions options;
  options.shiftCm = -0.001;
  options.basis = CompositionBasis::Weight;
  const MeasuredProfile p = ParseMeasuredProfile("x_um,N1\n20,50\n", "a.csv", options);
  EXPECT_DOUBLE_EQ(p.positionCm[0], 20e-4 - 0.001);
  EXPECT_EQ(p.basis, CompositionBasis::Weight);  // from the option, the file says nothing
  // A file that names the other basis than the one asked for is refused.
  options.basis = CompositionBasis::Atomic;
  EXPECT_NE(messageOf<InputError>([&] {
              ParseMeasuredProfile("x_um,N1_wt_pct\n0,1\n", "b.csv", options);
            }).find("b.csv, line 1"),
            std::string::npos);
}

// Every malformed file names the file, the line and (where one cell is at
// fault) the column, and quotes the offending text.
TEST(MeasuredProfile, MalformedFilesNameFileLineColumnAndText) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"empty file", "", {"scan.csv, line 1", "empty file"}},
      {"only comments", "# nothing\n\n", {"scan.csv, line 2", "empty file"}},
      {"unknown unit", "x_nm,N1\n0,1\n", {"scan.csv, line 1, column 1", "'x_nm'", "x_um, x_mm or x_cm"}},
      {"no position column", "N1,N2\n1,2\n", {"scan.csv, line 1", "no position column"}},
      {"no component", "x_um\n1\n", {"scan.csv, line 1", "no component column"}},
      {"unknown column", "x_um,Fe\n0,1\n", {"scan.csv, line 1, column 2", "'Fe'"}},
      {"component twice", "x_um,N1,1\n0,1,2\n", {"line 1, column 3", "appears twice"}},
      {"component zero", "x_um,N0\n0,1\n", {"line 1, column 2", "'N0'"}},
      {"mixed bases", "x_um,N1_at_pct,N2_wt_pct\n0,1,2\n", {"line 1, column 3", "mixes"}},
      {"missing cell", "x_um,N1,N2\n0,1,2\n# c\n5,3\n", {"scan.csv, line 4, column 3", "missing cell"}},
      {"extra cell", "x_um,N1\n0,1,2\n", {"line 2, column 3", "extra cell '2'"}},
      {"text in a number", "x_um,N1,N2\n0,1,2\n5,abc,3\n", {"scan.csv, line 3, column 2", "'abc' is not a number"}},
      {"comma and full stop", "x_um;N1\n0;1,5.2\n", {"line 2, column 2", "'1,5.2' is not a number"}},
      {"two commas", "x_um\tN1\n0\t1,5,2\n", {"line 2, column 2", "'1,5,2' is not a number"}},
      {"empty cell", "x_um,N1\n0,\n", {"line 2, column 2", "'' is not a number"}},
      {"not a percentage", "x_um,N1\n0,101\n", {"line 2, column 2", "'101'", "between 0 and 100"}},
      {"infinity", "x_um,N1\ninf,1\n", {"line 2, column 1", "'inf' is not a number"}},
      {"header only", "x_um,N1\n", {"scan.csv, line 1", "no data line"}},
      {"binary",
       std::string("x_um,N1\n0,1\n\x7f"
                   "ELF\x02\x01",
                   16),
       {"scan.csv, line 3, column 1", "binary data"}},
      {"NUL byte", std::string("x_um,N1\n0,\0", 11), {"scan.csv, line 2, column 3", "binary data"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string message = messageOf<InputError>([&] { ParseMeasuredProfile(c.text, "scan.csv"); });
    for (const std::string& part : c.expected) EXPECT_NE(message.find(part), std::string::npos) << message;
  }
}

// A scan of more points than any line scan has is refused at the first
// point too many; one of exactly the limit is read.
TEST(MeasuredProfile, AScanOfMorePointsThanTheLimitIsRefused) {
  std::string text = "x_um,N1\n";
  for (std::size_t k = 0; k < kMaxMeasuredPoints; ++k) text += std::to_string(k) + ",10\n";
  EXPECT_EQ(ParseMeasuredProfile(text, "scan.csv").positionCm.size(), kMaxMeasuredPoints);
  text += "1e9,10\n";
  const std::string message = messageOf<InputError>([&] { ParseMeasuredProfile(text, "scan.csv"); });
  EXPECT_NE(
      message.find("scan.csv, line " + std::to_string(kMaxMeasuredPoints + 2) + ": more than 20000 measured points"),
      std::string::npos)
      << message;
}

TEST(MeasuredProfile, FileErrorsNameThePath) {
  test::ScratchDirectory dir;
  EXPECT_NE(messageOf<InputError>([&] { ReadMeasuredProfile(dir.file("none.csv")); }).find("none.csv"),
            std::string::npos);
  test::writeBytes(dir.file("ok.csv"), "x_um,N1\n0,10\n");
  EXPECT_EQ(ReadMeasuredProfile(dir.file("ok.csv")).fileName, dir.file("ok.csv"));
  EXPECT_NE(messageOf<InputError>([&] { ReadMeasuredProfile(dir.path().string()); }).find(dir.path().string()),
            std::string::npos);
}

TEST(MeasuredProfile, MisfitInterpolatesAndLeavesOutPointsBeyondTheSample) {
  // Simulated N1 falls linearly from 80 at x = 0 to 20 at 0.01 cm.
  const std::vector<double> x = {0.0, 0.005, 0.01};
  const std::vector<std::vector<double>> simulated = {{80, 50, 20}, {20, 50, 80}};
  // Measured 2 above the line at 25 µm and 2 below at 75 µm; one point
  // beyond the sample.
  const MeasuredProfile p = ParseMeasuredProfile("x_um,N1\n25,67\n75,33\n150,10\n", "m.csv");
  const ProfileMisfit misfit = MeasuredMisfit(p, x, simulated);
  EXPECT_EQ(misfit.pointsUsed, 2u);
  EXPECT_EQ(misfit.pointsOutside, 1u);
  EXPECT_NEAR(misfit.rmsPercent, 2.0, 1e-12);
  // A perfect match at the grid points and between them.
  const MeasuredProfile exact = ParseMeasuredProfile("x_um,N2,N1\n0,20,80\n50,50,50\n100,80,20\n", "e.csv");
  EXPECT_NEAR(MeasuredMisfit(exact, x, simulated).rmsPercent, 0.0, 1e-12);
  // A component the run does not have.
  const MeasuredProfile third = ParseMeasuredProfile("x_um,N3\n0,1\n", "t.csv");
  EXPECT_NE(messageOf<InputError>([&] { MeasuredMisfit(third, x, simulated); }).find("t.csv, column N3"),
            std::string::npos);
}

TEST(MeasuredProfile, InterpolationAtEndsAndOutside) {
  const std::vector<double> x = {1.0, 2.0, 4.0};
  const std::vector<double> y = {10.0, 20.0, 0.0};
  EXPECT_DOUBLE_EQ(InterpolateLinear(x, y, 1.0), 10.0);
  EXPECT_DOUBLE_EQ(InterpolateLinear(x, y, 4.0), 0.0);
  EXPECT_DOUBLE_EQ(InterpolateLinear(x, y, 3.0), 10.0);
  EXPECT_TRUE(std::isnan(InterpolateLinear(x, y, 0.999)));
  EXPECT_TRUE(std::isnan(InterpolateLinear(x, y, NAN)));
  EXPECT_TRUE(std::isnan(InterpolateLinear({}, {}, 1.0)));
}

}  // namespace
}  // namespace torvex
