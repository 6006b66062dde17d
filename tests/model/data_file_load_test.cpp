#include <cmath>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "support/load_fixture.h"

namespace torvex {
namespace {

using test::CaseFile;
using test::LoadFixture;
using test::writeLines;

using SampleCases = LoadFixture;

TEST_F(SampleCases, InterdiffusionLoadsWithTheDocumentedValues) {
  model_.load("interdiffusion.dat");
  const Simulation& m = model_;
  ASSERT_TRUE(m.input.loaded());
  EXPECT_EQ(m.input.componentCount, 3);
  EXPECT_EQ(m.input.pointCount, 200);
  EXPECT_EQ(m.input.startTime, 0.0);
  EXPECT_EQ(m.input.endTime, 612000.0);
  EXPECT_EQ(m.input.timeStep, 1e-4);
  EXPECT_EQ(m.input.concentrationError, 1e-4);
  EXPECT_EQ(m.input.maxTimeStep, 25.0);
  EXPECT_EQ(m.input.timeStepChangeInterval, 25);
  EXPECT_EQ(m.input.timeStepMultiplier, 2.0);
  EXPECT_EQ(m.input.temperature, 1273.0);
  EXPECT_EQ(m.input.diffusivityModel, DiffusivityModel::Matrix);
  EXPECT_EQ(m.input.diffusivityFormulas, (std::vector<std::string>{"1.021e-9 0 0", "0 1.254e-10 0", "0 0 3.647e-12"}));
  EXPECT_EQ(m.input.diffusivityFile.lines.count(), 10u);
  EXPECT_EQ(m.input.correlationFactor, 1.0);
  EXPECT_EQ(m.input.molarMass, (std::vector<double>{63.546, 55.847, 58.71}));
  EXPECT_EQ(m.input.partialMolarVolume, (std::vector<double>{6.132, 7.096, 6.587}));
  // A run takes each component's volume at every point.
  EXPECT_EQ(m.state.partialMolarVolume[1][0], 7.096);
  EXPECT_EQ(m.state.partialMolarVolume[2][199], 6.587);
  EXPECT_EQ(m.input.activityModel, ActivityModel::CuFeNi);
  EXPECT_TRUE(m.input.activityFile.lines.empty());  // mode 1 reads no file
  EXPECT_EQ(m.input.constitutive, Constitutive::NernstPlanck);
  EXPECT_EQ(m.input.frame, Frame::VolumeFixed);
  EXPECT_EQ(m.input.darkenVelocityOn, 1);
  EXPECT_EQ(m.input.differenceScheme, DifferenceScheme::Central);
  EXPECT_EQ(m.input.refreshInterval, 250);
  EXPECT_EQ(m.input.saveInterval, 250);
  EXPECT_EQ(m.input.calculationDelay, 10);
  EXPECT_EQ(m.input.kirkendallPlaneVisible, 0);
  EXPECT_EQ(m.input.boundaryFlux, BoundaryFlux::None);  // "fluxes_2.flx" is named but never opened
  EXPECT_EQ(m.input.minimalMolarFraction, 6.58e-7);
  EXPECT_EQ(m.input.initialPointCount, 2);
  EXPECT_EQ(m.input.initial.lines, (std::vector<std::string>{"-0.1 85 0.5 0.0 0.0 0.0", "0.1 0.5 25 0.0 0.0 0.0"}));

  // The balance component: 85 % and 0.5 % leave 14.5 %.
  EXPECT_EQ(m.input.initial.molarRatio[0][0], 0.85);
  EXPECT_EQ(m.input.initial.molarRatio[1][99], 0.005);
  EXPECT_EQ(m.input.initial.molarRatio[2][0], 1.0 - 0.85 - 0.005);
  EXPECT_EQ(m.input.initial.molarRatio[0][100], 0.005);
  EXPECT_EQ(m.input.initial.molarRatio[2][199], 1.0 - 0.005 - 0.25);
  EXPECT_DOUBLE_EQ(m.input.initial.sampleWidth, 0.2);
  EXPECT_EQ(m.input.initialKirkendallPosition, m.input.initial.position[0] + m.input.initial.sampleWidth * 0.5);

  // Derived quantities at the left end, computed here from their definitions.
  const double omega = 6.132 * 0.85 + 7.096 * 0.005 + 6.587 * (1.0 - 0.85 - 0.005);
  EXPECT_EQ(m.input.initial.molarVolume[0], omega);
  EXPECT_EQ(m.input.initial.concentration[0][0], 0.85 / omega);
  double density = 0.0;
  double total = 0.0;
  for (int i = 0; i < 3; ++i) {
    density += m.input.molarMass[static_cast<std::size_t>(i)] * m.input.initial.concentration[i][0];
    total += m.input.initial.concentration[i][0];
  }
  // The density is the weight fractions' denominator: w_i = 100 M_i c_i / rho.
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(m.input.initial.weightPercent[i][0],
              100.0 * m.input.molarMass[static_cast<std::size_t>(i)] * m.input.initial.concentration[i][0] / density);
  EXPECT_EQ(m.input.initial.totalConcentration[0], total);
  double weightSum = 0.0;
  for (int i = 0; i < 3; ++i) weightSum += m.input.initial.weightPercent[i][1];
  EXPECT_NEAR(weightSum, 100.0, 1e-12);
  EXPECT_NEAR(m.input.initial.weightPercent[0][0],
              100.0 * 63.546 * 0.85 / (63.546 * 0.85 + 55.847 * 0.005 + 58.71 * 0.145), 1e-12);
}

TEST_F(SampleCases, OxidationReadsItsTwoSideFiles) {
  model_.load("oxidation.dat");
  const Simulation& m = model_;
  EXPECT_EQ(m.input.componentCount, 2);
  EXPECT_EQ(m.input.temperature, 1123.0);
  EXPECT_EQ(m.input.diffusivityModel, DiffusivityModel::Formulas);
  EXPECT_EQ(m.input.diffusivityFormulas, (std::vector<std::string>{"3.1e-12", "3.1e-12"}));
  EXPECT_EQ(m.input.activityModel, ActivityModel::Ideal);
  EXPECT_EQ(m.input.boundaryFlux, BoundaryFlux::SelectiveOxidation);
  EXPECT_EQ(m.input.boundaryFluxFile.name, "oxid_flux.flx");
  EXPECT_EQ(m.input.boundaryFluxFile.lines.count(), 6u);
  // One formula line for two components: the second stays empty.
  EXPECT_EQ(m.input.boundaryFluxFormulas, (std::vector<std::string>{"4.578e-14 8.97e-2 9.1e-14 0.21 1", ""}));
  EXPECT_EQ(m.input.minimalMolarFraction, 6.58e-7);
  EXPECT_EQ(m.input.initial.molarRatio[0][0], 0.2);
  EXPECT_EQ(m.input.initial.molarRatio[1][199], 0.8);
  EXPECT_EQ(m.input.initial.sampleWidth, 0.002);
  EXPECT_EQ(m.state.leftBoundaryFlux, (std::vector<double>{0.0, 0.0}));
}

using DataFileLoad = LoadFixture;

TEST_F(DataFileLoad, ValuesAreReadByPositionNotByKeyText) {
  CaseFile file;
  auto lines = file.lines();
  // Drop every key line and reword the header: nothing changes.
  std::vector<std::string> bare = {"# some other header"};
  for (const auto& line : lines)
    if (line.rfind("#|", 0) != 0 && line.rfind("###", 0) != 0) bare.push_back(line);
  writeLines("bare.dat", bare);
  model_.load("bare.dat");
  EXPECT_EQ(model_.input.timeStep, 0.1);
  EXPECT_EQ(model_.input.initial.molarRatio[0][0], 0.2);

  // A blank line right after the D3 value becomes D4: every later value
  // moves one key on, and here D9a receives the molar masses.
  for (std::size_t at = 0; at < lines.size(); ++at)
    if (lines[at] == "   0.1") {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at) + 1, "");
      break;
    }
  writeLines("shifted.dat", lines);
  {
    const std::string message = test::messageOf<InputError>([&] { model_.load("shifted.dat"); });
    EXPECT_EQ(message, "shifted.dat, line 10, key D4: the concentration error is missing (value line \"\")");
  }
}

TEST_F(DataFileLoad, TabsBecomeBlanks) {
  CaseFile file;
  file.value("D1") = "0\t\t100";
  loadCase(file);
  EXPECT_EQ(model_.input.endTime, 100.0);
  for (const auto& line : model_.input.dataFileLines) EXPECT_EQ(line.find('\t'), std::string::npos);
}

TEST_F(DataFileLoad, CountsAreRaisedToTheirMinimum) {
  CaseFile file;
  file.value("D0") = "abc";  // not an integer: 0, raised to 1
  file.value("D10") = "58.69";
  file.value("D11") = "6.587";
  file.profile = {"0 0 0 0", "0.002 0 0 0"};
  file.value("D2") = "2";
  loadCase(file);
  EXPECT_EQ(model_.input.componentCount, 1);
  EXPECT_EQ(model_.input.pointCount, 3);
  EXPECT_EQ(model_.input.initial.molarRatio[0][0], 1.0);

  file.value("D0") = "0";
  file.value("D2") = "many";
  loadCase(file);
  EXPECT_EQ(model_.input.componentCount, 1);
  EXPECT_EQ(model_.input.pointCount, 3);
}

TEST_F(DataFileLoad, TimesStepsAndMultiplierFollowTheirRules) {
  CaseFile file;
  const auto loadWith = [&](const char* key, const char* value) {
    CaseFile changed = file;
    changed.value(key) = value;
    loadCase(changed);
  };
  loadWith("D1", "100 50");
  EXPECT_EQ(model_.input.startTime, 100.0);
  EXPECT_EQ(model_.input.endTime, 0.0);
  loadWith("D1", "-5   -1");
  EXPECT_EQ(model_.input.endTime, 0.0);
  loadWith("D6", "1.9");
  EXPECT_EQ(model_.input.timeStepChangeInterval, 100);
  loadWith("D6", "2.9");
  EXPECT_EQ(model_.input.timeStepChangeInterval, 2);
  loadWith("D6", "1e30");
  EXPECT_EQ(model_.input.timeStepChangeInterval, 2147483647);
  loadWith("D7", "1");
  EXPECT_EQ(model_.input.timeStepMultiplier, 1.1);
  loadWith("D7", "1.5");
  EXPECT_EQ(model_.input.timeStepMultiplier, 1.5);
}

TEST_F(DataFileLoad, IntegerSwitchesTakeTheirDefaults) {
  CaseFile file;
  for (const char* key : {"D13", "D14", "D15", "D16", "D18", "D19"}) file.value(key) = "x";
  file.value("D17") = "250";  // no blank: refresh is the empty first token
  loadCase(file);
  EXPECT_EQ(model_.input.constitutive, Constitutive::Onsager);
  EXPECT_EQ(model_.input.frame, Frame::Classic);
  EXPECT_EQ(model_.input.darkenVelocityOn, 1);
  EXPECT_EQ(model_.input.differenceScheme, DifferenceScheme::Central);
  EXPECT_EQ(model_.input.calculationDelay, 0);
  EXPECT_EQ(model_.input.kirkendallPlaneVisible, 0);
  EXPECT_EQ(model_.input.refreshInterval, 1);
  EXPECT_EQ(model_.input.saveInterval, 250);

  for (const auto& [text, expected] :
       std::vector<std::pair<const char*, int>>{{"3", 3}, {"4", 0}, {"7", 0}, {"2", 2}}) {
    file.value("D16") = text;
    loadCase(file);
    EXPECT_EQ(keyValue(model_.input.differenceScheme), expected) << text;
  }
}

TEST_F(DataFileLoad, KirkendallPlaneSelector) {
  CaseFile file;
  file.profile = {"0.01 20 0 0 0", "0.03 30 0 0 0"};
  for (const auto& [text, expected] : std::vector<std::pair<const char*, double>>{
           {"0", 0.01 + (0.03 - 0.01) * 0.5}, {"1   0", 0.01 + (0.03 - 0.01) * 0.5}, {"1   0.05", 0.05}, {"2", 2.0}}) {
    file.value("D20") = text;
    loadCase(file);
    EXPECT_EQ(model_.input.initialKirkendallPosition, expected) << text;
  }
}

TEST_F(DataFileLoad, BoundaryFluxLineSplitting) {
  CaseFile file;
  file.value("D21") = "0";
  loadCase(file);
  EXPECT_EQ(model_.input.boundaryFlux, BoundaryFlux::None);
  EXPECT_EQ(model_.input.minimalMolarFraction, 0.0);

  file.value("D21") = "2 oxid_flux.flx 6.58e-7";
  loadCase(file);
  EXPECT_EQ(model_.input.boundaryFlux, BoundaryFlux::SelectiveOxidation);
  EXPECT_EQ(model_.input.boundaryFluxFile.name, "oxid_flux.flx");
  EXPECT_EQ(model_.input.minimalMolarFraction, 6.58e-7);

  file.value("D21") = "1   fluxes_funct.flx   1e-6";
  loadCase(file);
  ASSERT_EQ(model_.input.boundaryFluxFormulas.size(), 2u);
  EXPECT_EQ(model_.input.boundaryFluxFormulas[1], "0   0");
  EXPECT_EQ(model_.input.boundaryFluxFormulas[0].rfind("0   0.0897*", 0), 0u);
  EXPECT_EQ(model_.input.minimalMolarFraction, 1e-6);
}

TEST_F(DataFileLoad, ActivitiesFileIsPaddedWithZeroFormulas) {
  writeLines("five.act", {"# derivatives", "N1", "N2", "# a comment between", "3", "", "T"});
  CaseFile file;
  file.value("D0") = "3";
  file.value("D10") = "1 2 3";
  file.value("D11") = "7 7 7";
  file.value("D12") = "3   five.act";
  file.profile = {"0 20 30 0 0 0", "1 40 10 0 0 0"};
  loadCase(file);
  EXPECT_EQ(model_.input.activityModel, ActivityModel::Formulas);
  EXPECT_EQ(model_.input.activityFormulas, (std::vector<std::string>{"N1", "N2", "3", "", "T", "0", "0", "0", "0"}));
}

TEST_F(DataFileLoad, DiffusivityFileWithTooFewLinesIsFatal) {
  writeLines("short.dfv", {"# one line only", "", "# an empty formula counts"});
  CaseFile file;
  file.value("D9") = "0 short.dfv";
  {
    const std::string message = test::messageOf<FatalModelError>([&] { loadCase(file); });
    EXPECT_EQ(message, "ERROR 2. Check input files. (diffusivities function error)");
  }
  EXPECT_FALSE(model_.input.loaded());

  // The empty line is a formula (of component 1); one more line suffices.
  writeLines("enough.dfv", {"", "3.1e-12", "ignored"});
  file.value("D9") = "0 enough.dfv";
  loadCase(file);
  EXPECT_EQ(model_.input.diffusivityFormulas, (std::vector<std::string>{"", "3.1e-12"}));
}

TEST_F(DataFileLoad, DiffusivityPathMayContainBlanks) {
  writeLines("my diffusivities.dfv", {"1e-10", "2e-10"});
  CaseFile file;
  file.value("D9") = "0 my diffusivities.dfv";
  loadCase(file);
  EXPECT_EQ(model_.input.diffusivityFile.name, "my diffusivities.dfv");
  EXPECT_EQ(model_.input.diffusivityFormulas[1], "2e-10");
}

TEST_F(DataFileLoad, StepProfileGridSpacingIsWidthOverN) {
  CaseFile file;
  file.value("D2") = "201";
  file.profile = {"0.5 20 1e-9 2e-9 3", "1.5 30 4e-9 5e-9 6"};
  loadCase(file);
  EXPECT_EQ(model_.input.initial.sampleWidth, 1.0);
  EXPECT_EQ(model_.input.initial.position[0], 0.5);
  EXPECT_EQ(model_.input.initial.position[1], 0.5 + 1.0 / 201);
  EXPECT_NEAR(model_.input.initial.position[200], 0.5 + 200.0 / 201, 1e-12);
  for (int j : {0, 99}) {
    EXPECT_EQ(model_.input.initial.molarRatio[0][j], 0.2) << j;
    EXPECT_EQ(model_.input.initial.darkenVelocity[static_cast<std::size_t>(j)], 1e-9);
    EXPECT_EQ(model_.input.initial.pressure[static_cast<std::size_t>(j)], 3.0);
  }
  for (int j : {100, 200}) {
    EXPECT_EQ(model_.input.initial.molarRatio[0][j], 0.3) << j;
    EXPECT_EQ(model_.input.initial.sigmaVelocity[static_cast<std::size_t>(j)], 5e-9);
    EXPECT_EQ(model_.input.initial.pressure[static_cast<std::size_t>(j)], 6.0);
  }
}

TEST_F(DataFileLoad, ContinuationKeepsPositionsAndIgnoresVelocityColumns) {
  CaseFile file;
  file.value("D2") = "4";
  file.value("D22") = "4";
  file.profile = {"0 10 7 7 7", "0.1 20 7 7 7", "0.25 30 7 7 7", "0.3 40"};
  auto lines = file.lines();
  lines.insert(lines.end() - 1, "   these lines after the profile are ignored");
  writeLines("cont.dat", lines);
  model_.load("cont.dat");
  EXPECT_EQ(model_.input.initial.position, (std::vector<double>{0, 0.1, 0.25, 0.3}));
  EXPECT_EQ(model_.input.initial.sampleWidth, 0.3);
  EXPECT_EQ(model_.input.initial.molarRatio[0][2], 0.3);
  EXPECT_EQ(model_.input.initial.molarRatio[1][3], 1.0 - 0.4);
  EXPECT_EQ(model_.input.initial.darkenVelocity, std::vector<double>(4, 0.0));
  EXPECT_EQ(model_.input.initial.sigmaVelocity, std::vector<double>(4, 0.0));
  EXPECT_EQ(model_.input.initial.pressure, std::vector<double>(4, 0.0));
  EXPECT_EQ(model_.input.initial.weightPercent.columns(), 4);
  EXPECT_EQ(model_.input.initial.lines[3], "0.3 40");
}

TEST_F(DataFileLoad, ReloadReplacesEveryArrayAndCache) {
  model_.load("interdiffusion.dat");
  model_.state.formula(FormulaKind::DiffusivityMatrix, 0, 0, "1", 0);
  model_.state.formula(FormulaKind::Diffusivity, 0, 0, "1", 0);
  CaseFile file;
  file.value("D0") = "4";
  file.value("D2") = "500";
  file.value("D10") = "1 2 3 4";
  file.value("D11") = "5 6 7 8";
  file.profile = {"0 10 20 30 0 0 0", "1 40 30 20 0 0 0"};
  loadCase(file);
  EXPECT_EQ(model_.input.initial.concentration.rows(), 4);
  EXPECT_EQ(model_.input.initial.concentration.columns(), 500);
  EXPECT_EQ(model_.state.concentration.rows(), 4);
  EXPECT_EQ(model_.state.concentration.columns(), 500);
  EXPECT_EQ(model_.state.onsagerCoefficient.size(), 4u * 4u * 500u);
  EXPECT_EQ(model_.state.activityDerivative.size(), 16u);
  EXPECT_EQ(model_.input.initial.molarRatio[3][0], 1.0 - 0.1 - 0.2 - 0.3);
  EXPECT_FALSE(model_.state.formulas.cached(FormulaKind::DiffusivityMatrix, 0, 0).valid);
  EXPECT_FALSE(model_.state.formulas.cached(FormulaKind::Diffusivity, 0, 0).valid);
  EXPECT_EQ(model_.input.diffusivityFile.name, "");
}

}  // namespace
}  // namespace torvex
