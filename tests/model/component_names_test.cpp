// The names a user gives the components, and the number format that writes
// a grid's positions without its rounding.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/component_names.h"
#include "model/errors.h"
#include "model/measured_profile.h"
#include "model/number_format.h"

namespace torvex {
namespace {

std::string refusal(const std::string& list, int count = 3) {
  try {
    parseComponentNames(list, count, "--names");
  } catch (const InputError& error) {
    return error.what();
  }
  return "accepted";
}

TEST(ComponentNames, AListOfOneNamePerComponentIsTakenAsGiven) {
  EXPECT_EQ(parseComponentNames("Cu,Fe,Ni", 3, "--names"), (std::vector<std::string>{"Cu", "Fe", "Ni"}));
  EXPECT_EQ(parseComponentNames(" Cu , Fe,Ni_2 ", 3, "--names"), (std::vector<std::string>{"Cu", "Fe", "Ni_2"}));
  EXPECT_TRUE(parseComponentNames("", 3, "--names").empty()) << "no names: the numbers";
  EXPECT_TRUE(parseComponentNames("  ", 3, "--names").empty());
}

// Each refusal names the option and quotes the offending text.
TEST(ComponentNames, NamesThatCannotStandInAHeaderAreRefusedWithTheOptionAndTheText) {
  EXPECT_EQ(refusal("Cu,Fe"), "--names: 'Cu,Fe' gives 2 names for 3 components");
  EXPECT_EQ(refusal("Cu,Fe,Ni,Cr"), "--names: 'Cu,Fe,Ni,Cr' gives 4 names for 3 components");
  EXPECT_EQ(refusal("Cu,,Ni"), "--names: the name of component 2, is empty");
  EXPECT_EQ(refusal("Cu,1Fe,Ni"),
            "--names: the name of component 2, '1Fe', is not a name: it must start with a letter and hold only "
            "letters, digits and '_'");
  EXPECT_NE(refusal("Cu,F e,Ni").find("'F e', is not a name"), std::string::npos);
  EXPECT_NE(refusal("Cu,F\x01,Ni").find("'F\\x01', is not a name"), std::string::npos) << "control characters shown";
  EXPECT_NE(refusal("Cu,F\"e,Ni").find("is not a name"), std::string::npos);
  EXPECT_NE(refusal("Cu,Fé,Ni").find("'F\\xC3\\xA9', is not a name"), std::string::npos);
  EXPECT_EQ(refusal("Cu,Fe,cu"), "--names: the name of component 3, 'cu', repeats the name of component 1 ('Cu')");
  EXPECT_NE(refusal("Cu,N1,Ni").find("'N1', reads as the number of a component"), std::string::npos);
  EXPECT_NE(refusal("Cu,x_um,Ni").find("reads as a position column"), std::string::npos);
  EXPECT_NE(refusal("Cu,at_pct,Ni").find("is the name of a column"), std::string::npos);
  EXPECT_NE(refusal("Cu,Name,Ni").find("is the name of a column"), std::string::npos);
  EXPECT_NE(refusal("Cu," + std::string(33, 'a') + ",Ni").find("is longer than 32 characters"), std::string::npos);
  // A list far longer than any case stops being split early.
  std::string many = "a";
  for (int i = 0; i < 5000; ++i) many += ",a";
  EXPECT_NE(refusal(many).find("gives 1001 or more names for 3 components"), std::string::npos);
}

TEST(ComponentNames, LabelsAreTheNamesOrTheNumbersAndReadBackEitherWay) {
  const std::vector<std::string> names = {"Cu", "Fe", "Ni"};
  EXPECT_EQ(componentLabel(names, 2), "Ni");
  EXPECT_EQ(componentLabel({}, 2), "N3");
  EXPECT_EQ(componentOfLabel("Ni", names), 2);
  EXPECT_EQ(componentOfLabel("ni", names), 2);
  EXPECT_EQ(componentOfLabel("N2", names), 1);
  EXPECT_EQ(componentOfLabel("3", names, 3), 2);
  EXPECT_EQ(componentOfLabel("N4", names, 3), std::nullopt);
  EXPECT_EQ(componentOfLabel("Cr", names), std::nullopt);
  EXPECT_EQ(joinComponentNames(names), "Cu,Fe,Ni");
}

TEST(ComponentNames, MeasuredColumnsMayUseTheNames) {
  MeasuredProfileOptions options;
  options.componentNames = {"Cu", "Fe", "Ni"};
  const MeasuredProfile named =
      ParseMeasuredProfile("x_um,Ni_at_pct,cu_at_pct,N2_at_pct\n0,10,80,10\n5,20,70,10\n", "scan.csv", options);
  EXPECT_EQ(named.components, (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(named.percent[0], (std::vector<double>{10, 20}));
  EXPECT_EQ(named.basis, CompositionBasis::Atomic);
  // Without the names the column means nothing, and the message says what would.
  try {
    ParseMeasuredProfile("x_um,Ni_at_pct\n0,10\n", "scan.csv");
    ADD_FAILURE() << "accepted";
  } catch (const InputError& error) {
    EXPECT_NE(std::string(error.what()).find("unknown column 'Ni_at_pct' (x_um, x_mm, x_cm, N1, N2"), std::string::npos)
        << error.what();
  }
  try {
    ParseMeasuredProfile("x_um,Ni,N3\n0,10,10\n", "scan.csv", options);
    ADD_FAILURE() << "accepted";
  } catch (const InputError& error) {
    EXPECT_NE(std::string(error.what()).find("component 'N3' appears twice"), std::string::npos) << error.what();
  }
}

TEST(FormatWithin, AGridsRoundingIsDroppedAndNothingElse) {
  // The 2nd point of a grid from -0.1 in steps of 0.001, added point by point.
  double x = -0.1;
  for (int j = 0; j < 101; ++j) x += 0.2 / 200;
  EXPECT_EQ(formatGeneral(x), "0.00100000000000008");
  EXPECT_EQ(formatWithin(x, 200 * 2.3e-16 * 0.1), "0.001");
  EXPECT_EQ(formatWithin(-0.0990000000000002, 1e-15), "-0.099");
  EXPECT_EQ(formatWithin(100.0, 1e-12), "100");
  EXPECT_EQ(formatWithin(1e-5 + 1e-21, 1e-18), "1e-05");
  EXPECT_EQ(formatWithin(0.123456789, 1e-15), "0.123456789") << "digits that are more than the rounding stay";
  EXPECT_EQ(formatWithin(0.1 + 0.2, 0), formatShortest(0.1 + 0.2)) << "no tolerance: the exact shortest";
  EXPECT_EQ(*parseReal(formatWithin(x, 1e-15)), 0.001);
}

}  // namespace
}  // namespace torvex
