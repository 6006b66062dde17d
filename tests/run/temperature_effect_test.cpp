// When the temperature of a case can act on its results: the analysis of the
// loaded case, and whole runs that show what it predicts. The samples hold
// plain numbers, so their temperature changes nothing (oxidation) or acts
// backwards (the couple, whose activities are fixed at 1273 K); their
// Arrhenius variants in examples/ respond as an anneal does.

#include "run/temperature_effect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numeric>

#include "model/number_format.h"
#include "study/case_template.h"
#include "support/load_fixture.h"

namespace torvex {
namespace {

namespace fs = std::filesystem;

const std::string kArrhenius = TORVEX_TEST_DATA_DIR "/../../examples/arrhenius";

class TemperatureEffectTest : public test::LoadFixture {
 protected:
  // Loads `dataFile` (a sample in the scratch folder, or a path) with the
  // key overrides given as KEY=VALUE.
  void load(const std::string& dataFile, const std::vector<std::string>& overrides = {}) {
    std::vector<KeyOverride> parsed;
    for (const std::string& text : overrides) parsed.push_back(parseKeyOverride(text));
    const RenderedCase rendered = renderCase(dataFile, parsed, {});
    const std::string folder = "case" + std::to_string(++cases_);
    model_.load(writeRenderedCase(rendered, folder), {.sideFileDirectory = folder});
  }

  // Loads and runs a case; the model holds its end state.
  void runAt(const std::string& dataFile, double kelvin, const std::string& endTime) {
    load(dataFile, {"D8=" + formatGeneral(kelvin), "D1=0 " + endTime});
    run(model_);
  }

  // How far the couple has mixed: sum over the grid of |N1 - N1 at t = 0|.
  [[nodiscard]] double mixing(const std::vector<double>& initial) const {
    double sum = 0;
    for (int k = 0; k < model_.input.pointCount; ++k)
      sum += std::fabs(model_.state.molarRatio[0][k] - initial[static_cast<std::size_t>(k)]);
    return sum;
  }
  [[nodiscard]] std::vector<double> firstComponent() const {
    return {model_.state.molarRatio[0], model_.state.molarRatio[0] + model_.input.pointCount};
  }

  int cases_ = 0;
};

// Whole runs, left out of the sanitizer stage with the other long ones.
using SlowTemperatureRuns = TemperatureEffectTest;

TEST_F(TemperatureEffectTest, TheSamplesHoldNothingThatDependsOnTheTemperature) {
  load("oxidation.dat");
  const TemperatureEffect oxidation = temperatureEffect(model_.input);
  EXPECT_FALSE(oxidation.acts());
  EXPECT_FALSE(oxidation.fixedDrivingForce) << "ideal activities: T cancels";
  EXPECT_NE(temperatureNote(oxidation).find("changes nothing"), std::string::npos);

  load("interdiffusion.dat");
  const TemperatureEffect couple = temperatureEffect(model_.input);
  EXPECT_FALSE(couple.acts());
  EXPECT_TRUE(couple.fixedDrivingForce) << "the built-in Cu-Fe-Ni activities use a fixed R T";
  EXPECT_NE(temperatureNote(couple).find("mixes less"), std::string::npos);
  EXPECT_EQ(describeTemperatureEffect(couple, false).rfind("\u2139 ", 0), 0u);
  EXPECT_EQ(describeTemperatureEffect(couple, true).rfind("\u26A0 ", 0), 0u) << "a temperature the user chose";
}

// Every place a T can stand makes the temperature act, and names the file.
TEST_F(TemperatureEffectTest, EveryFormulaOrModelThatUsesTheTemperatureIsNamed) {
  load(kArrhenius + "/oxidation.dat");
  TemperatureEffect effect = temperatureEffect(model_.input);
  ASSERT_TRUE(effect.acts());
  EXPECT_EQ(effect.dependsOnT, (std::vector<std::string>{"the diffusivity formulas (oxid_diff.dfv)",
                                                         "the oxidation constants (oxid_flux.flx)"}));
  EXPECT_EQ(temperatureNote(effect), "");
  EXPECT_EQ(describeTemperatureEffect(effect, true),
            "through the diffusivity formulas (oxid_diff.dfv), the oxidation constants (oxid_flux.flx)"
            " and the mobility B = D/(f R T)");

  load(kArrhenius + "/interdiffusion.dat");
  effect = temperatureEffect(model_.input);
  EXPECT_EQ(effect.dependsOnT, (std::vector<std::string>{"the diffusivity matrix (inter_diff.dfv)"}));
  // Chemical-potential formulas with T (the sample's activities.act does).
  load("interdiffusion.dat", {"D12=3 activities.act"});
  EXPECT_EQ(temperatureEffect(model_.input).dependsOnT,
            (std::vector<std::string>{"the chemical-potential formulas (activities.act)"}));

  // The built-in Fe-Ni-Cr activities are a function of T; boundary-flux
  // formulas with T act at the ends.
  load("interdiffusion.dat", {"D12=2"});
  EXPECT_EQ(temperatureEffect(model_.input).dependsOnT, (std::vector<std::string>{"the built-in Fe-Ni-Cr activities"}));
  test::writeLines("flux_t.flx", {"# flux", "0 1e-12*exp(-1000/T)", "0 0"});
  load("oxidation.dat", {"D21=1 flux_t.flx 6.58e-7"});
  EXPECT_EQ(temperatureEffect(model_.input).dependsOnT,
            (std::vector<std::string>{"the boundary-flux formulas (flux_t.flx)"}));
  // The built-in Cu-Fe-Ni diffusivities are fitted at one temperature.
  load("interdiffusion.dat", {"D9=2"});
  EXPECT_FALSE(temperatureEffect(model_.input).acts());
}

// What the analysis predicts, in whole runs: the oxidation sample grows the
// same scale at 1073 and 1173 K (its 1/T of the mobility cancels against the
// R T of the ideal driving force); its Arrhenius variant grows a thicker one
// when hotter.
TEST_F(SlowTemperatureRuns, OxidationRespondsToTheTemperatureOnlyWithArrheniusData) {
  runAt("oxidation.dat", 1073, "10000");
  const double coolSample = model_.state.oxide.thickness;
  runAt("oxidation.dat", 1173, "10000");
  // Nothing but the rounding of B R T, which moves the accepted steps and so
  // the result by far less than the step tolerance (D4 = 1e-4).
  EXPECT_NEAR(model_.state.oxide.thickness / coolSample, 1, 1e-4) << "the sample's temperature changes nothing";

  runAt(kArrhenius + "/oxidation.dat", 1073, "10000");
  const double cool = model_.state.oxide.thickness;
  const double coolSurface = model_.state.molarRatio[0][model_.input.pointCount - 1];
  runAt(kArrhenius + "/oxidation.dat", 1173, "10000");
  EXPECT_GT(model_.state.oxide.thickness, 2 * cool) << "kp ~ D_ox rises by exp(Q/R (1/1073 - 1/1173)) = 4.3 at least";
  EXPECT_GT(model_.state.molarRatio[0][model_.input.pointCount - 1], 0);
  EXPECT_NE(model_.state.molarRatio[0][model_.input.pointCount - 1], coolSurface);
}

// The couple: the sample mixes more at 873 K than at 1273 K, because its
// only temperature dependence is the mobility D/(f R T); the Arrhenius
// variant mixes more, and moves its Kirkendall plane further, when hotter.
TEST_F(SlowTemperatureRuns, TheCoupleMixesMoreWhenHotterOnlyWithArrheniusData) {
  load("interdiffusion.dat");
  const std::vector<double> initial = firstComponent();

  runAt("interdiffusion.dat", 873, "10000");
  const double coolSample = mixing(initial);
  runAt("interdiffusion.dat", 1273, "10000");
  EXPECT_LT(mixing(initial), coolSample) << "backwards: the sample's data hold no temperature";

  runAt(kArrhenius + "/interdiffusion.dat", 1173, "10000");
  const double cool = mixing(initial);
  const double coolShift = std::fabs(model_.state.kirkendallPosition - model_.input.initialKirkendallPosition);
  runAt(kArrhenius + "/interdiffusion.dat", 1273, "10000");
  EXPECT_GT(mixing(initial), 1.3 * cool);
  EXPECT_GT(std::fabs(model_.state.kirkendallPosition - model_.input.initialKirkendallPosition), 1.3 * coolShift);
}

// At the samples' own temperatures the Arrhenius variants give the samples'
// diffusivities (to the four digits of their prefactors), so a scientist can
// compare them directly.
TEST_F(SlowTemperatureRuns, TheArrheniusVariantsMatchTheSamplesAtTheirTemperatures) {
  runAt("oxidation.dat", 1123, "10000");
  const double sample = model_.state.oxide.thickness;
  runAt(kArrhenius + "/oxidation.dat", 1123, "10000");
  EXPECT_NEAR(model_.state.oxide.thickness / sample, 1, 1e-3);
  runAt("interdiffusion.dat", 1273, "10000");
  const double shift = model_.state.kirkendallPosition - model_.input.initialKirkendallPosition;
  runAt(kArrhenius + "/interdiffusion.dat", 1273, "10000");
  EXPECT_NEAR((model_.state.kirkendallPosition - model_.input.initialKirkendallPosition) / shift, 1, 1e-3);
}

}  // namespace
}  // namespace torvex
