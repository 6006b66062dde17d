// The life settings as the user types them: spallation, the oxide, the
// critical content, and the combinations a case cannot run with.

#include "model/life_options.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/errors.h"

namespace torvex {
namespace {

std::string refusal(const std::function<void()>& read) {
  try {
    read();
  } catch (const InputError& error) {
    return error.what();
  }
  return "accepted";
}

// Q0 (ξ / 1 µm)^ALPHA of the thickness, at most all of it.
TEST(LifeOptions, SpallLawGivesTheFractionOfTheScale) {
  const SpallLaw constant = parseSpall("0.02", "--spall");
  EXPECT_EQ(constant.alpha, 0);
  EXPECT_EQ(constant.fraction(1e-6), 0.02);
  EXPECT_EQ(constant.fraction(1e-2), 0.02);
  EXPECT_EQ(constant.fraction(0), 0) << "no scale, nothing spalls";

  const SpallLaw growing = parseSpall(" 0.01 , 2 ", "--spall");
  EXPECT_DOUBLE_EQ(growing.fraction(1e-4), 0.01);  // 1 µm
  EXPECT_DOUBLE_EQ(growing.fraction(5e-4), 0.25);  // 5 µm: 25 times as much
  EXPECT_EQ(growing.fraction(2e-3), 1) << "capped: 20 µm would lose 4 times its thickness";
  EXPECT_EQ(parseSpall("0.01,400", "x").fraction(1), 1) << "an overflowing power spalls everything";
  EXPECT_EQ(parseSpall("1.5", "x").fraction(1e-4), 1);
  EXPECT_EQ(parseSpall("0", "x").fraction(1e-4), 0);
  EXPECT_EQ(parseSpall(growing.text(), "x").alpha, 2);

  EXPECT_EQ(refusal([] { parseSpall("-0.1", "--spall"); }),
            "--spall: '-0.1': the spalled fraction Q0 cannot be below 0");
  EXPECT_NE(refusal([] { parseSpall("0.1,-1", "--spall"); }).find("the exponent ALPHA cannot be below 0"),
            std::string::npos);
  for (const char* text : {"", "a lot", "0.1,", "0.1;2", "0.1,2,3", "nan", "1e999"})
    EXPECT_EQ(refusal([&] { parseSpall(text, "--spall"); }).rfind(std::string("--spall: '") + text + "'", 0), 0u)
        << text;
}

TEST(LifeOptions, OxideGivesOxygenPerMetalAndItsMolarMass) {
  const OxideComposition alumina = parseOxide("1.5", "--oxide");
  EXPECT_EQ(alumina.oxygenPerMetal, 1.5);
  EXPECT_EQ(alumina.oxygenMolarMass, 15.999);
  const OxideComposition other = parseOxide("2, 32.06", "--oxide");
  EXPECT_EQ(other.oxygenMolarMass, 32.06);
  EXPECT_EQ(parseOxide(other.text(), "x").oxygenPerMetal, 2);
  EXPECT_EQ(refusal([] { parseOxide("0", "--oxide"); }),
            "--oxide: '0': the oxygen atoms per atom of component 1 (NU) must be above 0");
  EXPECT_NE(refusal([] { parseOxide("1.5,-16", "--oxide"); }).find("the molar mass M_OX must be above 0 g/mol"),
            std::string::npos);
  EXPECT_NE(refusal([] { parseOxide("Al2O3", "--oxide"); }).find("'Al2O3' is not a number; expected NU[,M_OX]"),
            std::string::npos);
}

TEST(LifeOptions, CriticalContentReadsWhereWhatAndWhichWay) {
  const CriticalContent surface = parseCritical("N1<0.04", "--critical");
  EXPECT_EQ(surface.component, 0);
  EXPECT_EQ(surface.where, CriticalContent::Where::kSurface);
  EXPECT_TRUE(surface.holds(0.0399));
  EXPECT_FALSE(surface.holds(0.04));
  const CriticalContent lowest = parseCritical(" min( N2 ) < 0.5 ", "x");
  EXPECT_EQ(lowest.component, 1);
  EXPECT_EQ(lowest.where, CriticalContent::Where::kLowest);
  const CriticalContent highest = parseCritical("max(N3)>0.9", "x");
  EXPECT_EQ(highest.where, CriticalContent::Where::kHighest);
  EXPECT_TRUE(highest.holds(0.95));
  EXPECT_FALSE(highest.holds(0.9));
  for (const char* text : {"N1<0.04", "min(N2)<0.5", "max(N3)>0.9", "N12>0.25"})
    EXPECT_EQ(parseCritical(text, "x").text(), text);

  struct Case {
    const char* text;
    const char* message;
  };
  for (const Case& c : std::vector<Case>{
           {"N1", "expected Nk<VALUE"},
           {"N1=0.04", "expected Nk<VALUE"},
           {"N1<=0.04", "use < or >"},
           {"Al<0.04", "'Al' is no component; name it N1, N2, ..."},
           {"N0<0.04", "'N0' is no component"},
           {"N-1<0.04", "'N-1' is no component"},
           {"N<0.04", "'N' is no component"},
           {"min(N1>0.04", "expected Nk<VALUE"},
           {"min(N1)>0.04", "min(...) goes with <"},
           {"max(N1)<0.04", "max(...) goes with >"},
           {"N1<low", "'low' is not a number"},
           {"N1<0", "between 0 and 1, both excluded"},
           {"N1<1", "between 0 and 1, both excluded (a fraction, not a percentage)"},
           {"N1<4", "(a fraction, not a percentage)"},
           {"N1<-0.1", "between 0 and 1, both excluded"},
       }) {
    const std::string message = refusal([&] { parseCritical(c.text, "--critical"); });
    EXPECT_EQ(message.rfind(std::string("--critical: '") + c.text + "'", 0), 0u) << message;
    EXPECT_NE(message.find(c.message), std::string::npos) << c.text << ": " << message;
  }
}

// The refusals of the issue (spalling without cycles, a receding surface off
// the conservative scheme, a component the case lacks) and their kin.
TEST(LifeOptions, RefusesSettingsTheCaseCannotRunWith) {
  const LifeCase oxidation{2, 2, 3};
  LifeSettings all;
  all.hasCycles = all.hasSpall = all.hasOxide = all.hasCritical = all.receding = true;
  all.critical = parseCritical("N2<0.5", "x");
  EXPECT_EQ(refusal([&] { checkLifeSettings(all, oxidation); }), "accepted");

  const auto without = [&](auto change, const LifeCase& lifeCase = {2, 2, 3}) {
    LifeSettings settings = all;
    change(settings);
    return refusal([&] { checkLifeSettings(settings, lifeCase); });
  };
  EXPECT_EQ(without([](LifeSettings& s) { s.hasCycles = false; }),
            "--spall: the scale spalls when a cycle cools down; give the cycles (--cycles) too");
  EXPECT_EQ(without([](LifeSettings&) {}, {2, 2, 0}),
            "--receding: works with the conservative scheme only (D16 = 3, the case has D16 = 0): only its cell "
            "balances keep every inventory while the grid follows the surface");
  EXPECT_EQ(without([](LifeSettings& s) { s.critical = parseCritical("max(N3)>0.5", "x"); }),
            "--critical: 'max(N3)>0.5': the case has 2 components, N1 to N2");
  EXPECT_NE(without([](LifeSettings&) {}, {2, 1, 3}).find("--spall: the case grows no scale"), std::string::npos);
  EXPECT_NE(without([](LifeSettings& s) { s.hasSpall = false; }, {2, 0, 3}).find("--oxide: the case grows no scale"),
            std::string::npos);
  EXPECT_NE(without([](LifeSettings& s) { s.hasSpall = s.hasOxide = false; }, {2, 1, 3}).find("--receding: no surface"),
            std::string::npos);
  // A critical content alone needs no scale: a coating also runs out into its substrate.
  LifeSettings critical;
  critical.hasCritical = true;
  critical.critical = parseCritical("N1<0.04", "x");
  EXPECT_EQ(refusal([&] { checkLifeSettings(critical, {3, 0, 0}); }), "accepted");
}

}  // namespace
}  // namespace torvex
