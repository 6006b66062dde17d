// The checks a finished run reports against closed-form theory: when each
// applies, what value it gives, when it warns and what its line says.

#include "run/theory_checks.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "support/case_file.h"
#include "support/load_fixture.h"

namespace torvex {
namespace {

using test::CaseFile;

class TheoryChecks : public test::LoadFixture {
 protected:
  const RunCheck* find(const std::vector<RunCheck>& checks, const std::string& id) {
    for (const RunCheck& check : checks)
      if (check.id == id) return &check;
    return nullptr;
  }
};

struct VolumeCase {
  const char* volumes;  // D11
  int frame;            // D14
  int scheme;           // D16
  bool applies, warns;
  double spread;  // largest relative difference of the partial molar volumes
};

// The volume-fixed form with partial molar volumes that differ by more than
// 1 % is noted (a property of the form, not a failure); the classic form and the conservative scheme, whose fluxes are
// Darken's whatever D14 says, never carry the check.
TEST_F(TheoryChecks, VolumeFixedFormWithUnequalVolumes) {
  const VolumeCase cases[] = {
      {"10 10", 0, 0, true, false, 0},        {"10 10.05", 0, 0, true, false, 0.005},
      {"10 10.1", 0, 0, true, false, 0.01},   {"10 10.2", 0, 0, true, true, 0.02},
      {"9.09 6.587", 0, 2, true, true, 0.38}, {"6.587 9.09", 1, 0, false, false, 0},
      {"6.587 9.09", 0, 3, false, false, 0},
  };
  for (const VolumeCase& c : cases) {
    SCOPED_TRACE(std::string(c.volumes) + ", D14 = " + std::to_string(c.frame) + ", D16 = " + std::to_string(c.scheme));
    CaseFile file;
    file.value("D11") = c.volumes;
    file.value("D14") = std::to_string(c.frame);
    file.value("D16") = std::to_string(c.scheme);
    loadCase(file);
    const auto checks = theoryChecks(model_.input, model_.state, componentInventories(model_.input, model_.state));
    const RunCheck* check = find(checks, "frame.volume_fixed_unequal_volumes");
    ASSERT_EQ(check != nullptr, c.applies);
    if (!check) continue;
    ASSERT_FALSE(std::isnan(check->value));
    EXPECT_NEAR(check->value, c.spread, 1e-3);
    EXPECT_EQ(check->warn, c.warns);
    EXPECT_EQ(check->note, c.warns);
    EXPECT_EQ(describeCheck(*check).rfind(c.warns ? "\u2139" : "\u2713", 0), 0u) << describeCheck(*check);
  }
}

// The note gives the range of Omega_i / Omega over the profile: with
// Omega1 = 6.587, Omega2 = 9.09 and 20 .. 30 at.% of component 1, Omega1 / Omega
// is lowest at 20 % (6.587 / 8.5894 = 0.767) and Omega2 / Omega highest at
// 30 % (9.09 / 8.3391 = 1.09).
TEST_F(TheoryChecks, VolumeWarningGivesTheRangeOverTheProfile) {
  loadCase(CaseFile{});
  const auto checks = theoryChecks(model_.input, model_.state, {});
  const RunCheck* check = find(checks, "frame.volume_fixed_unequal_volumes");
  ASSERT_NE(check, nullptr);
  EXPECT_TRUE(check->warn);
  EXPECT_NE(check->meaning.find("from 0.767 to 1.09 "), std::string::npos) << check->meaning;
  EXPECT_NE(check->meaning.find("D14 = 1"), std::string::npos) << "names the form that gives the theory";
  const std::string line = describeCheck(*check);
  EXPECT_EQ(line.rfind("\u2139 volume-fixed form with unequal molar volumes: 0.37999", 0), 0u) << line;
  EXPECT_NE(line.find(" (at most 0.01) \u2014 The partial molar volumes differ"), std::string::npos) << line;
}

// Inventory checks appear for open samples only, one per component without a
// boundary flux; they compare the amount with the one at the start.
TEST_F(TheoryChecks, InventoryOfComponentsWithoutBoundaryFlux) {
  model_.load("oxidation.dat");
  const std::vector<double> start = componentInventories(model_.input, model_.state);
  ASSERT_EQ(start.size(), 2u);
  // 20 at.% of component 1 in an alloy of molar volume 8.5894, over the grid.
  const double span = model_.state.position.back() - model_.state.position.front();
  EXPECT_NEAR(start[0], 0.2 / 8.5894 * span, 1e-9 * start[0]);

  auto checks = theoryChecks(model_.input, model_.state, start);
  EXPECT_EQ(find(checks, "open_sample.inventory.1"), nullptr) << "component 1 leaves through the surface";
  const RunCheck* second = find(checks, "open_sample.inventory.2");
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(second->warn);
  EXPECT_EQ(second->value, 0);

  // 5 % more of component 2 everywhere: a warning with the signed change.
  for (int k = 0; k < model_.input.pointCount; ++k) model_.state.concentration[1][k] *= 1.05;
  checks = theoryChecks(model_.input, model_.state, start);
  second = find(checks, "open_sample.inventory.2");
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->warn);
  EXPECT_NEAR(second->value, 0.05, 1e-12);
  EXPECT_NE(second->meaning.find("+5 %"), std::string::npos) << second->meaning;
  EXPECT_NE(describeCheck(*second).find(" (0 \u00B1 0.001) \u2014 Component 2 crosses"), std::string::npos)
      << describeCheck(*second);
  // 0.05 % less stays within the limit.
  for (int k = 0; k < model_.input.pointCount; ++k) model_.state.concentration[1][k] *= 0.9995 / 1.05;
  EXPECT_FALSE(find(theoryChecks(model_.input, model_.state, start), "open_sample.inventory.2")->warn);

  // No start amounts: the check cannot compare, and says so.
  second = find(checks = theoryChecks(model_.input, model_.state, {}), "open_sample.inventory.2");
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(std::isnan(second->value));
  EXPECT_TRUE(second->warn);
  EXPECT_NE(describeCheck(*second).find("not finite or not measured"), std::string::npos);
}

// With boundary-flux formulas, only a component whose formulas are 0 at both
// ends is checked; a closed sample has no inventory checks at all.
TEST_F(TheoryChecks, InventoryChecksFollowTheBoundaryFluxFormulas) {
  test::writeLines("ends.flx", {"###Torvex_v2.3###", "# component 1", "0 1e-12", "# component 2", "0 0", "#end"});
  CaseFile file;
  file.value("D14") = "1";
  file.value("D21") = "1 ends.flx 0.001";
  loadCase(file);
  auto checks = theoryChecks(model_.input, model_.state, componentInventories(model_.input, model_.state));
  EXPECT_EQ(find(checks, "open_sample.inventory.1"), nullptr);
  EXPECT_NE(find(checks, "open_sample.inventory.2"), nullptr);

  file.value("D21") = "0";
  loadCase(file);
  checks = theoryChecks(model_.input, model_.state, componentInventories(model_.input, model_.state));
  EXPECT_TRUE(checks.empty()) << "closed sample in the classic form";
}

// A non-finite profile gives no value and a warning, never a pass nor a note.
TEST_F(TheoryChecks, NonFiniteProfileWarns) {
  model_.load("oxidation.dat");
  const std::vector<double> start = componentInventories(model_.input, model_.state);
  model_.state.concentration[1][3] = std::nan("");
  for (const RunCheck& check : theoryChecks(model_.input, model_.state, start)) {
    SCOPED_TRACE(check.id);
    EXPECT_TRUE(std::isnan(check.value));
    EXPECT_TRUE(check.warn);
    EXPECT_FALSE(check.note);
    EXPECT_EQ(std::string(checkStatus(check)), "warn");
  }
}

}  // namespace
}  // namespace torvex
