// The one table of data-file keys: its positions are the loader's, and the
// shapes it checks for command-line values are the ones the keys can hold.

#include <string>

#include <gtest/gtest.h>

#include "model/data_file_keys.h"
#include "model/sample_files.h"
#include "support/case_file.h"

namespace torvex {
namespace {

TEST(DataFileKeys, PositionsFollowTheValueLinesOfAFile) {
  // Every key of the test case gets a value naming it; the table must find
  // each one on its own key's value line, comments and an empty line included.
  test::CaseFile file;
  for (int k = 0; k < kValueLinesBeforeProfile; ++k)
    file.values[static_cast<std::size_t>(k)] = std::string("value of ") + keyName(keyAt(k));
  std::vector<std::string> lines = file.lines();
  lines.insert(lines.begin() + 3, "   # an indented comment is still a comment");
  for (const auto& info : dataFileKeys()) {
    const auto at = valueLineIndex(lines, info.key);
    ASSERT_TRUE(at.has_value()) << info.name;
    if (info.key == DataKey::D23)
      EXPECT_EQ(lines[*at], "   " + file.profile.front());
    else
      EXPECT_EQ(lines[*at], std::string("   value of ") + info.name);
  }
  // A file that ends early has no value line for the later keys.
  lines.resize(6);
  EXPECT_FALSE(valueLineIndex(lines, DataKey::D8).has_value());
}

TEST(DataFileKeys, NamesAreFoundWhateverTheirCase) {
  EXPECT_EQ(keyNamed("D9a"), DataKey::D9a);
  EXPECT_EQ(keyNamed("d9A"), DataKey::D9a);
  EXPECT_EQ(keyNamed("D23"), DataKey::D23);
  EXPECT_FALSE(keyNamed("D24").has_value());
  EXPECT_FALSE(keyNamed("D").has_value());
  EXPECT_FALSE(keyNamed("").has_value());
}

TEST(DataFileKeys, SampleFilesCarryTheTableCommentLines) {
  for (const SampleFile& sample : sampleFiles()) {
    if (sample.name.find(".dat") == std::string_view::npos) continue;
    for (const auto& info : dataFileKeys()) {
      const auto& lines = *sample.lines;
      EXPECT_NE(std::find(lines.begin(), lines.end(), std::string_view(info.sampleComment)), lines.end())
          << sample.name << " " << info.name;
    }
  }
}

struct ShapeCase {
  const char* key;
  const char* value;
  int components;
  const char* problem;  // a part of the message, or "" when the value fits
};

TEST(DataFileKeys, ValueShapesAcceptWhatTheKeyHoldsAndNameWhatDoesNot) {
  const ShapeCase cases[] = {
      {"D0", "3", 0, ""},
      {"D0", "three", 0, "\"three\" is not an integer"},
      {"D1", "0 3600", 2, ""},
      {"D1", "3600", 2, "holds 1 value where this key needs 2"},
      {"D2", "2.5", 2, "\"2.5\" is not an integer"},
      {"D8", "1373", 2, ""},
      {"D8", "1e3", 2, ""},
      {"D8", "1,5", 2, "\"1,5\" is not a real number"},
      {"D8", "1273 K", 2, "holds 2 values"},
      {"D9", "1 couple.dfv", 2, ""},
      {"D9", "2", 3, ""},
      {"D9", "x couple.dfv", 2, "\"x\" is not an integer"},
      {"D10", "58.69 195.08", 2, ""},
      {"D10", "58.69", 2, "one per component needs 2"},
      {"D10", "58.69 gold", 2, "\"gold\" is not a real number"},
      {"D17", "250 250", 2, ""},
      {"D17", "250", 2, "needs 2"},
      {"D20", "0", 2, ""},
      {"D20", "1 0.001", 2, ""},
      {"D20", "1", 2, "must be followed by the position"},
      {"D21", "0 none.flx 6.58e-7", 2, ""},
      {"D21", "0 6.58e-7", 2, ""},
      {"D21", "2 oxid_flux.flx 6.58e-7", 2, ""},
      {"D21", "2 6.58e-7", 2, "needs a file name"},
      {"D21", "2 oxid_flux.flx small", 2, "\"small\" is not a real number"},
      {"D23", "0 20 0 0 0; 0.002 30 0 0 0", 2, ""},
      {"D23", "0 20 0 0 0; 0.002 30 0 0", 2, "row 2: it holds 4 values"},
      {"D23", "0 20 0 0 0;", 2, "row 2"},
  };
  for (const ShapeCase& c : cases) {
    const std::string problem = valueShapeProblem(*keyNamed(c.key), c.value, c.components);
    if (std::string(c.problem).empty())
      EXPECT_EQ(problem, "") << c.key << "=" << c.value;
    else
      EXPECT_NE(problem.find(c.problem), std::string::npos) << c.key << "=" << c.value << ": " << problem;
  }
}

}  // namespace
}  // namespace torvex
